#pragma once

#include <windows.h>
#include <ocidl.h>

#include "type_library.h"

namespace tandem {

namespace detail {

HRESULT ClassInfoOf(TypeLibrary& library, REFCLSID clsid, ITypeInfo** out) noexcept;
HRESULT ClassGuidOf(TypeLibrary& library, REFCLSID clsid, DWORD kind, GUID* out) noexcept;

}  // namespace detail

// IProvideClassInfo2 of class clsid, described by its coclass in the library
// that `library` returns; the default source interface is the coclass's.
template <const CLSID& clsid, TypeLibrary& (*library)()>
class ProvideClassInfo2Impl : public IProvideClassInfo2 {
public:
    STDMETHODIMP GetClassInfo(ITypeInfo** out) override { return detail::ClassInfoOf(library(), clsid, out); }

    STDMETHODIMP GetGUID(DWORD kind, GUID* out) override { return detail::ClassGuidOf(library(), clsid, kind, out); }

protected:
    ProvideClassInfo2Impl() = default;
    ~ProvideClassInfo2Impl() = default;
};

}  // namespace tandem
