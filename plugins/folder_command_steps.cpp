#include "folder_command_steps.h"

#include "error.h"
#include "paths.h"
#include "strings.h"
#include "tandem_folder.h"

namespace tandem {
namespace {

// Hands the command's notifier to each plug-in and counts the finished ones.
class NotifierProgress : public PluginProgress {
public:
    explicit NotifierProgress(CTandemProgressNotifier& notifier) noexcept : notifier_(notifier) {}
    ComPtr<ITandemProgressNotifier> Notifier() override { return &notifier_; }
    void Step() override { notifier_.StepDone(); }

private:
    CTandemProgressNotifier& notifier_;
};

// Announces the folder busy for its scope.
class BusyScope {
public:
    BusyScope(FolderBusyEvents* events, SharedPtr<RegisteredFolder> folder) : events_(events), folder_(folder) {
        if (events_) events_->OnFolderBusy(folder_, true);
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;
    ~BusyScope() {
        if (events_) CatchHr([&] { events_->OnFolderBusy(folder_, false); });
    }

private:
    FolderBusyEvents* events_;
    SharedPtr<RegisteredFolder> folder_;
};

// The sets are built from the process-wide snapshot, so it tells their size.
LONG PluginCount() { return static_cast<LONG>(PluginManager::Instance()->Classes().size()); }

// The unregistered folder below its storage root, as the plug-in set records it.
std::wstring RelativeTo(const std::wstring& rootPath, const std::wstring& path) {
    if (path.size() >= rootPath.size() && EqualsNoCase(std::wstring_view(path).substr(0, rootPath.size()), rootPath))
        return WithTrailingBackslash(path.substr(rootPath.size()));
    return WithTrailingBackslash(SplitRoot(path).relative);
}

}  // namespace

FolderCommandSteps::FolderCommandSteps(ContentSource& source, FolderInfoManager& folders, const ExclusionRules& rules,
                                       SharedPtr<FolderBusyEvents> busy, SharedPtr<FolderProgressEvents> progress)
    : source_(source),
      folders_(folders),
      services_(MakePluginObjectServices(source, folders, rules.files)),
      busy_(std::move(busy)),
      progress_(std::move(progress)) {}

bool FolderCommandSteps::RegisterFolder(const SharedPtr<RegisteredFolder>& folder, const std::wstring& path) {
    const auto set = TandemPlugin::ForFolder(folder);
    const ComPtr<ITandemFolder> object = VisibleFolder(*set, WithoutTrailingBackslash(path));
    if (!object) return true;
    return AllSucceeded(set->ImportFolder(object.get()));
}

bool FolderCommandSteps::UnregisterFolder(const std::wstring& storageId, const std::wstring& rootPath,
                                          const std::wstring& owner, const std::wstring& path, bool subTree,
                                          CTandemProgressNotifier& notifier) {
    const auto set = TandemPlugin::ForUnregistering(storageId, RelativeTo(rootPath, path), owner, {});
    set->Folder()->WatchSubTree = subTree;
    return DeleteWith(*set, WithoutTrailingBackslash(path), notifier);
}

bool FolderCommandSteps::DeleteFolder(const SharedPtr<RegisteredFolder>& folder, const std::wstring& path,
                                      CTandemProgressNotifier& notifier) {
    const auto set = TandemPlugin::ForFolder(folder);
    const BusyScope busy(busy_.get(), folder);
    return DeleteWith(*set, WithoutTrailingBackslash(path), notifier);
}

bool FolderCommandSteps::RenameFolder(const SharedPtr<RegisteredFolder>& folder, const std::wstring& oldPath,
                                      const std::wstring& newPath, CTandemProgressNotifier& notifier) {
    const auto set = TandemPlugin::ForFolder(folder);
    const std::wstring oldText = WithoutTrailingBackslash(oldPath);
    folders_.DropUnder(oldText);
    const ComPtr<ITandemFolder> object = VisibleFolder(*set, WithoutTrailingBackslash(newPath));
    if (!object) return true;
    const BusyScope busy(busy_.get(), folder);
    return WithProgress(*set, tnFolderOperationType_Rename, notifier, [&](PluginProgress* progress) {
        return set->RenameFolder(oldText, object.get(), progress);
    });
}

bool FolderCommandSteps::RefreshFolder(const SharedPtr<RegisteredFolder>& folder, const std::wstring& path,
                                       CTandemProgressNotifier& notifier) {
    const auto set = TandemPlugin::ForFolder(folder);
    const ProtectedAudioScope audio(source_);
    const std::wstring text = WithoutTrailingBackslash(path);
    folders_.DropUnder(text);
    const ComPtr<ITandemFolder> object = VisibleFolder(*set, text);
    if (!object) return true;
    const BusyScope busy(busy_.get(), folder);
    return WithProgress(*set, tnFolderOperationType_Refresh, notifier,
                        [&](PluginProgress* progress) { return set->RefreshFolder(object.get(), progress); });
}

bool FolderCommandSteps::UpdateFolder(const SharedPtr<RegisteredFolder>& folder, const std::wstring& path,
                                      const std::map<LONG, std::wstring>& properties,
                                      CTandemProgressNotifier& notifier) {
    const auto set = TandemPlugin::ForFolder(folder);
    const ProtectedAudioScope audio(source_);
    const ComPtr<ITandemFolder> object = VisibleFolder(*set, WithoutTrailingBackslash(path));
    if (!object) return true;
    const BusyScope busy(busy_.get(), folder);
    return WithProgress(*set, tnFolderOperationType_Update, notifier, [&](PluginProgress* progress) {
        return set->UpdateFolder(object.get(), properties, progress);
    });
}

// An abort of this command that came before its operation started is kept
// by the notifier and announced by StartOperation.
template <class Call>
bool FolderCommandSteps::WithProgress(const TandemPlugin& set, TnFolderOperationTypes operation,
                                      CTandemProgressNotifier& notifier, Call call) {
    notifier.StartOperation(progress_ ? progress_->ForFolder(set.Folder()) : nullptr, operation,
                            PluginCount());
    NotifierProgress progress(notifier);
    return AllSucceeded(call(&progress));
}

bool FolderCommandSteps::DeleteWith(const TandemPlugin& set, const std::wstring& path,
                                    CTandemProgressNotifier& notifier) {
    folders_.DropUnder(path);
    return WithProgress(set, tnFolderOperationType_Delete, notifier,
                        [&](PluginProgress* progress) { return set.DeleteFolder(path, progress); });
}

// Null when the folder or one of its ancestors is hidden.
ComPtr<ITandemFolder> FolderCommandSteps::VisibleFolder(const TandemPlugin& set, const std::wstring& path) {
    FileInfoPtr info = folders_.Get(path);
    if (info->IsHidden()) return nullptr;
    return MakeTandemFolder(std::move(info), set.Folder(), services_);
}

}  // namespace tandem
