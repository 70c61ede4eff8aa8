#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace tandem {

// A copy of a password, overwritten with zeros when it goes.
class SecretString {
public:
    explicit SecretString(std::wstring_view text) : text_(text) {}
    SecretString(const SecretString&) = delete;
    SecretString& operator=(const SecretString&) = delete;
    ~SecretString() { SecureZeroMemory(text_.data(), text_.size() * sizeof(wchar_t)); }

    const std::wstring& get() const noexcept { return text_; }

private:
    std::wstring text_;
};

}  // namespace tandem
