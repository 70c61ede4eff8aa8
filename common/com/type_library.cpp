#include "type_library.h"

#include "error.h"
#include "type_attributes.h"

namespace tandem {

ComPtr<ITypeLib> TypeLibrary::Library() {
    CSyncLockHolder hold(lock_);
    return LibraryLocked();
}

ComPtr<ITypeInfo> TypeLibrary::TypeInfoOf(REFGUID guid) {
    CSyncLockHolder hold(lock_);
    for (const auto& [cached, info] : infos_) {
        if (IsEqualGUID(cached, guid)) return info;
    }
    ComPtr<ITypeInfo> info = LoadTypeInfo(guid);
    infos_.emplace_back(guid, info);
    return info;
}

ComPtr<ITypeLib> TypeLibrary::LibraryLocked() {
    if (library_) return library_;
    ComPtr<ITypeLib> library;
    if (const auto* path = std::get_if<std::wstring>(&source_)) {
        CheckHr(LoadTypeLibEx(path->c_str(), REGKIND_NONE, library.put()));
    } else {
        const Registration& registration = std::get<Registration>(source_);
        CheckHr(LoadRegTypeLib(registration.libid, registration.major, registration.minor, LANG_NEUTRAL,
                               library.put()));
    }
    library_ = library;
    return library;
}

ComPtr<ITypeInfo> TypeLibrary::LoadTypeInfo(REFGUID guid) {
    ComPtr<ITypeInfo> info;
    CheckHr(LibraryLocked()->GetTypeInfoOfGuid(guid, info.put()));
    TypeAttributes attributes(info);
    if (attributes->typekind != TKIND_DISPATCH || !(attributes->wTypeFlags & TYPEFLAG_FDUAL)) return info;
    HREFTYPE interfaceSide = 0;
    CheckHr(info->GetRefTypeOfImplType(-1, &interfaceSide));
    ComPtr<ITypeInfo> vtableInfo;
    CheckHr(info->GetRefTypeInfo(interfaceSide, vtableInfo.put()));
    return vtableInfo;
}

}  // namespace tandem
