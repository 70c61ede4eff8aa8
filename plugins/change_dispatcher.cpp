#include "change_dispatcher.h"

#include "error.h"
#include "file_info_builder.h"
#include "tandem_content.h"
#include "tandem_folder.h"

namespace tandem {
namespace {

// The file may be gone or unreadable by now: its change is simply dropped.
template <class F>
void IgnoringFailures(F&& f) {
    CatchHr(std::forward<F>(f));
}

}  // namespace

ChangeDispatcher::ChangeDispatcher(ContentSource& source, FolderInfoManager& folders, const ExclusionRules& rules,
                                   FolderCommandQueue& queue)
    : source_(source),
      folders_(folders),
      fileExclusions_(rules.files),
      queue_(queue),
      services_(MakePluginObjectServices(source, folders, rules.files)) {}

void ChangeDispatcher::Dispatch(const ChangeRecord& change) {
    if (!change.plugins) ThrowHr(E_INVALIDARG);
    if (change.kind == ChangeKind::Content)
        DispatchContent(change);
    else
        DispatchFolder(change);
}

void ChangeDispatcher::DispatchContent(const ChangeRecord& change) {
    const TandemPlugin& plugins = *change.plugins;
    switch (change.action) {
    case ChangeAction::Added:
    case ChangeAction::Modified:
        return ImportContent(plugins, change.path);
    case ChangeAction::Removed:
        return IgnoringFailures([&] { plugins.DeleteContent(change.path); });
    case ChangeAction::Renamed:
        return RenameContent(plugins, change.oldPath, change.path);
    }
}

void ChangeDispatcher::DispatchFolder(const ChangeRecord& change) {
    switch (change.action) {
    case ChangeAction::Added:
        ImportFolder(*change.plugins, change.path);
        return queue_.PostRefreshFolder(change.path);
    case ChangeAction::Modified:
        return;
    case ChangeAction::Removed:
        return queue_.PostDeleteFolder(change.path);
    case ChangeAction::Renamed:
        return queue_.PostRenameFolder(change.oldPath, change.path);
    }
}

void ChangeDispatcher::ImportContent(const TandemPlugin& plugins, const std::wstring& path) {
    const ProtectedAudioScope audio(source_);
    IgnoringFailures([&] {
        if (const ComPtr<ITandemContent> content = VisibleContent(plugins, path)) plugins.ImportContent(content.get());
    });
}

// A name leaving the exclusions is a new file to the plug-ins, a name
// entering them a deleted one.
void ChangeDispatcher::RenameContent(const TandemPlugin& plugins, const std::wstring& oldPath,
                                     const std::wstring& newPath) {
    if (IsFileExcluded(fileExclusions_, oldPath)) return ImportContent(plugins, newPath);
    if (IsFileExcluded(fileExclusions_, newPath))
        return IgnoringFailures([&] { plugins.DeleteContent(oldPath); });
    const ProtectedAudioScope audio(source_);
    IgnoringFailures([&] {
        if (const ComPtr<ITandemContent> content = VisibleContent(plugins, newPath))
            plugins.RenameContent(oldPath, content.get());
    });
}

void ChangeDispatcher::ImportFolder(const TandemPlugin& plugins, const std::wstring& path) {
    IgnoringFailures([&] {
        FileInfoPtr info = folders_.Get(path);
        if (info->IsHidden()) return;
        const ComPtr<ITandemFolder> folder = MakeTandemFolder(std::move(info), plugins.Folder(), services_);
        plugins.ImportFolder(folder.get());
    });
}

ComPtr<ITandemContent> ChangeDispatcher::VisibleContent(const TandemPlugin& plugins, const std::wstring& path) {
    ContentInfoPtr info = BuildContentInfo(source_, folders_, fileExclusions_, path);
    if (info->IsHidden() || !PassesCategories(plugins.Folder().get(), info->Category())) return nullptr;
    return MakeTandemContent(std::move(info), services_);
}

}  // namespace tandem
