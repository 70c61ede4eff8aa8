#pragma once

#include <windows.h>

#include <string>

#include "content_source.h"
#include "exclusion_rules.h"
#include "folder_info_manager.h"
#include "plugin_object_services.h"
#include "plugin_set.h"
#include "shared_ptr.h"

namespace tandem {

enum class ChangeKind { Content = 0, Folder = 1 };
enum class ChangeAction { Added = 1, Modified = 2, Removed = 3, Renamed = 4 };

// One settled change of a watched folder. Paths are full, without a
// trailing backslash; oldPath only for a rename.
struct ChangeRecord {
    ChangeKind kind = ChangeKind::Content;
    ChangeAction action = ChangeAction::Modified;
    SharedPtr<TandemPlugin> plugins;
    std::wstring path;
    std::wstring oldPath;
};

// Where folder changes become folder commands of the storage's command thread.
class FolderCommandQueue {
public:
    virtual ~FolderCommandQueue() = default;
    virtual void PostRefreshFolder(const std::wstring& path) = 0;
    virtual void PostDeleteFolder(const std::wstring& path) = 0;
    virtual void PostRenameFolder(const std::wstring& oldPath, const std::wstring& newPath) = 0;
};

// Hands settled changes to the plug-ins of their folder, or queues them as folder commands.
class ChangeDispatcher {
public:
    ChangeDispatcher(ContentSource& source, FolderInfoManager& folders, const ExclusionRules& rules,
                     FolderCommandQueue& queue);

    // A file or folder that vanished or cannot be read is dropped silently;
    // only a failure to queue a folder command is raised.
    void Dispatch(const ChangeRecord& change);

private:
    void DispatchContent(const ChangeRecord& change);
    void DispatchFolder(const ChangeRecord& change);
    void ImportContent(const TandemPlugin& plugins, const std::wstring& path);
    void RenameContent(const TandemPlugin& plugins, const std::wstring& oldPath, const std::wstring& newPath);
    void ImportFolder(const TandemPlugin& plugins, const std::wstring& path);
    // The content object of a file plug-ins may see; null when hidden or of a
    // category the folder does not take.
    ComPtr<ITandemContent> VisibleContent(const TandemPlugin& plugins, const std::wstring& path);

    ContentSource& source_;
    FolderInfoManager& folders_;
    const ExclusionList fileExclusions_;
    FolderCommandQueue& queue_;
    const PluginObjectServicesPtr services_;
};

}  // namespace tandem
