#include "error_info.h"

#include <string>

#include "com_ptr.h"

namespace tandem {

namespace {

std::wstring SystemMessage(HRESULT hr) {
    wchar_t text[512];
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                  static_cast<DWORD>(hr), 0, text, ARRAYSIZE(text), nullptr);
    while (length > 0 && (text[length - 1] == L'\n' || text[length - 1] == L'\r')) --length;
    return {text, length};
}

void SetThreadErrorInfo(REFIID iid, std::wstring_view description) {
    ComPtr<ICreateErrorInfo> create;
    CheckHr(CreateErrorInfo(create.put()));
    CheckHr(create->SetGUID(iid));
    std::wstring text(description);
    CheckHr(create->SetDescription(text.data()));
    ComPtr<IErrorInfo> info;
    CheckHr(create.as(info));
    CheckHr(SetErrorInfo(0, info.get()));
}

}  // namespace

// The call's own failure matters more than a failure to describe it, which
// is therefore dropped.
HRESULT ReportError(HRESULT hr, REFIID iid, std::wstring_view description) noexcept {
    CatchHr([&] { SetThreadErrorInfo(iid, description); });
    return hr;
}

HRESULT ReportError(HRESULT hr, REFIID iid) noexcept {
    CatchHr([&] { SetThreadErrorInfo(iid, SystemMessage(hr)); });
    return hr;
}

}  // namespace tandem
