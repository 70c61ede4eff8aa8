#include "change_router.h"

#include "command_thread.h"
#include "error.h"

namespace tandem {

void CommandThreadPoster::PostRefreshFolder(const SharedPtr<RegisteredFolder>& folder, const std::wstring& path) {
    thread_.PostRefreshFolder(folder, path);
}

void CommandThreadPoster::PostDeleteFolder(const SharedPtr<RegisteredFolder>& folder, const std::wstring& path) {
    thread_.PostDeleteFolder(folder, path);
}

void CommandThreadPoster::PostRenameFolder(const SharedPtr<RegisteredFolder>& folder, const std::wstring& oldPath,
                                           const std::wstring& newPath) {
    thread_.PostRenameFolder(folder, oldPath, newPath);
}

ChangeRouter::ChangeRouter(FolderTaskPoster& poster, ContentSource& source, FolderInfoManager& folders,
                           const ExclusionRules& rules)
    : poster_(poster), dispatcher_(source, folders, rules, *this) {}

void ChangeRouter::OnChange(const PendingChange& change) {
    if (!change.plugins || change.state < kStateAdded || change.state > kStateRenamed) ThrowHr(E_INVALIDARG);
    ChangeRecord record;
    record.kind = change.directory == 1 ? ChangeKind::Folder : ChangeKind::Content;
    record.action = static_cast<ChangeAction>(change.state);
    record.plugins = change.plugins;
    record.path = change.path;
    record.oldPath = change.oldPath;
    folder_ = change.plugins->Folder();
    struct Reset {
        SharedPtr<RegisteredFolder>& folder;
        ~Reset() { folder.reset(); }
    } reset{folder_};
    dispatcher_.Dispatch(record);
}

void ChangeRouter::PostRefreshFolder(const std::wstring& path) { poster_.PostRefreshFolder(folder_, path); }

void ChangeRouter::PostDeleteFolder(const std::wstring& path) { poster_.PostDeleteFolder(folder_, path); }

void ChangeRouter::PostRenameFolder(const std::wstring& oldPath, const std::wstring& newPath) {
    poster_.PostRenameFolder(folder_, oldPath, newPath);
}

}  // namespace tandem
