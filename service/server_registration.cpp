#include "server_registration.h"

#include <oleauto.h>

#include <utility>
#include <vector>

#include "com_ptr.h"
#include "com_security.h"
#include "error.h"
#include "folder_keys.h"
#include "module_path.h"
#include "registry.h"
#include "service_resources.h"
#include "storage_info.h"
#include "com/type_library_registration.h"

namespace tandem {

namespace {

const std::wstring kAppIdKey = std::wstring(L"AppID\\") + kTandemAppId;
constexpr wchar_t kLocalService[] = L"LocalService";

ScriptReplacements Replacements(HMODULE module) {
    return {{L"APPID", kTandemAppId}, {L"MODULE", ModuleFileName(module)}};
}

// An uninstall that runs twice, or after a failed install, must not fail on
// what is already gone.
bool TypeLibraryRegistered(const std::wstring& path, RegistrationScope scope) {
    ComPtr<ITypeLib> library;
    CheckHr(LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.put()));
    TLIBATTR* attributes = nullptr;
    CheckHr(library->GetLibAttr(&attributes));
    wchar_t libid[40];
    StringFromGUID2(attributes->guid, libid, 40);
    library->ReleaseTLibAttr(attributes);
    const HKEY root = scope == RegistrationScope::User ? HKEY_CURRENT_USER : HKEY_CLASSES_ROOT;
    const std::wstring prefix = scope == RegistrationScope::User ? L"Software\\Classes\\" : L"";
    return KeyExists(root, prefix + L"TypeLib\\" + libid);
}

// COM's defaults let everyone start and call a server, from any machine.
void WritePermissions(RegistrationScope scope) {
    const RegKey key = scope == RegistrationScope::User
                           ? OpenKey(HKEY_CURRENT_USER, L"Software\\Classes\\" + kAppIdKey, kKeyReadWrite)
                           : OpenKey(HKEY_CLASSES_ROOT, kAppIdKey, kKeyReadWrite);
    for (auto [name, permission] : {std::pair{L"LaunchPermission", ComPermission::Launch},
                                    std::pair{L"AccessPermission", ComPermission::Access}}) {
        const std::vector<BYTE> value = RegistryCallerDescriptor(permission).SelfRelative();
        CheckWin32(RegSetValueExW(key.get(), name, 0, REG_BINARY, value.data(), static_cast<DWORD>(value.size())));
    }
}

}  // namespace

void RegisterAppId(HMODULE module, RegistrationScope scope) {
    RegisterScript(LoadRegistryScript(module, IDR_APPID_REGISTRY), Replacements(module), scope);
    WritePermissions(scope);
}

void UnregisterAppId(HMODULE module, RegistrationScope scope) {
    UnregisterScript(LoadRegistryScript(module, IDR_APPID_REGISTRY), Replacements(module), scope);
}

void SetLocalService(const std::wstring& serviceName) {
    RegKey key = OpenKey(HKEY_CLASSES_ROOT, kAppIdKey, kKeyReadWrite);
    WriteString(key.get(), kLocalService, serviceName);
}

void ClearLocalService() {
    if (auto key = TryOpenKey(HKEY_CLASSES_ROOT, kAppIdKey, kKeyReadWrite))
        if (TryReadString(key->get(), kLocalService)) DeleteValue(key->get(), kLocalService);
}

std::optional<std::wstring> ReadLocalService() {
    RegKey key = OpenKey(HKEY_CLASSES_ROOT, kAppIdKey);
    return TryReadString(key.get(), kLocalService);
}

void CreateProductKeys() {
    for (const wchar_t* key : {kStorageListKey, kWatcherKey, kFolderListKey}) CreateKey(HKEY_LOCAL_MACHINE, key);
}

void RegisterServerClasses(HMODULE module, const std::vector<ServerClass>& classes, RegistrationScope scope) {
    for (const ServerClass& entry : classes)
        RegisterScript(LoadRegistryScript(module, entry.registryResource), Replacements(module), scope);
    RegisterTypeLibrary(ModuleFileName(module), scope);
}

void UnregisterServerClasses(HMODULE module, const std::vector<ServerClass>& classes, RegistrationScope scope) {
    for (const ServerClass& entry : classes)
        UnregisterScript(LoadRegistryScript(module, entry.registryResource), Replacements(module), scope);
    const std::wstring path = ModuleFileName(module);
    if (TypeLibraryRegistered(path, scope)) UnregisterTypeLibrary(path, scope);
}

}  // namespace tandem
