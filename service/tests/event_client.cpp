// A client in a process of its own, as applications meet the service: it
// advises on the three event interfaces, registers a folder, refreshes it,
// unregisters it and removes its storage, waiting after each step for the
// events that step raises. It prints every event it received, one a line;
// its exit code is the number of steps whose events did not come.
//
//   event_client <folder> <storage root>

#include <windows.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "MarloTandem.h"
#include "MarloZephFw.h"
#include "bstr.h"
#include "com_ptr.h"
#include "error.h"
#include "event_sink.h"
#include "testing/com_apartment.h"
#include "unique_resource.h"

using namespace tandem;
using tandem::test::Call;
using tandem::test::RecordingSink;

namespace {

constexpr DWORD kStepLimit = 30000;

std::wstring FolderPath(const VARIANT& object) {
    ComPtr<ITnRegisteredFolder> folder;
    Bstr path;
    if (V_VT(&object) != VT_DISPATCH ||
        FAILED(V_DISPATCH(&object)->QueryInterface(IID_ITnRegisteredFolder, folder.put_void())) ||
        FAILED(folder->get_Path(path.put())))
        return L"?";
    return path.str();
}

std::wstring StorageRoot(const VARIANT& object) {
    ComPtr<ITnStorageInfo> storage;
    Bstr root;
    if (V_VT(&object) != VT_DISPATCH ||
        FAILED(V_DISPATCH(&object)->QueryInterface(IID_ITnStorageInfo, storage.put_void())) ||
        FAILED(storage->get_RootPath(root.put())))
        return L"?";
    return root.str();
}

std::wstring Number(const VARIANT& value) {
    switch (V_VT(&value)) {
    case VT_I4: return std::to_wstring(V_I4(&value));
    case VT_BOOL: return V_BOOL(&value) ? L"true" : L"false";
    case VT_R4: return std::to_wstring(static_cast<int>(V_R4(&value)));
    default: return L"?";
    }
}

// One line per event: interface, event, then its arguments, objects read back
// through their own interfaces.
std::wstring WatcherLine(const Call& call) {
    const auto& a = call.arguments;
    if (call.member != 2 || a.size() != 3) return L"watcher unexpected " + std::to_wstring(call.member);
    return L"watcher status " + std::wstring(BstrView(V_BSTR(&a[0].get()))) + L" " + Number(a[2].get());
}

std::wstring FolderLine(const Call& call) {
    const auto& a = call.arguments;
    if (call.member == 1 && a.size() == 4)
        return L"folder status " + Number(a[0].get()) + L" " + FolderPath(a[1].get()) + L" " + Number(a[2].get()) +
               L" " + Number(a[3].get());
    if (call.member == 2 && a.size() == 3)
        return L"folder progress " + Number(a[0].get()) + L" " + FolderPath(a[1].get()) + L" " + Number(a[2].get());
    if (call.member == 3 && a.size() == 2)
        return L"folder abort " + Number(a[0].get()) + L" " + FolderPath(a[1].get());
    return L"folder unexpected " + std::to_wstring(call.member);
}

std::wstring StorageLine(const Call& call) {
    const auto& a = call.arguments;
    if (call.member != 1 || a.size() != 2) return L"storage unexpected " + std::to_wstring(call.member);
    return L"storage event " + Number(a[0].get()) + L" " + StorageRoot(a[1].get());
}

class Client {
public:
    Client() : arrived_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
        if (!arrived_) ThrowLastError();
        CheckHr(CoCreateInstance(CLSID_FolderWatcher, nullptr, CLSCTX_LOCAL_SERVER, IID_IFolderWatcher3,
                                 watcher_.put_void()));
        CheckHr(CoCreateInstance(CLSID_TnStorageManager, nullptr, CLSCTX_LOCAL_SERVER, IID_ITnStorageManager,
                                 storages_.put_void()));
        Advise(watcher_.get(), DIID__IFolderWatcherEvents, watcherSink_, WatcherLine);
        Advise(watcher_.get(), DIID__ITnRegisteredFolderEvents, folderSink_, FolderLine);
        Advise(storages_.get(), DIID__ITnStorageManagerEvents, storageSink_, StorageLine);
    }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;
    ~Client() {
        for (auto& [point, cookie] : advised_) point->Unadvise(cookie);
    }

    IFolderWatcher3& Watcher() { return *watcher_; }
    ITnStorageManager& Storages() { return *storages_; }

    // Waits until a line was printed, or the step's time is up.
    bool Await(const std::wstring& line) {
        const ULONGLONG deadline = GetTickCount64() + kStepLimit;
        for (;;) {
            if (Heard(line)) return true;
            const ULONGLONG now = GetTickCount64();
            if (now >= deadline) break;
            WaitForSingleObject(arrived_.get(), static_cast<DWORD>(deadline - now));
        }
        std::wprintf(L"missing: %ls\n", line.c_str());
        return false;
    }

    void Print() {
        CSyncLockHolder hold(lock_);
        for (const std::wstring& line : lines_) std::wprintf(L"%ls\n", line.c_str());
    }

private:
    void Advise(IUnknown* source, REFIID events, ComPtr<ComObject<RecordingSink>>& sink,
                std::function<std::wstring(const Call&)> describe) {
        ComPtr<IUnknown> unknown = test::NewSink(events, &sink);
        sink->handler = [this, describe](const Call& call) {
            {
                CSyncLockHolder hold(lock_);
                lines_.push_back(describe(call));
            }
            SetEvent(arrived_.get());
            return S_OK;
        };
        ComPtr<IConnectionPointContainer> container;
        CheckHr(source->QueryInterface(IID_IConnectionPointContainer, container.put_void()));
        ComPtr<IConnectionPoint> point;
        CheckHr(container->FindConnectionPoint(events, point.put()));
        DWORD cookie = 0;
        CheckHr(point->Advise(unknown.get(), &cookie));
        advised_.emplace_back(std::move(point), cookie);
    }

    bool Heard(const std::wstring& line) {
        CSyncLockHolder hold(lock_);
        for (const std::wstring& heard : lines_)
            if (heard == line) return true;
        return false;
    }

    UniqueHandle arrived_;
    CSyncLock lock_;
    std::vector<std::wstring> lines_;
    ComPtr<IFolderWatcher3> watcher_;
    ComPtr<ITnStorageManager> storages_;
    ComPtr<ComObject<RecordingSink>> watcherSink_, folderSink_, storageSink_;
    std::vector<std::pair<ComPtr<IConnectionPoint>, DWORD>> advised_;
};

std::wstring Text(long value) { return std::to_wstring(value); }

// The steps and the events each must raise; the count of failed steps.
int Run(const std::wstring& folder, const std::wstring& root) {
    Client client;
    int failed = 0;
    LONG result = -1;
    // The call runs first, then its result is read.
    auto step = [&](const wchar_t* name, std::function<HRESULT()> call, std::vector<std::wstring> expected) {
        result = 0;
        const HRESULT hr = call();
        if (hr != S_OK || result != 0) {
            std::wprintf(L"%ls failed: 0x%08lx, result 0x%08lx\n", name, static_cast<unsigned long>(hr),
                         static_cast<unsigned long>(result));
            ++failed;
            return;
        }
        for (const std::wstring& line : expected)
            if (!client.Await(line)) {
                ++failed;
                return;
            }
    };
    const Bstr app(L"EventClient"), path(folder), rootPath(root);
    IFolderWatcher3& watcher = client.Watcher();
    step(L"RegisterFolder", [&] { return watcher.RegisterFolder(app.get(), path.get(), zephfwBehaviorMonitor, &result); },
         {L"storage event " + Text(tnStorageEventType_Added) + L" " + root,
          L"watcher status " + folder + L" " + Text(ZEPHFW_I_STAT_LIST_CHANGED),
          L"watcher status " + folder + L" " + Text(ZEPHFW_I_STAT_FOLDER_ADDED),
          L"storage event " + Text(tnStorageEventType_Enabled) + L" " + root,
          L"folder status " + Text(tnFolderStatusType_Monitoring) + L" " + folder + L" false true"});
    step(L"RefreshFolder", [&] { return watcher.RefreshFolder(nullptr, path.get(), zephfwPriorityNormal, &result); },
         {L"folder status " + Text(tnFolderStatusType_Busy) + L" " + folder + L" false true",
          L"folder progress " + Text(tnFolderOperationType_Refresh) + L" " + folder + L" 0",
          L"folder status " + Text(tnFolderStatusType_Busy) + L" " + folder + L" true false"});
    step(L"UnregisterFolder", [&] { return watcher.UnregisterFolder(nullptr, path.get(), &result); },
         {L"watcher status " + folder + L" " + Text(ZEPHFW_I_STAT_FOLDER_REMOVED)});
    step(L"RemoveStorage", [&] { return client.Storages().RemoveStorage(rootPath.get()); },
         {L"storage event " + Text(tnStorageEventType_Removed) + L" " + root});
    client.Print();
    return failed;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fwprintf(stderr, L"usage: event_client <folder> <storage root>\n");
        return 100;
    }
    const HRESULT hr = CatchHr([&] {
        test::ComApartment apartment;
        return static_cast<HRESULT>(Run(argv[1], argv[2]));
    });
    if (FAILED(hr)) std::wprintf(L"client failed: 0x%08lx\n", static_cast<unsigned long>(hr));
    return FAILED(hr) ? 101 : static_cast<int>(hr);
}
