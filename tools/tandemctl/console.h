#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace tandem::ctl {

// A failed step of a command, with what it was doing.
class CommandError {
public:
    CommandError(std::wstring context, HRESULT hr) : context_(std::move(context)), hr_(hr) {}
    const std::wstring& context() const noexcept { return context_; }
    HRESULT hr() const noexcept { return hr_; }

private:
    std::wstring context_;
    HRESULT hr_;
};

inline void Check(HRESULT hr, const std::wstring& context) {
    if (FAILED(hr)) throw CommandError(context, hr);
}

// The older watcher methods answer S_FALSE and the failure in their result.
inline void CheckResult(HRESULT hr, LONG result, const std::wstring& context) {
    Check(hr, context);
    if (hr == S_FALSE) Check(FAILED(result) ? result : E_FAIL, context);
}

// "0x80070005 (Access is denied)"
std::wstring DescribeHr(HRESULT hr);

// Whole lines, flushed at once so that a reader behind a pipe sees them live;
// UTF-8 unless the stream is a console.
void Out(std::wstring_view line);
void Err(std::wstring_view line);

// Read from the console without echo, or a line of standard input when that
// is not a console.
std::wstring ReadPassword(std::wstring_view prompt);

}  // namespace tandem::ctl
