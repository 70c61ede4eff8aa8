#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "change_router.h"
#include "storage_manager.h"

namespace tandem {

// Posts to the command thread of the storage with this id, looked up for each
// task: a notificator outlives the storage object it was first made for (the
// same storage removed and added again keeps its id), so it must not hold on
// to that storage's thread. E_UNEXPECTED while the storage is unknown or has
// no command thread.
class StorageTaskPoster final : public FolderTaskPoster {
public:
    StorageTaskPoster(std::function<StorageManager&()> storages, std::wstring storageId)
        : storages_(std::move(storages)), storageId_(std::move(storageId)) {}

    void PostRefreshFolder(const SharedPtr<RegisteredFolder>& folder, const std::wstring& path) override;
    void PostDeleteFolder(const SharedPtr<RegisteredFolder>& folder, const std::wstring& path) override;
    void PostRenameFolder(const SharedPtr<RegisteredFolder>& folder, const std::wstring& oldPath,
                          const std::wstring& newPath) override;

private:
    CommandThreadPoster Thread() const;

    std::function<StorageManager&()> storages_;
    const std::wstring storageId_;
};

// A storage's change listener: the router together with the poster it uses.
class StorageChangeListener final : public IChangeNotifiable {
public:
    StorageChangeListener(std::function<StorageManager&()> storages, const std::wstring& storageId,
                          ContentSource& source, FolderInfoManager& folders, const ExclusionRules& rules)
        : poster_(std::move(storages), storageId), router_(poster_, source, folders, rules) {}

    void OnChange(const PendingChange& change) override { router_.OnChange(change); }

private:
    StorageTaskPoster poster_;
    ChangeRouter router_;
};

}  // namespace tandem
