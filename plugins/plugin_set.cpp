#include "plugin_set.h"

#include <algorithm>

#include "bstr.h"
#include "error.h"

namespace tandem {
namespace {

constexpr wchar_t kInitializerOwner[] = L"PluginInitializer";

ComPtr<ITandemPlugin> CreatePlugin(const CLSID& clsid) {
    ComPtr<ITandemPlugin> plugin;
    CheckHr(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_ITandemPlugin, plugin.put_void()));
    return plugin;
}

}  // namespace

bool AllSucceeded(const PluginResults& results) noexcept {
    return std::all_of(results.begin(), results.end(), [](const auto& entry) { return SUCCEEDED(entry.second); });
}

SharedPtr<TandemPlugin> TandemPlugin::ForFolder(SharedPtr<RegisteredFolder> folder, const PluginManager& manager) {
    const std::wstring owner = folder->Owner();
    const PropertyMap properties = folder->Defaults();
    return MakeShared<TandemPlugin>(manager, std::move(folder), owner, properties);
}

SharedPtr<TandemPlugin> TandemPlugin::ForUnregistering(const std::wstring& storageId, const std::wstring& relativePath,
                                                       const std::wstring& owner, const PropertyMap& properties,
                                                       const PluginManager& manager) {
    auto folder = MakeShared<RegisteredFolder>(std::wstring(), FolderMonitorFactory());
    folder->SetStorageID(storageId);
    folder->RelativePath = relativePath;
    folder->SetOwner(owner);
    folder->SetDefaults(properties);
    return MakeShared<TandemPlugin>(manager, std::move(folder), owner, properties);
}

SharedPtr<TandemPlugin> TandemPlugin::ForOwner(const std::wstring& owner, const PropertyMap& properties,
                                               const PluginManager& manager) {
    return MakeShared<TandemPlugin>(manager, nullptr, owner, properties);
}

TandemPlugin::TandemPlugin(const PluginManager& manager, SharedPtr<RegisteredFolder> folder,
                           const std::wstring& owner, const PropertyMap& properties)
    : propertyRecord_(manager.PropertyRecord()), folder_(std::move(folder)) {
    const Bstr ownerText(owner);
    const SafeArray array = MakePropertyArray(propertyRecord_.get(), properties);
    for (const auto& [name, clsid] : manager.Classes()) plugins_.emplace(name, CreatePlugin(clsid));
    // Locked so that no plug-in can resize or destroy what the others read.
    const SafeArrayAccess locked(array.get());
    // A plug-in whose Open fails stays in the set and receives every later call.
    FanOut([&](ITandemPlugin* plugin) { return plugin->Open(ownerText.get(), array.get()); });
}

TandemPlugin::~TandemPlugin() {
    CatchHr([&] { FanOut([](ITandemPlugin* plugin) { return plugin->Close(); }); });
}

template <class Call>
PluginResults TandemPlugin::FanOut(Call call) const {
    PluginResults results;
    for (const auto& [name, plugin] : plugins_) results.emplace(name, call(plugin.get()));
    return results;
}

template <class Call>
PluginResults TandemPlugin::FanOutWithProgress(PluginProgress* progress, Call call) const {
    return FanOut([&](ITandemPlugin* plugin) {
        HRESULT hr;
        {
            const ComPtr<ITandemProgressNotifier> notifier = progress ? progress->Notifier() : nullptr;
            hr = call(plugin, notifier.get());
        }
        if (progress) progress->Step();
        return hr;
    });
}

PluginResults TandemPlugin::ImportContent(ITandemContent* content) const {
    return FanOut([&](ITandemPlugin* plugin) { return plugin->ImportContent(content); });
}

PluginResults TandemPlugin::ImportFolder(ITandemFolder* folder) const {
    return FanOut([&](ITandemPlugin* plugin) { return plugin->ImportFolder(folder); });
}

PluginResults TandemPlugin::RefreshFolder(ITandemFolder* folder, PluginProgress* progress) const {
    return FanOutWithProgress(progress, [&](ITandemPlugin* plugin, ITandemProgressNotifier* notifier) {
        return plugin->RefreshFolder(folder, notifier);
    });
}

PluginResults TandemPlugin::DeleteContent(const std::wstring& path) const {
    const Bstr text(path);
    return FanOut([&](ITandemPlugin* plugin) { return plugin->DeleteContent(text.get()); });
}

PluginResults TandemPlugin::DeleteFolder(const std::wstring& path, PluginProgress* progress) const {
    const Bstr text(path);
    return FanOutWithProgress(progress, [&](ITandemPlugin* plugin, ITandemProgressNotifier* notifier) {
        return plugin->DeleteFolder(text.get(), notifier);
    });
}

PluginResults TandemPlugin::RenameContent(const std::wstring& oldPath, ITandemContent* content) const {
    const Bstr text(oldPath);
    return FanOut([&](ITandemPlugin* plugin) { return plugin->RenameContent(text.get(), content); });
}

PluginResults TandemPlugin::RenameFolder(const std::wstring& oldPath, ITandemFolder* folder,
                                         PluginProgress* progress) const {
    const Bstr text(oldPath);
    return FanOutWithProgress(progress, [&](ITandemPlugin* plugin, ITandemProgressNotifier* notifier) {
        return plugin->RenameFolder(text.get(), folder, notifier);
    });
}

PluginResults TandemPlugin::UpdateFolder(ITandemFolder* folder, const PropertyMap& properties,
                                         PluginProgress* progress) const {
    const SafeArray array = MakePropertyArray(propertyRecord_.get(), properties);
    const SafeArrayAccess locked(array.get());
    return FanOutWithProgress(progress, [&](ITandemPlugin* plugin, ITandemProgressNotifier* notifier) {
        return plugin->UpdateFolder(folder, array.get(), notifier);
    });
}

void InitializePlugins(const PluginManager& manager) {
    TandemPlugin::ForOwner(kInitializerOwner, {}, manager);
}

}  // namespace tandem
