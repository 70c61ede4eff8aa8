// tlbrelink <input.tlb> <output.tlb> <imported.tlb>...
//
// widl copies every interface a coclass lists into the library it writes,
// even when that interface comes from an imported library (and with an
// importlib it writes a wrong library GUID). Registering such a copy would
// take the interface's registration away from the library that owns it.
// This tool writes the library again with its classes only, each class
// referring to the imported definitions; every other type of the input must
// be a copy of an imported one.

#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <span>
#include <vector>

#include "bstr.h"
#include "com_ptr.h"
#include "error.h"
#include "type_attributes.h"

using namespace tandem;
using tandem::typelibs::LibAttr;
using tandem::typelibs::TypeAttr;

namespace {

using Libraries = std::vector<ComPtr<ITypeLib>>;

ComPtr<ITypeLib> Load(const wchar_t* path) {
    ComPtr<ITypeLib> lib;
    CheckHr(LoadTypeLibEx(path, REGKIND_NONE, lib.put()));
    return lib;
}

std::wstring NameOf(ITypeInfo* type) {
    Bstr name;
    CheckHr(type->GetDocumentation(MEMBERID_NIL, name.put(), nullptr, nullptr, nullptr));
    return name.str();
}

ComPtr<ITypeInfo> FindByName(ITypeLib* lib, const std::wstring& name) {
    for (UINT i = 0, n = lib->GetTypeInfoCount(); i < n; ++i) {
        ComPtr<ITypeInfo> type;
        CheckHr(lib->GetTypeInfo(i, type.put()));
        if (NameOf(type.get()) == name) return type;
    }
    return nullptr;
}

// The imported definition of a type: found by its GUID, or by its name when
// it has none.
ComPtr<ITypeInfo> FindImported(const Libraries& imports, ITypeInfo* type) {
    const GUID guid = TypeAttr(type)->guid;
    const std::wstring name = NameOf(type);
    for (const auto& lib : imports) {
        ComPtr<ITypeInfo> found;
        if (guid == GUID_NULL)
            found = FindByName(lib.get(), name);
        else if (FAILED(lib->GetTypeInfoOfGuid(guid, found.put())))
            found.reset();
        if (found) return found;
    }
    std::fprintf(stderr, "tlbrelink: %ls is not defined by an imported library\n", name.c_str());
    ThrowHr(TYPE_E_ELEMENTNOTFOUND);
}

ComPtr<ITypeInfo> ImplType(ITypeInfo* type, UINT index) {
    HREFTYPE ref = 0;
    CheckHr(type->GetRefTypeOfImplType(index, &ref));
    ComPtr<ITypeInfo> impl;
    CheckHr(type->GetRefTypeInfo(ref, impl.put()));
    return impl;
}

void AddImplTypes(ITypeInfo* source, ICreateTypeInfo* target, const Libraries& imports) {
    TypeAttr attr(source);
    for (UINT i = 0; i < attr->cImplTypes; ++i) {
        ComPtr<ITypeInfo> impl = ImplType(source, i);
        ComPtr<ITypeInfo> imported = FindImported(imports, impl.get());
        HREFTYPE ref = 0;
        CheckHr(target->AddRefTypeInfo(imported.get(), &ref));
        CheckHr(target->AddImplType(i, ref));
        INT flags = 0;
        CheckHr(source->GetImplTypeFlags(i, &flags));
        CheckHr(target->SetImplTypeFlags(i, flags));
    }
}

void CopyClass(ITypeInfo* source, ICreateTypeLib2* target, const Libraries& imports) {
    Bstr name, doc;
    DWORD helpContext = 0;
    CheckHr(source->GetDocumentation(MEMBERID_NIL, name.put(), doc.put(), &helpContext, nullptr));
    ComPtr<ICreateTypeInfo> created;
    CheckHr(target->CreateTypeInfo(name.get(), TKIND_COCLASS, created.put()));
    TypeAttr attr(source);
    CheckHr(created->SetGuid(attr->guid));
    CheckHr(created->SetTypeFlags(attr->wTypeFlags));
    CheckHr(created->SetVersion(attr->wMajorVerNum, attr->wMinorVerNum));
    if (doc.get()) CheckHr(created->SetDocString(doc.get()));
    CheckHr(created->SetHelpContext(helpContext));
    AddImplTypes(source, created.get(), imports);
    CheckHr(created->LayOut());
}

// Anything but a class must be a copy of an imported type, or it would be lost.
void CheckImported(ITypeInfo* type, const Libraries& imports) { FindImported(imports, type); }

ComPtr<ICreateTypeLib2> CreateLike(ITypeLib* source, const wchar_t* path) {
    LibAttr attr(source);
    ComPtr<ICreateTypeLib2> lib;
    CheckHr(CreateTypeLib2(attr->syskind, path, lib.put()));
    CheckHr(lib->SetGuid(attr->guid));
    CheckHr(lib->SetLcid(attr->lcid));
    CheckHr(lib->SetVersion(attr->wMajorVerNum, attr->wMinorVerNum));
    CheckHr(lib->SetLibFlags(attr->wLibFlags));
    Bstr name, doc;
    CheckHr(source->GetDocumentation(-1, name.put(), doc.put(), nullptr, nullptr));
    CheckHr(lib->SetName(name.get()));
    if (doc.get()) CheckHr(lib->SetDocString(doc.get()));
    return lib;
}

void Relink(const wchar_t* input, const wchar_t* output, std::span<wchar_t*> importPaths) {
    ComPtr<ITypeLib> source = Load(input);
    Libraries imports;
    for (const wchar_t* path : importPaths) imports.push_back(Load(path));
    ComPtr<ICreateTypeLib2> target = CreateLike(source.get(), output);
    for (UINT i = 0, n = source->GetTypeInfoCount(); i < n; ++i) {
        ComPtr<ITypeInfo> type;
        CheckHr(source->GetTypeInfo(i, type.put()));
        if (TypeAttr(type.get())->typekind == TKIND_COCLASS)
            CopyClass(type.get(), target.get(), imports);
        else
            CheckImported(type.get(), imports);
    }
    CheckHr(target->SaveAllChanges());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4) {
        std::fputs("usage: tlbrelink <input.tlb> <output.tlb> <imported.tlb>...\n", stderr);
        return 2;
    }
    HRESULT hr = CatchHr([&] { Relink(argv[1], argv[2], std::span(argv + 3, argc - 3)); });
    if (FAILED(hr)) {
        std::fprintf(stderr, "tlbrelink: failed with 0x%08lx\n", static_cast<unsigned long>(hr));
        return 1;
    }
    return 0;
}
