#include "command_object.h"

#include <string>
#include <vector>

#include "error.h"
#include "registry.h"
#include "stand_in_settings.h"

namespace tandem::cdbsvc {
namespace {

RegKey Parameters() { return CreateKey(HKEY_LOCAL_MACHINE, kParametersKey); }

void Count(const wchar_t* value) {
    RegKey key = Parameters();
    WriteDword(key.get(), value, ReadDword(key.get(), value, 0) + 1);
}

void WriteMultiString(HKEY key, const wchar_t* name, const std::vector<std::wstring>& strings) {
    std::wstring data;
    for (const std::wstring& s : strings) data.append(s).push_back(L'\0');
    data.push_back(L'\0');
    CheckWin32(RegSetValueExW(key, name, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(data.data()),
                              static_cast<DWORD>(data.size() * sizeof(wchar_t))));
}

std::wstring Recorded(BSTR text) { return text ? L"s:" + std::wstring(text, SysStringLen(text)) : L"n:"; }

}  // namespace

CZephCdbCommand::CZephCdbCommand() { Count(kCreatedValue); }

STDMETHODIMP CZephCdbCommand::GetVersion(long* version) {
    if (!version) return E_POINTER;
    *version = 1;
    return S_OK;
}

STDMETHODIMP CZephCdbCommand::Execute(BSTR actor, BSTR command, long sizeParams, BSTR* paramList, BSTR target,
                                      BSTR subtarget) {
    return CatchHr([&] {
        std::vector<std::wstring> call{Recorded(actor), Recorded(command), L"i:" + std::to_wstring(sizeParams)};
        for (long i = 0; i < sizeParams; ++i) call.push_back(Recorded(paramList[i]));
        call.push_back(Recorded(target));
        call.push_back(Recorded(subtarget));
        RegKey key = Parameters();
        WriteMultiString(key.get(), kLastCallValue, call);
        Count(kCallsValue);
        return static_cast<HRESULT>(ReadDword(key.get(), kResultValue, S_OK));
    });
}

}  // namespace tandem::cdbsvc
