#include "dispatch.h"

#include "error.h"

namespace tandem::detail {

HRESULT DispatchGetTypeInfo(TypeLibrary& library, REFIID iid, UINT index, ITypeInfo** out) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    return CatchHr([&] { *out = library.TypeInfoOf(iid).detach(); });
}

HRESULT DispatchGetIDsOfNames(TypeLibrary& library, REFIID iid, REFIID riid, LPOLESTR* names, UINT count,
                              DISPID* ids) noexcept {
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    return CatchHr([&] { return DispGetIDsOfNames(library.TypeInfoOf(iid).get(), names, count, ids); });
}

HRESULT DispatchInvoke(TypeLibrary& library, REFIID iid, void* object, DISPID member, REFIID riid, WORD flags,
                       DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception, UINT* argumentError) noexcept {
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    // Some script engines (JScript's Enumerator under Wine) ask for a collection's
    // enumerator as a method call, which the type information, describing a
    // property, would refuse.
    if (member == DISPID_NEWENUM && (flags & DISPATCH_METHOD)) flags |= DISPATCH_PROPERTYGET;
    return CatchHr([&] {
        return DispInvoke(object, library.TypeInfoOf(iid).get(), member, flags, params, result, exception,
                          argumentError);
    });
}

}  // namespace tandem::detail
