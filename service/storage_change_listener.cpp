#include "storage_change_listener.h"

#include "change_notificators.h"
#include "error.h"

namespace tandem {

CommandThreadPoster StorageTaskPoster::Thread() const {
    const SharedPtr<StorageInfo> storage = storages_().FindById(storageId_);
    CommandThread* const thread = storage ? CommandThreadOf(*storage) : nullptr;
    if (!thread) ThrowHr(E_UNEXPECTED);
    return CommandThreadPoster(*thread);
}

void StorageTaskPoster::PostRefreshFolder(const SharedPtr<RegisteredFolder>& folder, const std::wstring& path) {
    Thread().PostRefreshFolder(folder, path);
}

void StorageTaskPoster::PostDeleteFolder(const SharedPtr<RegisteredFolder>& folder, const std::wstring& path) {
    Thread().PostDeleteFolder(folder, path);
}

void StorageTaskPoster::PostRenameFolder(const SharedPtr<RegisteredFolder>& folder, const std::wstring& oldPath,
                                         const std::wstring& newPath) {
    Thread().PostRenameFolder(folder, oldPath, newPath);
}

}  // namespace tandem
