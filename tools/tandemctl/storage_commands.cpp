#include <algorithm>
#include <string>
#include <vector>

#include "bstr.h"
#include "commands.h"
#include "console.h"

namespace tandem::ctl {
namespace {

std::wstring_view TypeName(TnStorageTypes type) noexcept {
    switch (type) {
        case tnStorageType_Fixed: return L"fixed";
        case tnStorageType_Removable: return L"removable";
        case tnStorageType_Remote: return L"remote";
        case tnStorageType_CDROM: return L"cd-rom";
        case tnStorageType_RAMDisk: return L"ram disk";
        default: return L"unknown";
    }
}

// Overwritten before it is freed: the copy a BSTR needs is zeroed too.
class Password {
public:
    explicit Password(std::wstring text) : text_(std::move(text)), bstr_(text_) {}
    Password(const Password&) = delete;
    Password& operator=(const Password&) = delete;
    ~Password() {
        SecureZeroMemory(text_.data(), text_.size() * sizeof(wchar_t));
        SecureZeroMemory(bstr_.get(), bstr_.length() * sizeof(wchar_t));
    }
    BSTR get() const noexcept { return bstr_.get(); }

private:
    std::wstring text_;
    Bstr bstr_;
};

}  // namespace

ComPtr<ITnStorageManager> ConnectStorageManager() {
    ComPtr<ITnStorageManager> manager;
    Check(CoCreateInstance(CLSID_TnStorageManager, nullptr, CLSCTX_LOCAL_SERVER, IID_ITnStorageManager,
                           manager.put_void()),
          L"cannot reach the tandem service");
    return manager;
}

int StoragesCommand(const ParsedCommand&) {
    ComPtr<ITnStorageInfoList> list;
    Check(ConnectStorageManager()->get_Storages(list.put()), L"cannot list the storages");
    LONG count = 0;
    Check(list->get_count(&count), L"cannot count the storages");
    std::vector<std::vector<std::wstring>> rows{{L"ROOT", L"ID", L"TYPE", L"ENABLED", L"USER"}};
    for (LONG i = 1; i <= count; ++i) {
        ComPtr<ITnStorageInfo> storage;
        Check(list->get_Item(i, storage.put()), L"cannot read storage " + std::to_wstring(i));
        Bstr root, id, user;
        VARIANT_BOOL enabled = VARIANT_FALSE;
        TnStorageTypes type{};
        Check(storage->get_RootPath(root.put()), L"cannot read a storage's root");
        Check(storage->get_UniqueID(id.put()), L"cannot read a storage's id");
        Check(storage->get_StorageType(&type), L"cannot read a storage's type");
        Check(storage->get_Enabled(&enabled), L"cannot read whether a storage is enabled");
        Check(storage->get_UserID(user.put()), L"cannot read a storage's user");
        rows.push_back({root.str(), id.str(), std::wstring(TypeName(type)), enabled ? L"yes" : L"no", user.str()});
    }
    std::vector<size_t> widths(5, 0);
    for (const auto& row : rows)
        for (size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
    for (const auto& row : rows) {
        std::wstring line;
        for (size_t c = 0; c < row.size(); ++c) {
            std::wstring cell = row[c];
            if (c + 1 < row.size()) cell.resize(widths[c] + 2, L' ');
            line += cell;
        }
        Out(line);
    }
    if (count == 0) Out(L"(no storage is known)");
    return 0;
}

int AddStorageCommand(const ParsedCommand& command) {
    const std::wstring& root = command.positionals[0];
    const std::wstring user = command.Value(L"user").value_or(L"");
    const Password password(user.empty() ? std::wstring() : ReadPassword(L"password for " + user + L":"));
    ComPtr<ITnStorageInfo> storage;
    Check(ConnectStorageManager()->AddStorage(Bstr(root).get(), Bstr(user).get(), password.get(), storage.put()),
          L"cannot add the storage " + root);
    Bstr id;
    Check(storage->get_UniqueID(id.put()), L"cannot read the storage's id");
    Out(L"storage " + root + L" added, id " + id.str());
    return 0;
}

int RemoveStorageCommand(const ParsedCommand& command) {
    const std::wstring& root = command.positionals[0];
    Check(ConnectStorageManager()->RemoveStorage(Bstr(root).get()),
          L"cannot remove the storage " + root + L" (is a folder still registered on it?)");
    Out(L"storage " + root + L" removed");
    return 0;
}

}  // namespace tandem::ctl
