#pragma once

#include <windows.h>

#include <map>
#include <string>

#include "TandemPlugin.h"
#include "com_ptr.h"
#include "plugin_manager.h"
#include "plugin_progress.h"
#include "plugin_properties.h"
#include "registered_folder.h"
#include "shared_ptr.h"

namespace tandem {

// What each plug-in returned, in plug-in order.
using PluginResults = std::map<std::wstring, HRESULT>;

// Every plug-in succeeded; no plug-ins at all counts as success.
bool AllSucceeded(const PluginResults& results) noexcept;

// Every registered plug-in, instantiated and opened for one folder or owner.
// The last reference closes them all.
class TandemPlugin {
public:
    // For a registered folder: its owner and default properties.
    static SharedPtr<TandemPlugin> ForFolder(SharedPtr<RegisteredFolder> folder,
                                             const PluginManager& manager = *PluginManager::Instance());
    // For a folder being unregistered, described by the caller.
    static SharedPtr<TandemPlugin> ForUnregistering(const std::wstring& storageId, const std::wstring& relativePath,
                                                    const std::wstring& owner, const PropertyMap& properties,
                                                    const PluginManager& manager = *PluginManager::Instance());
    // For an owner without a folder.
    static SharedPtr<TandemPlugin> ForOwner(const std::wstring& owner, const PropertyMap& properties,
                                            const PluginManager& manager = *PluginManager::Instance());

    // Instantiates every plug-in of the manager, then opens them. A plug-in
    // that cannot be created fails the whole set.
    TandemPlugin(const PluginManager& manager, SharedPtr<RegisteredFolder> folder, const std::wstring& owner,
                 const PropertyMap& properties);
    TandemPlugin(const TandemPlugin&) = delete;
    TandemPlugin& operator=(const TandemPlugin&) = delete;
    ~TandemPlugin();

    // The folder the set was opened for; null for an owner-only set.
    const SharedPtr<RegisteredFolder>& Folder() const noexcept { return folder_; }

    PluginResults ImportContent(ITandemContent* content) const;
    PluginResults ImportFolder(ITandemFolder* folder) const;
    PluginResults RefreshFolder(ITandemFolder* folder, PluginProgress* progress) const;
    PluginResults DeleteContent(const std::wstring& path) const;
    PluginResults DeleteFolder(const std::wstring& path, PluginProgress* progress) const;
    PluginResults RenameContent(const std::wstring& oldPath, ITandemContent* content) const;
    PluginResults RenameFolder(const std::wstring& oldPath, ITandemFolder* folder, PluginProgress* progress) const;
    PluginResults UpdateFolder(ITandemFolder* folder, const PropertyMap& properties, PluginProgress* progress) const;

private:
    template <class Call>
    PluginResults FanOut(Call call) const;
    template <class Call>
    PluginResults FanOutWithProgress(PluginProgress* progress, Call call) const;

    ComPtr<IRecordInfo> propertyRecord_;
    SharedPtr<RegisteredFolder> folder_;
    std::map<std::wstring, ComPtr<ITandemPlugin>> plugins_;
};

// Shows every plug-in an Open by "PluginInitializer" and a Close before a
// folder's first registration.
void InitializePlugins(const PluginManager& manager = *PluginManager::Instance());

}  // namespace tandem
