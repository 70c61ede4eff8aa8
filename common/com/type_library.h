#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "com_ptr.h"
#include "sync_lock.h"

namespace tandem {

// A type library, loaded on first use, with the type information of its
// interfaces and classes cached. Safe to share between threads: COM classes
// reach theirs through a function returning a process-wide instance.
class TypeLibrary {
public:
    // The registered library of that identifier and version.
    TypeLibrary(const GUID& libid, WORD major, WORD minor) : source_(Registration{libid, major, minor}) {}
    // A .tlb file, or a module with a TYPELIB resource (a trailing \n picks
    // resource n instead of the first).
    explicit TypeLibrary(std::wstring path) : source_(std::move(path)) {}
    TypeLibrary(const TypeLibrary&) = delete;
    TypeLibrary& operator=(const TypeLibrary&) = delete;

    // Load failures are raised and tried again on the next call.
    ComPtr<ITypeLib> Library();

    // The type information of guid; for a dual interface its interface
    // (vtable) side, which is what DispInvoke calls through.
    ComPtr<ITypeInfo> TypeInfoOf(REFGUID guid);

private:
    struct Registration {
        GUID libid;
        WORD major;
        WORD minor;
    };

    ComPtr<ITypeLib> LibraryLocked();
    ComPtr<ITypeInfo> LoadTypeInfo(REFGUID guid);

    std::variant<Registration, std::wstring> source_;
    CSyncLock lock_;
    ComPtr<ITypeLib> library_;
    std::vector<std::pair<GUID, ComPtr<ITypeInfo>>> infos_;
};

}  // namespace tandem
