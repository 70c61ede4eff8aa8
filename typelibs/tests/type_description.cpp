#include "type_description.h"

#include <gtest/gtest.h>

#include <vector>

#include "bstr.h"
#include "error.h"
#include "type_attributes.h"

namespace tandem::typelibs::test {

ComPtr<ITypeLib> LoadLibraryFile(const wchar_t* file) {
    ComPtr<ITypeLib> lib;
    CheckHr(LoadTypeLibEx(file, REGKIND_NONE, lib.put()));
    return lib;
}

ComPtr<ITypeInfo> TypeNamed(ITypeLib* lib, const wchar_t* name) {
    for (UINT i = 0, n = lib->GetTypeInfoCount(); i < n; ++i) {
        ComPtr<ITypeInfo> type;
        CheckHr(lib->GetTypeInfo(i, type.put()));
        if (NameOf(type.get()) == name) return type;
    }
    ADD_FAILURE() << "no type named " << testing::PrintToString(std::wstring(name));
    ThrowHr(TYPE_E_ELEMENTNOTFOUND);
}

std::wstring NameOf(ITypeInfo* type, MEMBERID member) {
    Bstr name;
    CheckHr(type->GetDocumentation(member, name.put(), nullptr, nullptr, nullptr));
    return name.str();
}

std::wstring DocStringOf(ITypeInfo* type, MEMBERID member) {
    Bstr doc;
    CheckHr(type->GetDocumentation(member, nullptr, doc.put(), nullptr, nullptr));
    return doc.str();
}

ComPtr<ITypeInfo> VtablePart(ITypeInfo* type) {
    const TypeAttr attr(type);
    if (attr->typekind != TKIND_DISPATCH || !(attr->wTypeFlags & TYPEFLAG_FDUAL)) return type;
    HREFTYPE ref = 0;
    CheckHr(type->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref));
    ComPtr<ITypeInfo> part;
    CheckHr(type->GetRefTypeInfo(ref, part.put()));
    return part;
}

ComPtr<ITypeInfo> ImplementedType(ITypeInfo* type, UINT index) {
    HREFTYPE ref = 0;
    CheckHr(type->GetRefTypeOfImplType(index, &ref));
    ComPtr<ITypeInfo> impl;
    CheckHr(type->GetRefTypeInfo(ref, impl.put()));
    return impl;
}

namespace {

const wchar_t* BaseTypeName(VARTYPE vt) {
    switch (vt) {
    case VT_I4: return L"long";
    case VT_R4: return L"float";
    case VT_UI8: return L"uint64";
    case VT_BSTR: return L"BSTR";
    case VT_DATE: return L"DATE";
    case VT_BOOL: return L"VARIANT_BOOL";
    case VT_VARIANT: return L"VARIANT";
    case VT_HRESULT: return L"HRESULT";
    case VT_VOID: return L"void";
    // Interface pointers of these two are written without their pointer.
    case VT_UNKNOWN: return L"IUnknown*";
    case VT_DISPATCH: return L"IDispatch*";
    default: return nullptr;
    }
}

std::wstring Directions(USHORT flags) {
    std::wstring text;
    if (flags & PARAMFLAG_FIN) text += L"in";
    if (flags & PARAMFLAG_FOUT) text += text.empty() ? L"out" : L", out";
    if (flags & PARAMFLAG_FRETVAL) text += L", retval";
    return L"[" + text + L"]";
}

// The function's name followed by its parameters' names.
std::vector<Bstr> ParameterNames(ITypeInfo* type, const FUNCDESC& func) {
    constexpr UINT kMaxNames = 32;
    std::vector<Bstr> names;
    if (func.invkind == INVOKE_PROPERTYPUT) return names;
    names.reserve(kMaxNames);
    BSTR raw[kMaxNames] = {};
    UINT count = 0;
    CheckHr(type->GetNames(func.memid, raw, kMaxNames, &count));
    for (UINT i = 0; i < count; ++i) names.push_back(Bstr::Attach(raw[i]));
    return names;
}

}  // namespace

std::wstring DescribeType(ITypeInfo* context, const TYPEDESC& desc) {
    switch (desc.vt) {
    case VT_PTR: return DescribeType(context, *desc.lptdesc) + L"*";
    case VT_SAFEARRAY: return L"SAFEARRAY(" + DescribeType(context, *desc.lptdesc) + L")";
    case VT_USERDEFINED: {
        ComPtr<ITypeInfo> ref;
        CheckHr(context->GetRefTypeInfo(desc.hreftype, ref.put()));
        return NameOf(ref.get());
    }
    default:
        if (const wchar_t* name = BaseTypeName(desc.vt)) return name;
        return L"vt" + std::to_wstring(desc.vt);
    }
}

std::wstring DescribeParameters(ITypeInfo* type, const FUNCDESC& func) {
    const std::vector<Bstr> names = ParameterNames(type, func);
    std::wstring text;
    for (SHORT i = 0; i < func.cParams; ++i) {
        const ELEMDESC& param = func.lprgelemdescParam[i];
        if (i) text += L", ";
        text += Directions(param.paramdesc.wParamFlags) + L" " + DescribeType(type, param.tdesc);
        if (static_cast<size_t>(i + 1) < names.size()) text += L" " + names[i + 1].str();
    }
    return text;
}

}  // namespace tandem::typelibs::test
