#include "command_funcs.h"

#include "command_thread.h"
#include "storage_info.h"
#include "unique_resource.h"

namespace tandem {

namespace {

const std::wstring kNoPath;

// Busy for the duration of a folder command, whatever way it ends.
class BusyScope {
public:
    explicit BusyScope(CommandThread& thread) noexcept : thread_(thread) { thread_.EnterBusy(); }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;
    ~BusyScope() { thread_.LeaveBusy(); }

private:
    CommandThread& thread_;
};

template <class Func>
bool RunFolderCommand(CommandThread& thread, const Func& func) {
    BusyScope busy(thread);
    return thread.Host().RunCommand(thread, func);
}

}  // namespace

const std::wstring& DummyTask::GetPath() const { return kNoPath; }

void DummyTask::Serialize(CommandFuncVisitor& journal) const { journal.VisitDummy(); }

FolderCommandFunc::FolderCommandFunc(SharedPtr<RegisteredFolder> folder, std::wstring path)
    : folder_(std::move(folder)), path_(std::move(path)) {}

bool CommandRegisterFolderFunc::operator()(CommandThread& thread) const { return RunFolderCommand(thread, *this); }

CommandUnRegisterFolderFunc::CommandUnRegisterFolderFunc(std::wstring owner, std::wstring path, bool subTree)
    : owner_(std::move(owner)), path_(std::move(path)), subTree_(subTree) {}

bool CommandUnRegisterFolderFunc::operator()(CommandThread& thread) const { return RunFolderCommand(thread, *this); }

bool CommandDeleteFolderFunc::operator()(CommandThread& thread) const { return RunFolderCommand(thread, *this); }

CommandRenameFolderFunc::CommandRenameFolderFunc(SharedPtr<RegisteredFolder> folder, std::wstring oldPath,
                                                 std::wstring newPath)
    : FolderCommandFunc(std::move(folder), std::move(newPath)), oldPath_(std::move(oldPath)) {}

bool CommandRenameFolderFunc::operator()(CommandThread& thread) const { return RunFolderCommand(thread, *this); }

bool CommandRefreshFolderFunc::operator()(CommandThread& thread) const { return RunFolderCommand(thread, *this); }

CommandUpdateFolderFunc::CommandUpdateFolderFunc(SharedPtr<RegisteredFolder> folder, std::wstring path,
                                                 std::map<LONG, std::wstring> properties)
    : FolderCommandFunc(std::move(folder), std::move(path)), properties_(std::move(properties)) {}

bool CommandUpdateFolderFunc::operator()(CommandThread& thread) const { return RunFolderCommand(thread, *this); }

const std::wstring& ControlFunc::Path() const noexcept { return kNoPath; }

bool StartMonitoringFunc::operator()(CommandThread& thread) const {
    thread.Host().StartMonitoring(thread.Storage(), refresh_);
    return true;
}

bool CheckAccessibilityFunc::operator()(CommandThread& thread) const {
    UniqueHandle root(CreateFileW(thread.Storage().RootPath().c_str(), FILE_LIST_DIRECTORY,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!root) thread.RequestStop(CommandWorker::Main);
    return true;
}

void ShutdownFunc::operator()(CommandThread& thread) const { thread.RequestStop(CommandWorker::Main); }

}  // namespace tandem
