#pragma once

#include <windows.h>

#include <map>
#include <string>

#include "content_source.h"
#include "exclusion_rules.h"
#include "folder_info_manager.h"
#include "plugin_object_services.h"
#include "plugin_set.h"
#include "progress_notifier.h"
#include "registered_folder.h"
#include "shared_ptr.h"

namespace tandem {

// Where a folder is announced busy before a long plug-in operation and idle after it.
class FolderBusyEvents {
public:
    virtual ~FolderBusyEvents() = default;
    virtual void OnFolderBusy(const SharedPtr<RegisteredFolder>& folder, bool busy) = 0;
};

// Who hears the progress of one folder's operations; null for nobody.
class FolderProgressEvents {
public:
    virtual ~FolderProgressEvents() = default;
    virtual SharedPtr<ProgressEvents> ForFolder(const SharedPtr<RegisteredFolder>& folder) = 0;
};

// The plug-in side of the folder commands.
class FolderCommandSteps {
public:
    FolderCommandSteps(ContentSource& source, FolderInfoManager& folders, const ExclusionRules& rules,
                       SharedPtr<FolderBusyEvents> busy = nullptr, SharedPtr<FolderProgressEvents> progress = nullptr);

    // Paths as commands carry them: full, one trailing backslash, stripped here. True when every plug-in succeeded.
    bool RegisterFolder(const SharedPtr<RegisteredFolder>& folder, const std::wstring& path);
    bool UnregisterFolder(const std::wstring& storageId, const std::wstring& rootPath, const std::wstring& owner,
                          const std::wstring& path, bool subTree, CTandemProgressNotifier& notifier);
    bool DeleteFolder(const SharedPtr<RegisteredFolder>& folder, const std::wstring& path,
                      CTandemProgressNotifier& notifier);
    bool RenameFolder(const SharedPtr<RegisteredFolder>& folder, const std::wstring& oldPath,
                      const std::wstring& newPath, CTandemProgressNotifier& notifier);
    bool RefreshFolder(const SharedPtr<RegisteredFolder>& folder, const std::wstring& path,
                       CTandemProgressNotifier& notifier);
    bool UpdateFolder(const SharedPtr<RegisteredFolder>& folder, const std::wstring& path,
                      const std::map<LONG, std::wstring>& properties, CTandemProgressNotifier& notifier);

private:
    template <class Call>
    bool WithProgress(const TandemPlugin& set, TnFolderOperationTypes operation, CTandemProgressNotifier& notifier,
                      Call call);
    bool DeleteWith(const TandemPlugin& set, const std::wstring& path, CTandemProgressNotifier& notifier);
    ComPtr<ITandemFolder> VisibleFolder(const TandemPlugin& set, const std::wstring& path);

    ContentSource& source_;
    FolderInfoManager& folders_;
    const PluginObjectServicesPtr services_;
    const SharedPtr<FolderBusyEvents> busy_;
    const SharedPtr<FolderProgressEvents> progress_;
};

}  // namespace tandem
