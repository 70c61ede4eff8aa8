#include "registered_folder.h"

#include <cstdlib>
#include <vector>

#include "error.h"
#include "folder_keys.h"
#include "paths.h"
#include "registry.h"
#include "registry_values.h"

namespace tandem {

namespace {

void DeleteValueIfPresent(HKEY key, const wchar_t* name) {
    const LONG error = RegDeleteValueW(key, name);
    if (error != ERROR_FILE_NOT_FOUND) CheckWin32(error);
}

std::vector<std::wstring> ValueNames(HKEY key) {
    std::vector<std::wstring> names;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD length = 256;
        const LONG error = RegEnumValueW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (error == ERROR_NO_MORE_ITEMS) return names;
        CheckWin32(error);
        names.emplace_back(name, length);
    }
}

// The new values are written before the stale ones go, so a reader never
// finds the sub-key emptier than either the old or the new map.
void WriteDefaults(HKEY folderKey, const std::map<LONG, std::wstring>& defaults) {
    if (defaults.empty()) {
        const LONG error = RegDeleteTreeW(folderKey, L"Default");
        if (error != ERROR_FILE_NOT_FOUND) CheckWin32(error);
        return;
    }
    RegKey key = CreateKey(folderKey, L"Default", kKeyReadWrite);
    std::set<std::wstring> written;
    for (const auto& [id, value] : defaults) {
        written.insert(std::to_wstring(id));
        WriteString(key.get(), std::to_wstring(id).c_str(), value);
    }
    for (const std::wstring& name : ValueNames(key.get())) {
        if (!written.contains(name)) DeleteValueIfPresent(key.get(), name.c_str());
    }
}

}  // namespace

RegisteredFolder::RegisteredFolder(std::wstring folderId, const FolderMonitorFactory& monitors)
    : folderId_(std::move(folderId)) {
    if (monitors) monitor_ = monitors(*this);
}

std::map<LONG, std::wstring> ReadDefaultProperties(HKEY defaultKey) {
    std::map<LONG, std::wstring> properties;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD length = 256;
        DWORD type = 0;
        DWORD size = 0;
        LONG error = RegEnumValueW(defaultKey, index, name, &length, nullptr, &type, nullptr, &size);
        if (error == ERROR_NO_MORE_ITEMS) return properties;
        CheckWin32(error);
        if ((type != REG_SZ && type != REG_EXPAND_SZ) || size == 0) ThrowWin32(ERROR_INVALID_DATA);
        properties.emplace(static_cast<LONG>(_wtoi(name)), ReadString(defaultKey, name));
    }
}

SharedPtr<RegisteredFolder> RegisteredFolder::Load(HKEY folderList, const std::wstring& folderId,
                                                   const FolderMonitorFactory& monitors) {
    RegKey key = OpenKey(folderList, folderId);
    auto folder = MakeShared<RegisteredFolder>(folderId, monitors);
    folder->SetStorageID(ReadString(key.get(), L"StorageID"));
    folder->RelativePath = WithTrailingBackslash(ReadString(key.get(), L"RelativePath"));
    folder->SetOwner(ReadString(key.get(), L"Owner"));
    folder->Behavior = static_cast<LONG>(ReadDword(key.get(), L"Behavior", zephfwBehaviorMonitor, 0, 2));
    folder->Refresh = static_cast<LONG>(ReadDword(key.get(), L"Refresh", zephfwStartupSilent, 0, 2));
    folder->WatchSubTree = ReadDword(key.get(), L"WatchSubTree", 1, 0, 1) != 0;
    if (auto bytes = TryReadBinary(key.get(), L"ObjectCategories"))
        folder->SetObjectCategories(std::set<LONG>(bytes->begin(), bytes->end()));
    if (auto defaults = TryOpenKey(key.get(), L"Default")) folder->SetDefaults(ReadDefaultProperties(defaults->get()));
    return folder;
}

std::wstring RegisteredFolder::StorageID() const {
    CSyncLockHolder hold(fieldsLock_);
    return storageId_;
}

void RegisteredFolder::SetStorageID(std::wstring storageId) {
    CSyncLockHolder hold(fieldsLock_);
    storageId_ = std::move(storageId);
}

std::wstring RegisteredFolder::Owner() const {
    CSyncLockHolder hold(fieldsLock_);
    return owner_;
}

void RegisteredFolder::SetOwner(std::wstring owner) {
    CSyncLockHolder hold(fieldsLock_);
    owner_ = std::move(owner);
}

std::set<LONG> RegisteredFolder::ObjectCategories() const {
    CSyncLockHolder hold(fieldsLock_);
    return objectCategories_;
}

void RegisteredFolder::SetObjectCategories(std::set<LONG> categories) {
    CSyncLockHolder hold(fieldsLock_);
    objectCategories_ = std::move(categories);
}

bool RegisteredFolder::AllowsCategory(LONG category) const {
    CSyncLockHolder hold(fieldsLock_);
    return objectCategories_.empty() || objectCategories_.contains(category);
}

std::map<LONG, std::wstring> RegisteredFolder::Defaults() const {
    CSyncLockHolder hold(fieldsLock_);
    return defaults_;
}

void RegisteredFolder::SetDefaults(std::map<LONG, std::wstring> defaults) {
    CSyncLockHolder hold(fieldsLock_);
    defaults_ = std::move(defaults);
}

std::wstring RegisteredFolder::FullPath(const std::wstring& rootPath) const {
    return WithoutTrailingBackslash(rootPath + RelativePath);
}

std::wstring RegisteredFolder::CommandPath(const std::wstring& rootPath) const { return rootPath + RelativePath; }

void RegisteredFolder::Save() const {
    CSyncLockHolder hold(saveLock_);
    RegKey list = OpenKey(HKEY_LOCAL_MACHINE, kFolderListKey, kKeyReadWrite);
    const bool existed = KeyExists(list.get(), folderId_);
    RegKey key = CreateKey(list.get(), folderId_, kKeyReadWrite);
    // A key this save made is not left behind without its required values.
    const HRESULT hr = CatchHr([&] { WriteValues(key.get()); });
    if (FAILED(hr) && !existed) RegDeleteTreeW(list.get(), folderId_.c_str());
    CheckHr(hr);
}

void RegisteredFolder::WriteValues(HKEY key) const {
    WriteString(key, L"StorageID", StorageID());
    WriteString(key, L"RelativePath", RelativePath);
    WriteString(key, L"Owner", Owner());
    WriteDword(key, L"Behavior", static_cast<DWORD>(Behavior.load()));
    WriteDword(key, L"Refresh", static_cast<DWORD>(Refresh.load()));
    WriteDword(key, L"WatchSubTree", WatchSubTree ? 1 : 0);
    const std::set<LONG> categories = ObjectCategories();
    if (categories.empty()) {
        DeleteValueIfPresent(key, L"ObjectCategories");
    } else {
        std::vector<BYTE> bytes;
        for (LONG category : categories) bytes.push_back(static_cast<BYTE>(category & 0xFF));
        WriteBinary(key, L"ObjectCategories", bytes);
    }
    WriteDefaults(key, Defaults());
}

void RegisteredFolder::DeleteFromRegistry() const {
    RegKey list = OpenKey(HKEY_LOCAL_MACHINE, kFolderListKey, kKeyReadWrite);
    CheckWin32(RegDeleteTreeW(list.get(), folderId_.c_str()));
}

void RegisteredFolder::StartMonitor() {
    if (monitor_) monitor_->Start();
}

void RegisteredFolder::StopMonitor() {
    if (monitor_) monitor_->Stop();
}

bool RegisteredFolder::IsMonitorRunning() const { return monitor_ && monitor_->IsRunning(); }

}  // namespace tandem
