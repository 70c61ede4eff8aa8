#include "storage_manager.h"

#include <shlwapi.h>

#include <cstdio>
#include <optional>

#include "error.h"
#include "identity_file.h"
#include "paths.h"
#include "registry.h"
#include "registry_values.h"
#include "storage_types.h"

namespace tandem {

namespace {

std::wstring NormalRoot(const std::wstring& rootPath) {
    if (rootPath.empty()) ThrowHr(E_INVALIDARG);
    return WithTrailingBackslash(rootPath);
}

std::wstring DriveRoot(int drive) {
    wchar_t root[4] = {};
    PathBuildRootW(root, drive);
    return root;
}

}  // namespace

StorageManager::StorageManager(StorageServices services, StorageEventSink* events)
    : services_(std::move(services)), events_(events) {
    Load();
}

void StorageManager::Load() {
    RegKey list = OpenKey(HKEY_LOCAL_MACHINE, kStorageListKey, KEY_READ);
    for (const std::wstring& id : SubKeyNames(list.get())) {
        auto storage = StorageInfo::Load(list.get(), id, services_);
        CSyncLockHolder hold(lock_);
        byRoot_.emplace(storage->RootPath(), storage);
        byId_.emplace(id, storage);
    }
}

std::wstring StorageManager::GenerateId(const std::wstring& root) const {
    DWORD serial = 0;
    if (!GetVolumeInformationW(root.c_str(), nullptr, 0, &serial, nullptr, nullptr, nullptr, 0)) ThrowLastError();
    wchar_t suffix[16];
    swprintf(suffix, 16, L"-%08lX01", static_cast<unsigned long>(serial));
    return NewGuidId() + suffix;
}

SharedPtr<StorageInfo> StorageManager::FindOrCreateStorage(const std::wstring& rootPath, const std::wstring& userId,
                                                           const std::wstring& password) {
    std::wstring root = NormalRoot(rootPath);
    SharedPtr<StorageInfo> registered;
    {
        CSyncLockHolder hold(lock_);
        auto found = byRoot_.find(root);
        if (found != byRoot_.end()) registered = found->second;
    }
    if (registered) {
        if (!registered->CheckCredentials(userId, password)) ThrowHr(E_ACCESSDENIED);
        return registered;
    }
    // Declared after the scope: credentials dropped on any path disconnect as the user.
    ConsoleUserImpersonation user(*services_.tokens);
    SharedPtr<Credentials> credentials;
    if (!userId.empty()) {
        credentials = Credentials::Create(root, userId, password, *services_.network);
        credentials->ConnectShare();
    }
    TnStorageTypes type = StorageTypeOfDrive(GetDriveTypeW(root.c_str()));
    IdentityDirectory(root);
    std::optional<std::wstring> id = ReadIdentity(root);
    if (!id) id = GenerateId(root);
    {
        CSyncLockHolder hold(lock_);
        auto found = byId_.find(*id);
        if (found != byId_.end()) registered = found->second;
    }
    if (registered) {
        credentials.reset();
        return registered;
    }
    return MakeShared<StorageInfo>(root, *id, type, userId, std::move(credentials), services_);
}

void StorageManager::RegisterStorage(const SharedPtr<StorageInfo>& storage) {
    std::wstring root = storage->RootPath();
    IdentityDirectory(root);
    {
        std::optional<ConsoleUserImpersonation> user;
        if (storage->StorageType() == tnStorageType_Remote) user.emplace(*services_.tokens);
        WriteIdentity(root, storage->UniqueID());
    }
    {
        CSyncLockHolder hold(lock_);
        if (byRoot_.count(root) || byId_.count(storage->UniqueID())) return;
        byRoot_.emplace(root, storage);
        byId_.emplace(storage->UniqueID(), storage);
    }
    storage->Save();
    FireStorageEvent(tnStorageEventType_Added, storage);
}

void StorageManager::UnregisterStorage(const SharedPtr<StorageInfo>& storage) {
    FireStorageEvent(tnStorageEventType_Removed, storage);
    std::wstring root = storage->RootPath();
    {
        CSyncLockHolder hold(lock_);
        auto byId = byId_.find(storage->UniqueID());
        if (byId != byId_.end() && byId->second == storage) byId_.erase(byId);
        auto byRoot = byRoot_.find(root);
        if (byRoot == byRoot_.end() || byRoot->second != storage) return;
        byRoot_.erase(byRoot);
    }
    storage->DeleteFromRegistry();
    std::optional<ConsoleUserImpersonation> user;
    if (storage->StorageType() == tnStorageType_Remote) user.emplace(*services_.tokens);
    DeleteIdentity(root);
}

SharedPtr<StorageInfo> StorageManager::FindByRoot(const std::wstring& rootPath) const {
    std::wstring root = NormalRoot(rootPath);
    CSyncLockHolder hold(lock_);
    auto found = byRoot_.find(root);
    if (found == byRoot_.end()) ThrowHr(E_INVALIDARG);
    return found->second;
}

SharedPtr<StorageInfo> StorageManager::FindById(const std::wstring& uniqueId) const {
    CSyncLockHolder hold(lock_);
    auto found = byId_.find(uniqueId);
    if (found == byId_.end()) ThrowHr(E_INVALIDARG);
    return found->second;
}

void StorageManager::ChangeRoot(const SharedPtr<StorageInfo>& storage, const std::wstring& newRoot) {
    std::wstring root = NormalRoot(newRoot);
    CSyncLockHolder hold(lock_);
    auto taken = byRoot_.find(root);
    if (taken != byRoot_.end() && taken->second != storage) ThrowWin32(ERROR_ALREADY_EXISTS);
    auto current = byRoot_.find(storage->RootPath());
    if (current != byRoot_.end() && current->second == storage) byRoot_.erase(current);
    storage->SetRootPath(root);
    byRoot_.emplace(root, storage);
}

std::vector<SharedPtr<StorageInfo>> StorageManager::AllStorages() const {
    CSyncLockHolder hold(lock_);
    std::vector<SharedPtr<StorageInfo>> storages;
    for (const auto& [root, storage] : byRoot_) storages.push_back(storage);
    return storages;
}

std::vector<SharedPtr<StorageInfo>> StorageManager::RemoteStorages() const {
    std::vector<SharedPtr<StorageInfo>> remote;
    for (auto& storage : AllStorages()) {
        if (storage->StorageType() == tnStorageType_Remote) remote.push_back(std::move(storage));
    }
    return remote;
}

void StorageManager::DriveArrived(wchar_t letter, bool forceRefresh) {
    std::wstring root = DriveRoot(letter - L'A');
    UINT driveType = GetDriveTypeW(root.c_str());
    // A letter that is still in the mask but has no volume behind it has not arrived.
    if (driveType == DRIVE_NO_ROOT_DIR) return;
    std::optional<std::wstring> id;
    if (driveType == DRIVE_FIXED) id = ReadIdentity(root);
    if (!id) {
        FindByRoot(root)->Start(forceRefresh);
        return;
    }
    SharedPtr<StorageInfo> storage = FindById(*id);
    if (!EqualsNoCase(storage->RootPath(), root)) {
        storage->Stop();
        ChangeRoot(storage, root);
        storage->Save();
    }
    storage->Start(forceRefresh);
}

void StorageManager::OnDrivesArrived(DWORD driveMask, bool forceRefresh) {
    for (int drive = 0; drive < 26; ++drive) {
        if (driveMask & (1u << drive))
            CatchHr([&] { DriveArrived(static_cast<wchar_t>(L'A' + drive), forceRefresh); });
    }
}

void StorageManager::OnDrivesRemoved(DWORD driveMask) {
    for (int drive = 0; drive < 26; ++drive) {
        if (driveMask & (1u << drive)) CatchHr([&] { FindByRoot(DriveRoot(drive))->Stop(); });
    }
}

void StorageManager::StartRemoteStorages(bool forceRefresh) {
    for (const auto& storage : RemoteStorages()) CatchHr([&] { storage->Start(forceRefresh); });
}

void StorageManager::StopRemoteStorages() {
    for (const auto& storage : RemoteStorages()) CatchHr([&] { storage->Stop(); });
}

void StorageManager::FireStorageEvent(TnStorageEventTypes type, const SharedPtr<StorageInfo>& storage) {
    // A listener's failure does not undo what is announced.
    if (events_) CatchHr([&] { events_->OnStorageEvent(type, storage); });
}

void StorageManager::FireStorageEvent(TnStorageEventTypes type, const std::wstring& uniqueId) {
    FireStorageEvent(type, FindById(uniqueId));
}

}  // namespace tandem
