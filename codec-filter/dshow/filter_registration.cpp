#include "filter_registration.h"

#include "com_ptr.h"
#include "error.h"
#include "registry.h"
#include "strings.h"

namespace tandem::dshow {

namespace {

std::wstring ClassKey(const CLSID& clsid) { return L"CLSID\\" + GuidToString(clsid); }

ComPtr<IFilterMapper2> FilterMapper() {
    ComPtr<IFilterMapper2> mapper;
    CheckHr(CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                             mapper.put_void()));
    return mapper;
}

}  // namespace

void RegisterInprocClass(const CLSID& clsid, const wchar_t* name, const std::wstring& modulePath) {
    const RegKey key = CreateKey(HKEY_CLASSES_ROOT, ClassKey(clsid));
    WriteString(key.get(), nullptr, name);
    const RegKey server = CreateKey(key.get(), L"InprocServer32");
    WriteString(server.get(), nullptr, modulePath);
    WriteString(server.get(), L"ThreadingModel", L"Both");
}

void UnregisterInprocClass(const CLSID& clsid) { DeleteKeyTree(HKEY_CLASSES_ROOT, ClassKey(clsid)); }

void RegisterFilter(const FilterRegistration& filter) {
    std::vector<REGPINTYPES> types;
    types.reserve(filter.pins.size());
    for (const PinRegistration& pin : filter.pins) types.push_back({&pin.majorType, &pin.subtype});
    std::vector<REGFILTERPINS> pins;
    for (size_t i = 0; i < filter.pins.size(); ++i) {
        const PinRegistration& pin = filter.pins[i];
        pins.push_back({const_cast<LPWSTR>(pin.name), pin.rendered, pin.output, FALSE, FALSE, &CLSID_NULL,
                        pin.connectsToPin, 1, &types[i]});
    }
    REGFILTER2 registration{};
    registration.dwVersion = 1;
    registration.dwMerit = filter.merit;
    registration.cPins = static_cast<ULONG>(pins.size());
    registration.rgPins = pins.data();
    CheckHr(FilterMapper()->RegisterFilter(filter.clsid, filter.name, nullptr, &CLSID_LegacyAmFilterCategory,
                                           nullptr, &registration));
}

void UnregisterFilter(const CLSID& clsid) {
    const HRESULT hr = FilterMapper()->UnregisterFilter(&CLSID_LegacyAmFilterCategory, nullptr, clsid);
    // Not registered is what removal wants.
    if (FAILED(hr) && hr != HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)) ThrowHr(hr);
}

}  // namespace tandem::dshow
