#pragma once

#include <windows.h>
#include <dshow.h>

#include <string>
#include <vector>

namespace tandem::dshow {

struct PinRegistration {
    const wchar_t* name;
    bool output;
    bool rendered;
    const wchar_t* connectsToPin;
    GUID majorType;
    GUID subtype;
};

struct FilterRegistration {
    CLSID clsid;
    const wchar_t* name;
    DWORD merit;
    std::vector<PinRegistration> pins;
};

// "CLSID\{...}" with the filter's name, InprocServer32 = modulePath and
// ThreadingModel "Both". Failures are raised.
void RegisterInprocClass(const CLSID& clsid, const wchar_t* name, const std::wstring& modulePath);
void UnregisterInprocClass(const CLSID& clsid);

// The filter in the filter mapper's category of DirectShow filters.
void RegisterFilter(const FilterRegistration& filter);
void UnregisterFilter(const CLSID& clsid);

}  // namespace tandem::dshow
