#include "registered_folder.h"

#include <cstdlib>
#include <vector>

#include "error.h"
#include "folder_keys.h"
#include "paths.h"
#include "registry.h"
#include "registry_values.h"

namespace tandem {

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
    folder->StorageID = ReadString(key.get(), L"StorageID");
    folder->RelativePath = WithTrailingBackslash(ReadString(key.get(), L"RelativePath"));
    folder->Owner = ReadString(key.get(), L"Owner");
    folder->Behavior = static_cast<LONG>(ReadDword(key.get(), L"Behavior", zephfwBehaviorMonitor, 0, 2));
    folder->Refresh = static_cast<LONG>(ReadDword(key.get(), L"Refresh", zephfwStartupSilent, 0, 2));
    folder->WatchSubTree = ReadDword(key.get(), L"WatchSubTree", 1, 0, 1) != 0;
    if (auto bytes = TryReadBinary(key.get(), L"ObjectCategories")) {
        for (BYTE category : *bytes) folder->ObjectCategories.insert(category);
    }
    if (auto defaults = TryOpenKey(key.get(), L"Default")) folder->Defaults = ReadDefaultProperties(defaults->get());
    return folder;
}

std::wstring RegisteredFolder::FullPath(const std::wstring& rootPath) const {
    return WithoutTrailingBackslash(rootPath + RelativePath);
}

std::wstring RegisteredFolder::CommandPath(const std::wstring& rootPath) const { return rootPath + RelativePath; }

void RegisteredFolder::Save() const {
    RegKey list = OpenKey(HKEY_LOCAL_MACHINE, kFolderListKey, kKeyReadWrite);
    RegDeleteTreeW(list.get(), folderId_.c_str());
    RegKey key = CreateKey(list.get(), folderId_, kKeyReadWrite);
    WriteString(key.get(), L"StorageID", StorageID);
    WriteString(key.get(), L"RelativePath", RelativePath);
    WriteString(key.get(), L"Owner", Owner);
    WriteDword(key.get(), L"Behavior", static_cast<DWORD>(Behavior));
    WriteDword(key.get(), L"Refresh", static_cast<DWORD>(Refresh));
    WriteDword(key.get(), L"WatchSubTree", WatchSubTree ? 1 : 0);
    if (!ObjectCategories.empty()) {
        std::vector<BYTE> bytes;
        for (LONG category : ObjectCategories) bytes.push_back(static_cast<BYTE>(category & 0xFF));
        WriteBinary(key.get(), L"ObjectCategories", bytes);
    }
    if (!Defaults.empty()) {
        RegKey defaults = CreateKey(key.get(), L"Default", kKeyReadWrite);
        for (const auto& [id, value] : Defaults) WriteString(defaults.get(), std::to_wstring(id).c_str(), value);
    }
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
