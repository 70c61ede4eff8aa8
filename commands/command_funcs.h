#pragma once

#include <windows.h>

#include <map>
#include <string>

#include "command_task.h"
#include "registered_folder.h"
#include "shared_ptr.h"

namespace tandem {

// The function objects the workers run. Paths are full paths ending with a
// backslash. The six folder commands hold the command thread busy while
// their body (the plug-in work, CommandThreadHost) runs.

class FolderCommandFunc {
public:
    FolderCommandFunc(SharedPtr<RegisteredFolder> folder, std::wstring path);
    const std::wstring& Path() const noexcept { return path_; }
    // Read from the folder at every call: the setting may change while queued.
    bool SubTree() const noexcept { return folder_->WatchSubTree; }
    const SharedPtr<RegisteredFolder>& Folder() const noexcept { return folder_; }

private:
    SharedPtr<RegisteredFolder> folder_;
    std::wstring path_;
};

class CommandRegisterFolderFunc : public FolderCommandFunc {
public:
    static constexpr LONG kKind = kTaskRegister;
    using FolderCommandFunc::FolderCommandFunc;
    bool operator()(CommandThread& thread) const;
};

class CommandUnRegisterFolderFunc {
public:
    static constexpr LONG kKind = kTaskUnRegister;
    CommandUnRegisterFolderFunc(std::wstring owner, std::wstring path, bool subTree);
    bool operator()(CommandThread& thread) const;
    const std::wstring& Owner() const noexcept { return owner_; }
    const std::wstring& Path() const noexcept { return path_; }
    bool SubTree() const noexcept { return subTree_; }

private:
    std::wstring owner_;
    std::wstring path_;
    bool subTree_;
};

class CommandDeleteFolderFunc : public FolderCommandFunc {
public:
    static constexpr LONG kKind = kTaskDelete;
    using FolderCommandFunc::FolderCommandFunc;
    bool operator()(CommandThread& thread) const;
};

// Its path is the new one, so later coalescing compares against the new name.
class CommandRenameFolderFunc : public FolderCommandFunc {
public:
    static constexpr LONG kKind = kTaskRename;
    CommandRenameFolderFunc(SharedPtr<RegisteredFolder> folder, std::wstring oldPath, std::wstring newPath);
    bool operator()(CommandThread& thread) const;
    const std::wstring& OldPath() const noexcept { return oldPath_; }

private:
    std::wstring oldPath_;
};

class CommandRefreshFolderFunc : public FolderCommandFunc {
public:
    static constexpr LONG kKind = kTaskRefresh;
    using FolderCommandFunc::FolderCommandFunc;
    bool operator()(CommandThread& thread) const;
};

class CommandUpdateFolderFunc : public FolderCommandFunc {
public:
    static constexpr LONG kKind = kTaskUpdate;
    CommandUpdateFolderFunc(SharedPtr<RegisteredFolder> folder, std::wstring path,
                            std::map<LONG, std::wstring> properties);
    bool operator()(CommandThread& thread) const;
    const std::map<LONG, std::wstring>& Properties() const noexcept { return properties_; }

private:
    std::map<LONG, std::wstring> properties_;
};

class ControlFunc {
public:
    static constexpr LONG kKind = kTaskControl;
    const std::wstring& Path() const noexcept;
    bool SubTree() const noexcept { return false; }
};

class StartMonitoringFunc : public ControlFunc {
public:
    explicit StartMonitoringFunc(LONG refresh) noexcept : refresh_(refresh) {}
    bool operator()(CommandThread& thread) const;
    LONG Refresh() const noexcept { return refresh_; }

private:
    LONG refresh_;
};

// Stops the main worker when the storage root cannot be opened any more.
class CheckAccessibilityFunc : public ControlFunc {
public:
    bool operator()(CommandThread& thread) const;
};

class ShutdownFunc : public ControlFunc {
public:
    void operator()(CommandThread& thread) const;
};

// Receives a task's parameters: the journal writes them, tests read them.
class CommandFuncVisitor {
public:
    virtual ~CommandFuncVisitor() = default;
    virtual void Visit(const CommandRegisterFolderFunc& func) = 0;
    virtual void Visit(const CommandUnRegisterFolderFunc& func) = 0;
    virtual void Visit(const CommandDeleteFolderFunc& func) = 0;
    virtual void Visit(const CommandRenameFolderFunc& func) = 0;
    virtual void Visit(const CommandRefreshFolderFunc& func) = 0;
    virtual void Visit(const CommandUpdateFolderFunc& func) = 0;
    virtual void Visit(const StartMonitoringFunc& func) = 0;
    virtual void Visit(const CheckAccessibilityFunc& func) = 0;
    virtual void Visit(const ShutdownFunc& func) = 0;
    virtual void VisitDummy() = 0;
};

template <class Func>
void AsyncFunctionTask<Func>::Serialize(CommandFuncVisitor& journal) const {
    journal.Visit(func_);
}

}  // namespace tandem
