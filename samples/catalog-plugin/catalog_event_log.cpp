#include "catalog_event_log.h"

#include "unique_resource.h"

namespace tandem::catalog {
namespace {

struct EventSourceTraits {
    using type = HANDLE;
    static type invalid() noexcept { return nullptr; }
    static bool valid(type h) noexcept { return h != nullptr; }
    static void close(type h) noexcept { DeregisterEventSource(h); }
};

// Best effort: a log that cannot be written must not cost the catalog.
void Report(WORD type, const std::wstring& text) {
    UniqueResource<EventSourceTraits> source(RegisterEventSourceW(nullptr, L"TandemCatalog"));
    if (!source) return;
    const wchar_t* strings[] = {text.c_str()};
    ReportEventW(source.get(), type, 0, 0, nullptr, 1, 0, strings, nullptr);
}

}  // namespace

void ReportDamagedCatalog(const std::wstring& file, size_t damagedLines) {
    Report(EVENTLOG_WARNING_TYPE, L"The catalog " + file + L" was damaged: " + std::to_wstring(damagedLines) +
                                      L" line(s) could not be read and were left out. Refresh the folder to "
                                      L"rebuild them.");
}

void ReportWriteFailure(const std::wstring& file, HRESULT hr) {
    wchar_t code[16];
    swprintf(code, 16, L"0x%08lX", static_cast<unsigned long>(hr));
    Report(EVENTLOG_ERROR_TYPE, L"The catalog " + file + L" could not be written: " + code + L".");
}

}  // namespace tandem::catalog
