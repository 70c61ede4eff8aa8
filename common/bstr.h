#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <string_view>
#include <utility>

namespace tandem {

// Owning BSTR with value semantics. A null BSTR reads as the empty string.
class Bstr {
public:
    Bstr() noexcept = default;
    explicit Bstr(std::wstring_view text);
    Bstr(const Bstr& other) : Bstr(other.view()) {}
    Bstr(Bstr&& other) noexcept : s_(std::exchange(other.s_, nullptr)) {}
    Bstr& operator=(Bstr other) noexcept {
        std::swap(s_, other.s_);
        return *this;
    }
    ~Bstr() { SysFreeString(s_); }

    // Takes over a BSTR the caller owns.
    static Bstr Attach(BSTR s) noexcept {
        Bstr b;
        b.s_ = s;
        return b;
    }

    BSTR get() const noexcept { return s_; }
    BSTR release() noexcept { return std::exchange(s_, nullptr); }
    BSTR* put() noexcept {
        SysFreeString(std::exchange(s_, nullptr));
        return &s_;
    }

    UINT length() const noexcept { return SysStringLen(s_); }
    bool empty() const noexcept { return length() == 0; }
    std::wstring_view view() const noexcept { return {s_ ? s_ : L"", length()}; }
    std::wstring str() const { return std::wstring(view()); }

    // Hands a new copy to an out-parameter.
    HRESULT CopyTo(BSTR* out) const noexcept;

private:
    BSTR s_ = nullptr;
};

// The text of a BSTR argument, null read as empty.
inline std::wstring_view BstrView(BSTR s) noexcept { return {s ? s : L"", SysStringLen(s)}; }

// A new BSTR for an out-parameter; E_OUTOFMEMORY when it cannot be allocated.
HRESULT AllocBstr(std::wstring_view text, BSTR* out) noexcept;

}  // namespace tandem
