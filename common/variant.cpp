#include "variant.h"

#include "error.h"

namespace tandem {

Variant::Variant(const Variant& other) : Variant(Copy(other.v_)) {}

Variant Variant::Copy(const VARIANT& source) {
    Variant v;
    CheckHr(VariantCopy(&v.v_, const_cast<VARIANT*>(&source)));
    return v;
}

}  // namespace tandem
