#include "provide_class_info.h"

#include "error.h"
#include "type_attributes.h"

namespace tandem::detail {

namespace {

constexpr int kDefaultSource = IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE;

GUID DefaultSourceOf(ITypeInfo* coclass) {
    TypeAttributes attributes(coclass);
    for (UINT i = 0; i < attributes->cImplTypes; ++i) {
        INT flags = 0;
        CheckHr(coclass->GetImplTypeFlags(i, &flags));
        if ((flags & kDefaultSource) != kDefaultSource) continue;
        HREFTYPE reference = 0;
        CheckHr(coclass->GetRefTypeOfImplType(i, &reference));
        ComPtr<ITypeInfo> source;
        CheckHr(coclass->GetRefTypeInfo(reference, source.put()));
        return TypeAttributes(source)->guid;
    }
    ThrowHr(TYPE_E_ELEMENTNOTFOUND);
}

}  // namespace

HRESULT ClassInfoOf(TypeLibrary& library, REFCLSID clsid, ITypeInfo** out) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    return CatchHr([&] { *out = library.TypeInfoOf(clsid).detach(); });
}

HRESULT ClassGuidOf(TypeLibrary& library, REFCLSID clsid, DWORD kind, GUID* out) noexcept {
    if (!out) return E_POINTER;
    *out = GUID_NULL;
    if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) return E_INVALIDARG;
    return CatchHr([&] { *out = DefaultSourceOf(library.TypeInfoOf(clsid).get()); });
}

}  // namespace tandem::detail
