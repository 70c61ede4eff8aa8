#pragma once

#include <windows.h>
#include <oleauto.h>

#include "type_library.h"

namespace tandem {

namespace detail {

HRESULT DispatchGetTypeInfo(TypeLibrary& library, REFIID iid, UINT index, ITypeInfo** out) noexcept;
HRESULT DispatchGetIDsOfNames(TypeLibrary& library, REFIID iid, REFIID riid, LPOLESTR* names, UINT count,
                              DISPID* ids) noexcept;
HRESULT DispatchInvoke(TypeLibrary& library, REFIID iid, void* object, DISPID member, REFIID riid, WORD flags,
                       DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception, UINT* argumentError) noexcept;

}  // namespace detail

// IDispatch of a dual interface, answered from its type information in the
// library that `library` returns.
template <class Interface, TypeLibrary& (*library)()>
class DispatchImpl : public Interface {
public:
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 1;
        return S_OK;
    }

    STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** out) override {
        return detail::DispatchGetTypeInfo(library(), __uuidof(Interface), index, out);
    }

    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        return detail::DispatchGetIDsOfNames(library(), __uuidof(Interface), riid, names, count, ids);
    }

    STDMETHODIMP Invoke(DISPID member, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argumentError) override {
        return detail::DispatchInvoke(library(), __uuidof(Interface), static_cast<Interface*>(this), member, riid,
                                      flags, params, result, exception, argumentError);
    }

protected:
    DispatchImpl() = default;
    ~DispatchImpl() = default;
};

}  // namespace tandem
