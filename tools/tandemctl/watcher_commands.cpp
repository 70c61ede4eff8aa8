#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "bstr.h"
#include "commands.h"
#include "console.h"
#include "safe_array.h"
#include "variant.h"

namespace tandem::ctl {
namespace {

// A path as the service keeps it: full, without a trailing backslash but for a drive root.
std::wstring FullPath(const std::wstring& path) {
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) throw CommandError(L"cannot read the path \"" + path + L"\"", HRESULT_FROM_WIN32(GetLastError()));
    std::wstring full(size, L'\0');
    full.resize(GetFullPathNameW(path.c_str(), size, full.data(), nullptr));
    if (full.size() > 3 && full.back() == L'\\') full.pop_back();
    return full;
}

std::wstring FolderPath(ITnRegisteredFolder* folder) {
    Bstr path;
    Check(folder->get_Path(path.put()), L"cannot read a folder's path");
    return path.str();
}

std::vector<ComPtr<ITnRegisteredFolder>> RegisteredFolders(IFolderWatcher3* watcher) {
    ComPtr<ITnRegisteredFolderList> list;
    Check(watcher->get_RegisteredFolders(list.put()), L"cannot list the registered folders");
    LONG count = 0;
    Check(list->get_count(&count), L"cannot count the registered folders");
    std::vector<ComPtr<ITnRegisteredFolder>> folders;
    for (LONG i = 1; i <= count; ++i) {
        ComPtr<ITnRegisteredFolder> folder;
        Check(list->get_Item(i, folder.put()), L"cannot read registered folder " + std::to_wstring(i));
        folders.push_back(std::move(folder));
    }
    return folders;
}

bool Status(ITnRegisteredFolder* folder, TnFolderStatusTypes type) {
    Variant value;
    Check(folder->GetStatusEx(type, value.put()), L"cannot read the status of " + FolderPath(folder));
    return value.type() == VT_BOOL && V_BOOL(&value.get()) != VARIANT_FALSE;
}

std::map<LONG, std::wstring> DefaultProperties(ITnRegisteredFolder* folder) {
    SafeArray ids;
    SafeArray values;
    Check(folder->GetDefaultProperties(ids.put(), values.put()), L"cannot read the properties of " + FolderPath(folder));
    std::map<LONG, std::wstring> properties;
    if (!ids || !values) return properties;
    const ULONG count = std::min(ids.get()->rgsabound[0].cElements, values.get()->rgsabound[0].cElements);
    const SafeArrayAccess idData(ids.get());
    const SafeArrayAccess valueData(values.get());
    for (ULONG i = 0; i < count; ++i)
        properties.emplace(idData.data<LONG>()[i], std::wstring(BstrView(valueData.data<BSTR>()[i])));
    return properties;
}

void SetDefaultProperties(ITnRegisteredFolder* folder, const std::map<LONG, std::wstring>& properties) {
    const ULONG count = static_cast<ULONG>(properties.size());
    SafeArray ids(SafeArrayCreateVector(VT_I4, 0, count));
    SafeArray values(SafeArrayCreateVector(VT_BSTR, 0, count));
    if (!ids || !values) throw CommandError(L"cannot build the property list", E_OUTOFMEMORY);
    LONG index = 0;
    for (const auto& [id, text] : properties) {
        LONG value = id;
        Check(SafeArrayPutElement(ids.get(), &index, &value), L"cannot build the property list");
        const Bstr bstr(text);
        Check(SafeArrayPutElement(values.get(), &index, bstr.get()), L"cannot build the property list");
        ++index;
    }
    Check(folder->SetDefaultProperties(ids.get(), values.get()), L"cannot set the properties of " + FolderPath(folder));
}

std::wstring Padded(std::wstring text, size_t width) {
    if (text.size() < width) text.resize(width, L' ');
    return text + L"  ";
}

}  // namespace

ComPtr<IFolderWatcher3> ConnectWatcher() {
    ComPtr<IFolderWatcher3> watcher;
    Check(CoCreateInstance(CLSID_FolderWatcher, nullptr, CLSCTX_LOCAL_SERVER, IID_IFolderWatcher3,
                           watcher.put_void()),
          L"cannot reach the tandem service");
    return watcher;
}

int RegisterCommand(const ParsedCommand& command) {
    const std::wstring& app = command.positionals[0];
    const std::wstring path = FullPath(command.positionals[1]);
    const LONG behavior = ParseBehavior(command.Value(L"behavior").value_or(L"monitor"));
    const auto watcher = ConnectWatcher();
    ComPtr<ITnRegisteredFolder> folder;
    Check(watcher->CreateRegisteredFolder(Bstr(app).get(), Bstr(path).get(), nullptr, nullptr, folder.put()),
          L"cannot register " + path);
    Check(folder->put_MonitoringBehavior(static_cast<_zephfw_behavior>(behavior)), L"cannot set the behaviour");
    Check(folder->put_WatchSubTree(command.Has(L"subtree") ? VARIANT_TRUE : VARIANT_FALSE),
          L"cannot set sub-folder watching");
    Check(watcher->RegisterFolder3(folder.get()), L"cannot register " + path);
    Out(L"registered " + path + L" for " + app);
    return 0;
}

int UnregisterCommand(const ParsedCommand& command) {
    const std::wstring path = FullPath(command.positionals[1]);
    const auto watcher = ConnectWatcher();
    LONG result = 0;
    CheckResult(watcher->UnregisterFolder(Bstr(command.positionals[0]).get(), Bstr(path).get(), &result), result,
                L"cannot unregister " + path);
    Out(L"unregistered " + path);
    return 0;
}

int UpdateCommand(const ParsedCommand& command) {
    std::map<LONG, std::wstring> changes;
    for (const std::wstring& text : command.Values(L"property")) {
        auto [id, value] = ParseProperty(text);
        changes.insert_or_assign(id, std::move(value));
    }
    const std::optional<std::wstring> path =
        command.positionals.empty() ? std::nullopt : std::optional(FullPath(command.positionals[0]));
    const auto watcher = ConnectWatcher();
    size_t updated = 0;
    for (const auto& folder : RegisteredFolders(watcher.get())) {
        const std::wstring folderPath = FolderPath(folder.get());
        if (path && _wcsicmp(folderPath.c_str(), path->c_str()) != 0) continue;
        std::map<LONG, std::wstring> properties = DefaultProperties(folder.get());
        for (const auto& [id, value] : changes) properties.insert_or_assign(id, value);
        SetDefaultProperties(folder.get(), properties);
        Check(watcher->UpdateFolder2(folder.get()), L"cannot update " + folderPath);
        Out(L"update queued for " + folderPath);
        ++updated;
    }
    if (path && updated == 0) throw CommandError(*path + L" is not registered", E_INVALIDARG);
    return 0;
}

int RefreshCommand(const ParsedCommand& command) {
    const LONG priority = command.Has(L"priority") ? ParsePriority(*command.Value(L"priority")) : 2;
    const std::wstring path = FullPath(command.positionals[0]);
    const auto watcher = ConnectWatcher();
    LONG result = 0;
    CheckResult(watcher->RefreshFolder(nullptr, Bstr(path).get(), priority, &result), result,
                L"cannot refresh " + path);
    Out(L"refresh queued for " + path);
    return 0;
}

int ListCommand(const ParsedCommand&) {
    const auto watcher = ConnectWatcher();
    const auto folders = RegisteredFolders(watcher.get());
    struct Row {
        std::wstring path, owner, behavior, status, busy;
    };
    std::vector<Row> rows{{L"PATH", L"OWNER", L"BEHAVIOUR", L"STATUS", L"BUSY"}};
    for (const auto& folder : folders) {
        Bstr owner;
        Check(folder->get_OwnerApplication(owner.put()), L"cannot read a folder's owner");
        _zephfw_behavior behavior{};
        Check(folder->get_MonitoringBehavior(&behavior), L"cannot read a folder's behaviour");
        rows.push_back({FolderPath(folder.get()), owner.str(), std::wstring(BehaviorName(behavior)),
                        Status(folder.get(), tnFolderStatusType_Monitoring) ? L"monitoring" : L"idle",
                        Status(folder.get(), tnFolderStatusType_Busy) ? L"yes" : L"no"});
    }
    size_t pathWidth = 0, ownerWidth = 0;
    for (const Row& row : rows) {
        pathWidth = std::max(pathWidth, row.path.size());
        ownerWidth = std::max(ownerWidth, row.owner.size());
    }
    for (const Row& row : rows)
        Out(Padded(row.path, pathWidth) + Padded(row.owner, ownerWidth) + Padded(row.behavior, 9) +
            Padded(row.status, 10) + row.busy);
    if (folders.empty()) Out(L"(no folder is registered)");
    return 0;
}

int StatusCommand(const ParsedCommand&) {
    const auto watcher = ConnectWatcher();
    LONG result = 0;
    LONG count = 0;
    CheckResult(watcher->GetStatusCount(&count, &result), result, L"cannot count the registered folders");
    LONG empty = 0;
    CheckResult(watcher->GetEmptyCount(&empty, &result), result, L"cannot read the free places");
    ComPtr<ITnStorageInfoList> storages;
    Check(ConnectStorageManager()->get_Storages(storages.put()), L"cannot list the storages");
    LONG storageCount = 0;
    Check(storages->get_count(&storageCount), L"cannot count the storages");
    Out(L"the tandem service is running");
    Out(L"registered folders: " + std::to_wstring(count) + L" (room for " + std::to_wstring(empty) + L" more)");
    Out(L"storages: " + std::to_wstring(storageCount));
    return 0;
}

}  // namespace tandem::ctl
