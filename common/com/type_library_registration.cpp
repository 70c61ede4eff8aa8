#include "type_library_registration.h"

#include <windows.h>
#include <oleauto.h>

#include <cwchar>

#include "com_ptr.h"
#include "error.h"
#include "registry.h"
#include "strings.h"
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

HKEY ClassesRoot(RegistrationScope scope) noexcept {
    return scope == RegistrationScope::User ? HKEY_CURRENT_USER : HKEY_CLASSES_ROOT;
}

// Numbered in hexadecimal, as the platform names its version keys.
std::wstring VersionKey(const LibraryAttributes& attributes, RegistrationScope scope) {
    wchar_t version[16];
    std::swprintf(version, std::size(version), L"%x.%x", attributes->wMajorVerNum, attributes->wMinorVerNum);
    const std::wstring classes = scope == RegistrationScope::User ? L"Software\\Classes\\" : L"";
    return classes + L"TypeLib\\" + GuidToString(attributes->guid) + L"\\" + version;
}

// The platform registers a library under its own locale only, while the
// type-library marshaller asks for the neutral locale and record lookups for
// the system's: without this entry no event reaches another process.
void RegisterNeutralLocale(const LibraryAttributes& attributes, const std::wstring& path, RegistrationScope scope) {
    if (attributes->lcid == LOCALE_NEUTRAL) return;
    const wchar_t* platform = attributes->syskind == SYS_WIN64 ? L"win64" : L"win32";
    const RegKey entry = CreateKey(ClassesRoot(scope), VersionKey(attributes, scope) + L"\\0\\" + platform);
    WriteString(entry.get(), nullptr, path);
}

// Removed first: the platform keeps a version key that still has a locale.
void UnregisterNeutralLocale(const LibraryAttributes& attributes, RegistrationScope scope) {
    if (attributes->lcid == LOCALE_NEUTRAL) return;
    DeleteKeyTree(ClassesRoot(scope), VersionKey(attributes, scope) + L"\\0");
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
    RegisterNeutralLocale(LibraryAttributes(library), path, scope);
}

void UnregisterTypeLibrary(const std::wstring& path, RegistrationScope scope) {
    LibraryAttributes attributes(LoadUnregistered(path));
    UnregisterNeutralLocale(attributes, scope);
    auto unregister = scope == RegistrationScope::User ? UnRegisterTypeLibForUser : UnRegisterTypeLib;
    CheckHr(unregister(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum, attributes->lcid,
                       attributes->syskind));
}

}  // namespace tandem
