#pragma once

#include <windows.h>

#include <string>

#include "change_dispatcher.h"
#include "change_notifiable.h"
#include "registered_folder.h"

namespace tandem {

class CommandThread;

// Where directory changes become folder tasks.
class FolderTaskPoster {
public:
    virtual ~FolderTaskPoster() = default;
    virtual void PostRefreshFolder(const SharedPtr<RegisteredFolder>& folder, const std::wstring& path) = 0;
    virtual void PostDeleteFolder(const SharedPtr<RegisteredFolder>& folder, const std::wstring& path) = 0;
    virtual void PostRenameFolder(const SharedPtr<RegisteredFolder>& folder, const std::wstring& oldPath,
                                  const std::wstring& newPath) = 0;
};

// The storage's command thread as the poster.
class CommandThreadPoster final : public FolderTaskPoster {
public:
    explicit CommandThreadPoster(CommandThread& thread) : thread_(thread) {}
    void PostRefreshFolder(const SharedPtr<RegisteredFolder>& folder, const std::wstring& path) override;
    void PostDeleteFolder(const SharedPtr<RegisteredFolder>& folder, const std::wstring& path) override;
    void PostRenameFolder(const SharedPtr<RegisteredFolder>& folder, const std::wstring& oldPath,
                          const std::wstring& newPath) override;

private:
    CommandThread& thread_;
};

// The command thread's side of a storage's settled changes: files go
// straight to the plug-ins of their folder, directories become folder tasks
// of the folder the change was seen in.
class ChangeRouter final : public IChangeNotifiable, private FolderCommandQueue {
public:
    ChangeRouter(FolderTaskPoster& poster, ContentSource& source, FolderInfoManager& folders,
                 const ExclusionRules& rules);

    // Called on the notificator's thread only.
    void OnChange(const PendingChange& change) override;

private:
    void PostRefreshFolder(const std::wstring& path) override;
    void PostDeleteFolder(const std::wstring& path) override;
    void PostRenameFolder(const std::wstring& oldPath, const std::wstring& newPath) override;

    FolderTaskPoster& poster_;
    ChangeDispatcher dispatcher_;
    // The folder of the change being dispatched.
    SharedPtr<RegisteredFolder> folder_;
};

}  // namespace tandem
