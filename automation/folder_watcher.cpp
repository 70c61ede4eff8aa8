#include "folder_watcher.h"

#include <algorithm>
#include <utility>

#include "bstr.h"
#include "caller_access.h"
#include "com/error_info.h"
#include "error.h"
#include "command_thread.h"
#include "console_user.h"
#include "paths.h"
#include "plugin_set.h"
#include "safe_array.h"
#include "secret_string.h"
#include "strings.h"
#include "tn_registered_folder_list.h"

namespace tandem {

namespace {

constexpr LONG kAlwaysReportedProperty = 607;

bool InRange(LONG value, LONG low, LONG high) noexcept { return value >= low && value <= high; }

// First and second generation: argument checks are done; the work's failure
// is the result, reported with S_FALSE. Anything that is not a failure of
// the work (a bug, no memory) is the call's own result.
template <class F>
HRESULT RunWork(LONG* result, F&& work) noexcept {
    try {
        std::forward<F>(work)();
        *result = 0;
        return S_OK;
    } catch (const HResultError& error) {
        *result = error.hr();
        return S_FALSE;
    } catch (...) {
        return CurrentExceptionHr();
    }
}

bool IsVectorOf(SAFEARRAY* array, VARTYPE expected) noexcept {
    VARTYPE type = VT_EMPTY;
    return array && SafeArrayGetDim(array) == 1 && SUCCEEDED(SafeArrayGetVartype(array, &type)) && type == expected;
}

LONG ElementCount(SAFEARRAY* array) {
    LONG lower = 0, upper = -1;
    CheckHr(SafeArrayGetLBound(array, 1, &lower));
    CheckHr(SafeArrayGetUBound(array, 1, &upper));
    return upper - lower + 1;
}

// Pairs in index order; a repeated id keeps its first value. Arrays of
// different lengths are E_INVALIDARG.
std::map<LONG, std::wstring> ReadProperties(SAFEARRAY* ids, SAFEARRAY* values) {
    const LONG count = ElementCount(ids);
    if (ElementCount(values) != count) ThrowHr(E_INVALIDARG);
    std::map<LONG, std::wstring> properties;
    const SafeArrayAccess idData(ids), valueData(values);
    for (LONG i = 0; i < count; ++i)
        properties.emplace(idData.data<LONG>()[i], std::wstring(BstrView(valueData.data<BSTR>()[i])));
    return properties;
}

void WriteProperties(const std::map<LONG, std::wstring>& properties, SAFEARRAY** ids, SAFEARRAY** values) {
    SafeArray idArray(SafeArrayCreateVector(VT_I4, 0, static_cast<ULONG>(properties.size())));
    SafeArray valueArray(SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(properties.size())));
    if (!idArray || !valueArray) ThrowHr(E_OUTOFMEMORY);
    LONG index = 0;
    for (const auto& [id, value] : properties) {
        LONG copy = id;
        CheckHr(SafeArrayPutElement(idArray.get(), &index, &copy));
        const Bstr text(value);
        CheckHr(SafeArrayPutElement(valueArray.get(), &index, text.get()));
        ++index;
    }
    *ids = idArray.release();
    *values = valueArray.release();
}

void PostRegistration(StorageInfo& storage, const SharedPtr<RegisteredFolder>& folder) {
    if (auto* commands = dynamic_cast<CommandThread*>(storage.Worker()))
        commands->PostRegisterFolder(folder, folder->CommandPath(storage.RootPath()));
}

void PostUnregistration(StorageInfo& storage, const RegisteredFolder& folder) {
    if (auto* commands = dynamic_cast<CommandThread*>(storage.Worker()))
        commands->PostUnRegisterFolder(folder.Owner(), folder.CommandPath(storage.RootPath()), folder.WatchSubTree);
}

void PostUpdate(StorageInfo& storage, const SharedPtr<RegisteredFolder>& folder) {
    if (auto* commands = dynamic_cast<CommandThread*>(storage.Worker()))
        commands->PostUpdateFolder(folder, folder->CommandPath(storage.RootPath()), folder->Defaults());
}

void StopNotificator(RegisteredFolder& folder) {
    if (folder.IsMonitorRunning()) folder.StopMonitor();
}

// Clients treat a path they cannot use as a bad argument.
HRESULT CheckFolderResult(HRESULT hr) noexcept {
    for (DWORD error : {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_BAD_NETPATH}) {
        if (hr == HRESULT_FROM_WIN32(error)) return E_INVALIDARG;
    }
    return hr;
}

}  // namespace

SharedPtr<StorageInfo> CFolderWatcher::StorageOf(const RegisteredFolder& folder) const {
    return context_.Storages().FindById(folder.StorageID());
}

std::vector<CFolderWatcher::Selected> CFolderWatcher::Select(BSTR appname, BSTR folder) const {
    std::vector<Selected> selected;
    const std::wstring path(BstrView(folder));
    if (!path.empty()) {
        const RootSplit split = SplitRoot(path);
        const std::wstring relative = WithTrailingBackslash(split.relative);
        for (auto& storage : context_.Storages().AllStorages()) {
            if (!EqualsNoCase(storage->RootPath(), split.root)) continue;
            for (auto& candidate : context_.Folders().FoldersOfStorage(storage->UniqueID())) {
                if (EqualsNoCase(candidate->RelativePath, relative)) selected.push_back({candidate, storage});
            }
        }
        return selected;
    }
    const std::wstring owner(BstrView(appname));
    if (owner.empty()) return selected;
    for (auto& candidate : context_.Folders().FoldersOfOwner(owner)) {
        auto storage = StorageOf(*candidate);
        selected.push_back({std::move(candidate), std::move(storage)});
    }
    return selected;
}

void CFolderWatcher::RegisterPath(const std::wstring& owner, const std::wstring& path, LONG behavior,
                                  const std::map<LONG, std::wstring>* defaults) {
    const RootSplit split = SplitRoot(path);
    auto storage = context_.Storages().FindOrCreateStorage(split.root, std::wstring(), std::wstring());
    auto folder = context_.Folders().CreateFolder(*storage, owner, split.relative);
    folder->Behavior = behavior;
    if (defaults) folder->SetDefaults(*defaults);
    Enrol(folder, storage);
}

SharedPtr<StorageInfo> CFolderWatcher::RecordStorage(RegisteredFolder& folder, const SharedPtr<StorageInfo>& storage) {
    StorageManager& storages = context_.Storages();
    storages.RegisterStorage(storage);
    // Another registration may have recorded the root since the storage was
    // made: the folder goes with the storage the list keeps.
    auto recorded = storages.FindByRoot(storage->RootPath());
    folder.SetStorageID(recorded->UniqueID());
    return recorded;
}

void CFolderWatcher::Enrol(const SharedPtr<RegisteredFolder>& folder, const SharedPtr<StorageInfo>& made) {
    RegisteredFolderManager& folders = context_.Folders();
    const auto storage = RecordStorage(*folder, made);
    folders.UnregisterNestedFolders(folder, *storage);
    // A registration of the same path that came first holds the list entry.
    const auto listed = folders.RegisterFolder(folder, *storage);
    if (storage->IsEnabled()) {
        folders.StartMonitoring(listed, false);
    } else {
        storage->Start(false);
    }
    PostRegistration(*storage, listed);
}

void CFolderWatcher::Unregister(const Selected& selected) {
    StopNotificator(*selected.folder);
    PostUnregistration(*selected.storage, *selected.folder);
    context_.Folders().UnregisterFolder(selected.folder, *selected.storage);
}

void CFolderWatcher::Update(const Selected& selected) {
    context_.Folders().UnregisterNestedFolders(selected.folder, *selected.storage);
    selected.folder->Save();
    PostUpdate(*selected.storage, selected.folder);
}

CFolderWatcher::Status CFolderWatcher::StatusAt(LONG num) const {
    if (num < 0) ThrowHr(E_INVALIDARG);
    const auto folder = context_.Folders().FolderAt(static_cast<size_t>(num));
    const auto storage = StorageOf(*folder);
    return {folder->FullPath(storage->RootPath()), folder->Owner(), folder->Behavior,
            context_.IsStorageBusy(*storage) ? 1 : 0, folder->Defaults()};
}

CTnRegisteredFolder& CFolderWatcher::Descriptor(ITnRegisteredFolder* object) const {
    ComPtr<ITnRegisteredFolder> candidate;
    CheckHr(object->QueryInterface(IID_ITnRegisteredFolder, candidate.put_void()));
    // Only the service's own descriptors share this vtable; a foreign object
    // is never cast.
    const auto probe = MakeComObject<CTnRegisteredFolder>(context_);
    const auto vtable = [](ITnRegisteredFolder* p) { return *reinterpret_cast<void* const*>(p); };
    if (vtable(candidate.get()) != vtable(static_cast<ITnRegisteredFolder*>(probe.get()))) ThrowHr(E_NOINTERFACE);
    auto& descriptor = *static_cast<ComObject<CTnRegisteredFolder>*>(candidate.get());
    if (!descriptor.Folder() || !descriptor.Storage()) ThrowHr(E_INVALIDARG);
    return descriptor;
}

void CFolderWatcher::RequireRegistered(const SharedPtr<RegisteredFolder>& folder) const {
    // Unregistering would announce a removal nobody saw added, and saving
    // would leave an entry that the next start loads as a registration.
    if (context_.Folders().FindById(folder->FolderID()) != folder) ThrowHr(E_INVALIDARG);
}

STDMETHODIMP CFolderWatcher::StartMonitoring(BSTR appname, BSTR folder, LONG behavior, LONG* result) {
    if (!result) return E_POINTER;
    if (!InRange(behavior, zephfwBehaviorIgnore, zephfwBehaviorMonitorOnce)) return E_INVALIDARG;
    return RunWork(result, [&] {
        for (const Selected& selected : Select(appname, folder)) {
            selected.folder->Behavior = behavior;
            if (selected.storage->IsEnabled()) {
                context_.Folders().StartMonitoring(selected.folder, false);
            } else {
                selected.storage->Start(false);
            }
        }
    });
}

STDMETHODIMP CFolderWatcher::StopMonitoring(BSTR appname, BSTR folder, LONG* result) {
    if (!result) return E_POINTER;
    return RunWork(result, [&] {
        for (const Selected& selected : Select(appname, folder)) StopNotificator(*selected.folder);
    });
}

STDMETHODIMP CFolderWatcher::RegisterFolder(BSTR appname, BSTR folder, LONG behavior, LONG* result) {
    if (!result) return E_POINTER;
    if (!InRange(behavior, zephfwBehaviorIgnore, zephfwBehaviorMonitorOnce)) return E_INVALIDARG;
    return RunWork(result, [&] {
        InitializePlugins();
        const std::wstring path(BstrView(folder));
        OpenDirectoryAsCaller(path, context_.ImpersonateCaller());
        RegisterPath(std::wstring(BstrView(appname)), path, behavior, nullptr);
    });
}

STDMETHODIMP CFolderWatcher::UnregisterFolder(BSTR appname, BSTR folder, LONG* result) {
    if (!result) return E_POINTER;
    return RunWork(result, [&] {
        for (const Selected& selected : Select(appname, folder)) Unregister(selected);
    });
}

STDMETHODIMP CFolderWatcher::GetStatusCount(LONG* count, LONG* result) {
    if (!count || !result) return E_POINTER;
    return RunWork(result, [&] { *count = static_cast<LONG>(context_.Folders().Count()); });
}

STDMETHODIMP CFolderWatcher::GetStatus(LONG num, BSTR* folder, BSTR* owner, LONG* behavior, LONG* busy,
                                       LONG* result) {
    if (!folder || !owner || !behavior || !busy || !result) return E_POINTER;
    *folder = nullptr;
    *owner = nullptr;
    return RunWork(result, [&] {
        const Status status = StatusAt(num);
        Bstr path(status.path), ownerText(status.owner);
        *behavior = status.behavior;
        *busy = status.busy;
        *folder = path.release();
        *owner = ownerText.release();
    });
}

STDMETHODIMP CFolderWatcher::RefreshFolder(BSTR appname, BSTR folder, LONG priority, LONG* result) {
    if (!result) return E_POINTER;
    if (!InRange(priority, zephfwPriorityLowest, zephfwPriorityHighest)) return E_INVALIDARG;
    return RunWork(result, [&] {
        for (const Selected& selected : Select(appname, folder))
            context_.PostRefreshFolder(*selected.storage, selected.folder,
                                       selected.folder->CommandPath(selected.storage->RootPath()));
    });
}

STDMETHODIMP CFolderWatcher::RefreshFolderAbort(BSTR appname, BSTR folder, LONG* result) {
    if (!result) return E_POINTER;
    return RunWork(result, [&] {
        for (const Selected& selected : Select(appname, folder))
            context_.CancelFolderTasks(*selected.storage, tnFolderOperationType_Refresh, selected.folder,
                                       selected.folder->CommandPath(selected.storage->RootPath()));
    });
}

STDMETHODIMP CFolderWatcher::RefreshFolderOnStartup(LONG startup, LONG priority, LONG* result) {
    if (!result) return E_POINTER;
    if (!InRange(startup, zephfwStartupSilent, zephfwStartupRefreshOnce) ||
        !InRange(priority, zephfwPriorityLowest, zephfwPriorityHighest))
        return E_INVALIDARG;
    return RunWork(result, [&] { context_.Folders().SetStartupRefresh(startup, priority); });
}

STDMETHODIMP CFolderWatcher::GetEmptyCount(LONG* count, LONG* result) {
    if (!count || !result) return E_POINTER;
    return RunWork(result, [&] {
        const size_t used = context_.Folders().Count();
        const size_t capacity = RegisteredFolderManager::kMaxFolders;
        *count = static_cast<LONG>(used >= capacity ? 0 : capacity - used);
    });
}

STDMETHODIMP CFolderWatcher::RegisterFolder2(BSTR appname, BSTR folder, LONG behavior, SAFEARRAY* propId,
                                             SAFEARRAY* propValue, LONG* result) {
    if (!result) return E_POINTER;
    if (!InRange(behavior, zephfwBehaviorIgnore, zephfwBehaviorMonitorOnce) || !IsVectorOf(propId, VT_I4) ||
        !IsVectorOf(propValue, VT_BSTR))
        return E_INVALIDARG;
    return RunWork(result, [&] {
        const auto defaults = ReadProperties(propId, propValue);
        RegisterPath(std::wstring(BstrView(appname)), std::wstring(BstrView(folder)), behavior, &defaults);
    });
}

STDMETHODIMP CFolderWatcher::GetStatus2(LONG num, BSTR* folder, BSTR* owner, LONG* behavior, LONG* busy,
                                        SAFEARRAY** propId, SAFEARRAY** propValue, LONG* result) {
    if (!folder || !owner || !behavior || !busy || !propId || !propValue || !result) return E_POINTER;
    *folder = nullptr;
    *owner = nullptr;
    *propId = nullptr;
    *propValue = nullptr;
    return RunWork(result, [&] {
        Status status = StatusAt(num);
        status.defaults.emplace(kAlwaysReportedProperty, L"1");
        SAFEARRAY* ids = nullptr;
        SAFEARRAY* values = nullptr;
        WriteProperties(status.defaults, &ids, &values);
        SafeArray idArray(ids), valueArray(values);
        Bstr path(status.path), ownerText(status.owner);
        *behavior = status.behavior;
        *busy = status.busy;
        *folder = path.release();
        *owner = ownerText.release();
        *propId = idArray.release();
        *propValue = valueArray.release();
    });
}

STDMETHODIMP CFolderWatcher::UpdateFolder(BSTR appname, BSTR folder, SAFEARRAY* propId, SAFEARRAY* propValue,
                                          LONG* result) {
    if (!result) return E_POINTER;
    if (!IsVectorOf(propId, VT_I4) || !IsVectorOf(propValue, VT_BSTR)) return E_INVALIDARG;
    return RunWork(result, [&] {
        const auto defaults = ReadProperties(propId, propValue);
        for (const Selected& selected : Select(appname, folder)) {
            selected.folder->SetDefaults(defaults);
            Update(selected);
        }
    });
}

STDMETHODIMP CFolderWatcher::CheckFolder(BSTR folder, LONG* result) {
    if (!result) return E_POINTER;
    const HRESULT hr = CheckFolderResult(
        CatchHr([&] { OpenDirectoryAsCaller(std::wstring(BstrView(folder)), context_.ImpersonateCaller()); }));
    *result = SUCCEEDED(hr) ? 0 : hr;
    return SUCCEEDED(hr) ? S_OK : S_FALSE;
}

STDMETHODIMP CFolderWatcher::get_RegisteredFolders(ITnRegisteredFolderList** pVal) {
    if (!pVal) return E_POINTER;
    *pVal = nullptr;
    return CatchHrAndReport(IID_IFolderWatcher3, [&] { *pVal = MakeRegisteredFolderList(context_).detach(); });
}

STDMETHODIMP CFolderWatcher::CreateRegisteredFolder(BSTR strOwnerApplication, BSTR strPath, BSTR strUserID,
                                                    BSTR strPassword, ITnRegisteredFolder** pVal) {
    if (!pVal) return E_POINTER;
    *pVal = nullptr;
    return CatchHrAndReport(IID_IFolderWatcher3, [&] {
        const std::wstring path(BstrView(strPath));
        const RootSplit split = SplitRoot(path);
        const SecretString password(BstrView(strPassword));
        StorageManager& storages = context_.Storages();
        auto storage = storages.FindOrCreateStorage(split.root, std::wstring(BstrView(strUserID)), password.get());
        // Shares are used as the console user; local folders only as far as the caller may.
        if (storage->StorageType() == tnStorageType_Remote) {
            const ConsoleUserImpersonation impersonation(*storages.Services().tokens);
            OpenDirectory(path);
        } else {
            OpenDirectoryAsCaller(path, context_.ImpersonateCaller());
        }
        auto folder = context_.Folders().CreateFolder(*storage, std::wstring(BstrView(strOwnerApplication)),
                                                      split.relative);
        *pVal = MakeRegisteredFolderObject(context_, std::move(folder), std::move(storage)).detach();
    });
}

STDMETHODIMP CFolderWatcher::RegisterFolder3(ITnRegisteredFolder* pFolder) {
    if (!pFolder) return E_POINTER;
    return CatchHrAndReport(IID_IFolderWatcher3, [&] {
        CTnRegisteredFolder& descriptor = Descriptor(pFolder);
        descriptor.ApplyToFolder();
        Enrol(descriptor.Folder(), descriptor.Storage());
    });
}

STDMETHODIMP CFolderWatcher::UnregisterFolder2(ITnRegisteredFolder* pFolder) {
    if (!pFolder) return E_POINTER;
    return CatchHrAndReport(IID_IFolderWatcher3, [&] {
        const CTnRegisteredFolder& descriptor = Descriptor(pFolder);
        const auto& folder = descriptor.Folder();
        RequireRegistered(folder);
        Unregister({folder, StorageOf(*folder)});
    });
}

STDMETHODIMP CFolderWatcher::UpdateFolder2(ITnRegisteredFolder* pFolder) {
    if (!pFolder) return E_POINTER;
    return CatchHrAndReport(IID_IFolderWatcher3, [&] {
        CTnRegisteredFolder& descriptor = Descriptor(pFolder);
        const auto& folder = descriptor.Folder();
        RequireRegistered(folder);
        descriptor.ApplyToFolder();
        Update({folder, StorageOf(*folder)});
    });
}

}  // namespace tandem
