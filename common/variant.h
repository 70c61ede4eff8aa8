#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string_view>
#include <utility>

namespace tandem {

// Owning VARIANT; copies go through VariantCopy.
class Variant {
public:
    Variant() noexcept { VariantInit(&v_); }
    Variant(const Variant& other);
    Variant(Variant&& other) noexcept {
        v_ = other.v_;
        VariantInit(&other.v_);
    }
    Variant& operator=(Variant other) noexcept {
        std::swap(v_, other.v_);
        return *this;
    }
    ~Variant() { VariantClear(&v_); }

    // Deep copy of a VARIANT the caller does not own.
    static Variant Copy(const VARIANT& source);
    static Variant FromLong(LONG value) noexcept;
    static Variant FromString(std::wstring_view text);

    const VARIANT& get() const noexcept { return v_; }
    VARIANT* ptr() noexcept { return &v_; }
    VARTYPE type() const noexcept { return V_VT(&v_); }

    // For out-parameters: clears what is held and hands out the slot.
    VARIANT* put() noexcept {
        VariantClear(&v_);
        return &v_;
    }
    // Moves the value into *out, which the caller owns and has not initialised.
    void release(VARIANT* out) noexcept {
        *out = v_;
        VariantInit(&v_);
    }

private:
    VARIANT v_;
};

}  // namespace tandem
