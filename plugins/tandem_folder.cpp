#include "tandem_folder.h"

#include "bstr.h"
#include "error.h"
#include "file_info_builder.h"
#include "file_info_list.h"
#include "paths.h"
#include "tandem_content.h"

namespace tandem {

CTandemFolder::CTandemFolder(FileInfoPtr info, SharedPtr<RegisteredFolder> folder, PluginObjectServicesPtr services)
    : info_(std::move(info)),
      folder_(std::move(folder)),
      services_(std::move(services)),
      path_(WithoutTrailingBackslash(info_->FullPath())) {}

STDMETHODIMP CTandemFolder::get_Path(BSTR* out) { return out ? AllocBstr(path_, out) : E_POINTER; }

STDMETHODIMP CTandemFolder::get_CreationTime(DATE* out) { return CopyTime(info_->Times().creation, out); }

STDMETHODIMP CTandemFolder::get_LastWriteTime(DATE* out) { return CopyTime(info_->Times().lastWrite, out); }

STDMETHODIMP CTandemFolder::get_LastAccessTime(DATE* out) { return CopyTime(info_->Times().lastAccess, out); }

STDMETHODIMP CTandemFolder::get_Hidden(VARIANT_BOOL* out) {
    if (!out) return E_POINTER;
    *out = info_->IsHidden() ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

STDMETHODIMP CTandemFolder::get_Name(BSTR* out) {
    return out ? AllocBstr(WithoutTrailingBackslash(info_->Name()), out) : E_POINTER;
}

STDMETHODIMP CTandemFolder::get_SubFolders(ITandemFolderList** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    return CatchHr([&] {
        CSyncLockHolder hold(lock_);
        BuildListsLocked();
        return subFolders_.copy_to(out);
    });
}

STDMETHODIMP CTandemFolder::get_SubContents(ITandemContentList** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    return CatchHr([&] {
        CSyncLockHolder hold(lock_);
        BuildListsLocked();
        return subContents_.copy_to(out);
    });
}

// Both lists or neither: a failed listing leaves them unbuilt for the next request.
void CTandemFolder::BuildListsLocked() {
    if (subFolders_) return;
    const DirectoryListing listing =
        ListDirectory(services_->source, services_->folders, services_->fileExclusions, info_);
    const bool subTree = !folder_ || folder_->WatchSubTree;
    CTandemFolderList::Items folders;
    for (const FileInfoPtr& entry : listing.folders)
        if (subTree && !entry->IsHidden()) folders.push_back(MakeTandemFolder(entry, folder_, services_));
    CTandemContentList::Items contents;
    for (const ContentInfoPtr& entry : listing.contents)
        if (!entry->IsHidden() && PassesCategories(folder_.get(), entry->Category()))
            contents.push_back(MakeTandemContent(entry, services_));
    ComPtr<ITandemFolderList> folderList = MakeComObject<CTandemFolderList>(std::move(folders)).get();
    subContents_ = MakeComObject<CTandemContentList>(std::move(contents)).get();
    subFolders_ = std::move(folderList);
}

ComPtr<ITandemFolder> MakeTandemFolder(FileInfoPtr info, SharedPtr<RegisteredFolder> folder,
                                       PluginObjectServicesPtr services) {
    return MakeComObject<CTandemFolder>(std::move(info), std::move(folder), std::move(services)).get();
}

}  // namespace tandem
