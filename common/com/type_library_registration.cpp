#include "type_library_registration.h"

#include <windows.h>
#include <oleauto.h>

#include "com_ptr.h"
#include "error.h"
#include "type_attributes.h"

// oleaut32 exports the per-user functions; this compiler's headers lack them.
extern "C" {
WINOLEAUTAPI RegisterTypeLibForUser(ITypeLib* library, OLECHAR* path, OLECHAR* helpDir);
WINOLEAUTAPI UnRegisterTypeLibForUser(REFGUID libid, WORD major, WORD minor, LCID lcid, SYSKIND syskind);
}

namespace tandem {

namespace {

ComPtr<ITypeLib> LoadUnregistered(const std::wstring& path) {
    ComPtr<ITypeLib> library;
    CheckHr(LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.put()));
    return library;
}

}  // namespace

void RegisterTypeLibrary(const std::wstring& path, RegistrationScope scope) {
    ComPtr<ITypeLib> library = LoadUnregistered(path);
    std::wstring fullPath = path;
    if (scope == RegistrationScope::User) {
        CheckHr(RegisterTypeLibForUser(library.get(), fullPath.data(), nullptr));
    } else {
        CheckHr(RegisterTypeLib(library.get(), fullPath.data(), nullptr));
    }
}

void UnregisterTypeLibrary(const std::wstring& path, RegistrationScope scope) {
    LibraryAttributes attributes(LoadUnregistered(path));
    auto unregister = scope == RegistrationScope::User ? UnRegisterTypeLibForUser : UnRegisterTypeLib;
    CheckHr(unregister(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum, attributes->lcid,
                       attributes->syskind));
}

}  // namespace tandem
