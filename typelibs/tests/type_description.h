#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>

#include "com_ptr.h"

namespace tandem::typelibs::test {

// "{XXXXXXXX-...}", as the registry names GUIDs.

ComPtr<ITypeLib> LoadLibraryFile(const wchar_t* file);
// The type of that name; fails the calling test when there is none.
ComPtr<ITypeInfo> TypeNamed(ITypeLib* lib, const wchar_t* name);
std::wstring NameOf(ITypeInfo* type, MEMBERID member = MEMBERID_NIL);
std::wstring DocStringOf(ITypeInfo* type, MEMBERID member = MEMBERID_NIL);
// The vtable part of a dual interface, or the type itself.
ComPtr<ITypeInfo> VtablePart(ITypeInfo* type);
ComPtr<ITypeInfo> ImplementedType(ITypeInfo* type, UINT index);

// "long", "BSTR*", "SAFEARRAY(BSTR)*", "ITnStorageInfo**"...
std::wstring DescribeType(ITypeInfo* context, const TYPEDESC& desc);
// "[in] BSTR appname, [out, retval] long* result", written as declared.
// Property writers share their reader's member id, so their parameter names
// cannot be looked up and are left out.
std::wstring DescribeParameters(ITypeInfo* type, const FUNCDESC& func);

}  // namespace tandem::typelibs::test
