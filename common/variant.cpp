#include "variant.h"

#include "bstr.h"
#include "error.h"

namespace tandem {

Variant::Variant(const Variant& other) : Variant(Copy(other.v_)) {}

Variant Variant::Copy(const VARIANT& source) {
    Variant v;
    CheckHr(VariantCopy(&v.v_, const_cast<VARIANT*>(&source)));
    return v;
}

Variant Variant::FromLong(LONG value) noexcept {
    Variant v;
    V_VT(&v.v_) = VT_I4;
    V_I4(&v.v_) = value;
    return v;
}

Variant Variant::FromString(std::wstring_view text) {
    Variant v;
    V_BSTR(&v.v_) = Bstr(text).release();
    V_VT(&v.v_) = VT_BSTR;
    return v;
}

}  // namespace tandem
