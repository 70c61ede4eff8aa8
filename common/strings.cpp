#include "strings.h"

#include <windows.h>
#include <objbase.h>

#include <cstdio>

#include "error.h"

namespace tandem {

int CompareNoCase(std::wstring_view a, std::wstring_view b) noexcept {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) -
           CSTR_EQUAL;
}

std::wstring GuidToId(const GUID& guid) {
    wchar_t text[33];
    swprintf(text, 33, L"%08lX%04X%04X%02X%02X%02X%02X%02X%02X%02X%02X", static_cast<unsigned long>(guid.Data1),
             guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4],
             guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return text;
}

std::wstring NewGuidId() {
    GUID guid;
    CheckHr(CoCreateGuid(&guid));
    return GuidToId(guid);
}

std::wstring GuidToString(const GUID& guid) {
    wchar_t text[39];
    StringFromGUID2(guid, text, 39);
    return text;
}

}  // namespace tandem
