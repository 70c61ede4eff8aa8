#include "storage_info.h"

#include "error.h"
#include "registry.h"
#include "registry_values.h"

namespace tandem {

StorageInfo::StorageInfo(std::wstring rootPath, std::wstring uniqueId, TnStorageTypes type, std::wstring userId,
                         SharedPtr<Credentials> credentials, StorageServices services)
    : uniqueId_(std::move(uniqueId)),
      type_(type),
      services_(std::move(services)),
      rootPath_(std::move(rootPath)),
      userId_(std::move(userId)),
      credentials_(std::move(credentials)) {
    if (services_.workers) worker_ = services_.workers(*this);
}

StorageInfo::~StorageInfo() {
    worker_.reset();
    if (credentials_ && credentials_->IsConnected()) {
        ConsoleUserImpersonation user(*services_.tokens);
        credentials_.reset();
    }
}

SharedPtr<StorageInfo> StorageInfo::Load(HKEY storageList, const std::wstring& uniqueId, StorageServices services) {
    RegKey key = OpenKey(storageList, uniqueId);
    std::wstring root = ReadString(key.get(), L"DriveString");
    auto type = static_cast<TnStorageTypes>(ReadDword(key.get(), L"Type", tnStorageType_Unknown,
                                                      tnStorageType_Fixed, tnStorageType_RAMDisk));
    std::wstring userId;
    if (ValueType(key.get(), L"UserID") == REG_SZ) userId = ReadString(key.get(), L"UserID");
    SharedPtr<Credentials> credentials;
    if (auto token = TryReadBinary(key.get(), L"Token"))
        credentials = MakeShared<Credentials>(std::move(*token), *services.network);
    return MakeShared<StorageInfo>(std::move(root), uniqueId, type, std::move(userId), std::move(credentials),
                                   std::move(services));
}

std::wstring StorageInfo::RootPath() const {
    CSyncLockHolder hold(lock_);
    return rootPath_;
}

void StorageInfo::SetRootPath(std::wstring rootPath) {
    CSyncLockHolder hold(lock_);
    rootPath_ = std::move(rootPath);
}

std::wstring StorageInfo::UserID() const {
    CSyncLockHolder hold(lock_);
    return userId_;
}

SharedPtr<Credentials> StorageInfo::CurrentCredentials() const {
    CSyncLockHolder hold(lock_);
    return credentials_;
}

bool StorageInfo::HasCredentials() const { return CurrentCredentials() != nullptr; }

std::vector<BYTE> StorageInfo::Token() const {
    auto credentials = CurrentCredentials();
    return credentials ? credentials->Token() : std::vector<BYTE>();
}

bool StorageInfo::IsShareConnected() const {
    auto credentials = CurrentCredentials();
    return credentials && credentials->IsConnected();
}

HANDLE StorageInfo::RootHandle() const {
    CSyncLockHolder hold(lock_);
    return rootHandle_.get();
}

void StorageInfo::SetRootHandle(UniqueHandle handle) {
    UniqueHandle old;
    {
        CSyncLockHolder hold(lock_);
        old = std::exchange(rootHandle_, std::move(handle));
    }
}

void StorageInfo::ConnectShare() {
    if (auto credentials = CurrentCredentials()) credentials->ConnectShare();
}

void StorageInfo::DisconnectShare() {
    if (auto credentials = CurrentCredentials()) credentials->DisconnectShare();
}

void StorageInfo::Start(bool refreshOnConnect) {
    if (refreshOnConnect) refreshOnConnect_.store(true);
    if (worker_) worker_->Start();
}

void StorageInfo::Stop() {
    if (worker_) worker_->Stop();
}

void StorageInfo::Save() const {
    RegKey list = OpenKey(HKEY_LOCAL_MACHINE, kStorageListKey, kKeyReadWrite);
    RegDeleteTreeW(list.get(), uniqueId_.c_str());
    RegKey key = CreateKey(list.get(), uniqueId_, kKeyReadWrite);
    WriteString(key.get(), L"DriveString", RootPath());
    WriteDword(key.get(), L"Type", static_cast<DWORD>(type_));
    if (auto credentials = CurrentCredentials()) {
        WriteString(key.get(), L"UserID", UserID());
        WriteBinary(key.get(), L"Token", credentials->Token());
    }
}

void StorageInfo::DeleteFromRegistry() const {
    RegKey list = OpenKey(HKEY_LOCAL_MACHINE, kStorageListKey, kKeyReadWrite);
    CheckWin32(RegDeleteTreeW(list.get(), uniqueId_.c_str()));
}

void StorageInfo::SetCredentials(const std::wstring& userId, const std::wstring& password) {
    ConsoleUserImpersonation user(*services_.tokens);
    SharedPtr<Credentials> replacement;
    if (!userId.empty())
        replacement = Credentials::Create(RootPath(), userId, password, *services_.network);
    SharedPtr<Credentials> old;
    {
        CSyncLockHolder hold(lock_);
        userId_ = userId;
        old = std::exchange(credentials_, std::move(replacement));
    }
}

bool StorageInfo::CheckCredentials(const std::wstring& userId, const std::wstring& password) const {
    auto credentials = CurrentCredentials();
    if (!credentials) return userId.empty() && password.empty();
    ConsoleUserImpersonation user(*services_.tokens);
    return credentials->Matches(userId, password);
}

}  // namespace tandem
