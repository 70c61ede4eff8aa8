#include "event_log.h"

#include <cstdio>

#include "unique_resource.h"

namespace tandem {

namespace {

struct EventSourceTraits {
    using type = HANDLE;
    static type invalid() noexcept { return nullptr; }
    static bool valid(type h) noexcept { return h != nullptr; }
    static void close(type h) noexcept { DeregisterEventSource(h); }
};
using UniqueEventSource = UniqueResource<EventSourceTraits>;

}  // namespace

void EventLog::Report(std::wstring_view message) const noexcept {
    const std::wstring text(message.substr(0, kMaxMessage));
    if (echo_) {
        std::fwprintf(stdout, L"%ls\n", text.c_str());
        std::fflush(stdout);
    }
    UniqueEventSource source(RegisterEventSourceW(nullptr, source_.c_str()));
    if (!source) return;
    const wchar_t* strings[] = {text.c_str()};
    ReportEventW(source.get(), EVENTLOG_INFORMATION_TYPE, 0, 0, nullptr, 1, 0, strings, nullptr);
}

}  // namespace tandem
