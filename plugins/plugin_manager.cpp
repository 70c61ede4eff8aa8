#include "plugin_manager.h"

#include <atomic>
#include <mutex>
#include <optional>

#include "TandemPlugin.h"
#include "error.h"
#include "registry.h"
#include "sync_lock.h"

namespace tandem {
namespace {

ComPtr<IRecordInfo> LoadPropertyRecord() {
    ComPtr<IRecordInfo> record;
    CheckHr(GetRecordInfoFromGuids(LIBID_MarloTandemPluginLib, 1, 0, GetSystemDefaultLCID(),
                                   kTandemPropertyRecordId, record.put()));
    return record;
}

// The name of subkey index, or nothing past the last one.
std::optional<std::wstring> SubKeyName(HKEY key, DWORD index) {
    wchar_t name[256];
    DWORD length = static_cast<DWORD>(std::size(name));
    const LONG error = RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (error == ERROR_NO_MORE_ITEMS) return std::nullopt;
    CheckWin32(error);
    return std::wstring(name, length);
}

// The plug-in's class, or nothing when its "CLSID" value is unusable: such a
// plug-in is left out without failing the others.
std::optional<CLSID> PluginClass(HKEY plugin) {
    wchar_t text[64] = {};
    DWORD size = sizeof(text) - sizeof(wchar_t);  // keeps a terminator even if the data has none
    DWORD type = 0;
    if (RegQueryValueExW(plugin, L"CLSID", nullptr, &type, reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS)
        return std::nullopt;
    if ((type != REG_SZ && type != REG_EXPAND_SZ) || text[0] != L'{') return std::nullopt;
    CLSID clsid;
    if (FAILED(CLSIDFromString(text, &clsid))) return std::nullopt;
    return clsid;
}

PluginClassMap LoadPluginClasses() {
    const RegKey product = OpenKey(HKEY_LOCAL_MACHINE, kProductKey);
    const RegKey plugins = OpenKey(product.get(), kPluginSubKey);
    PluginClassMap classes;
    for (DWORD index = 0;; ++index) {
        auto name = SubKeyName(plugins.get(), index);
        if (!name) break;
        const RegKey plugin = OpenKey(plugins.get(), *name);
        if (auto clsid = PluginClass(plugin.get())) classes.emplace(std::move(*name), *clsid);
    }
    return classes;
}

CSyncLock instanceLock;
std::atomic<std::shared_ptr<const PluginManager>> instance;

}  // namespace

PluginManager::PluginManager() : propertyRecord_(LoadPropertyRecord()), classes_(LoadPluginClasses()) {}

SharedPtr<const PluginManager> PluginManager::Instance() {
    if (auto current = instance.load()) return current;
    std::lock_guard guard(instanceLock);
    if (auto current = instance.load()) return current;
    SharedPtr<const PluginManager> created = MakeShared<PluginManager>();
    instance.store(created);
    return created;
}

}  // namespace tandem
