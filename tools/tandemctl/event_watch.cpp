#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "bstr.h"
#include "com/com_object.h"
#include "commands.h"
#include "console.h"
#include "error.h"
#include "unique_resource.h"
#include "variant.h"

namespace tandem::ctl {
namespace {

// How often a quiet watch asks whether the service is still there.
constexpr DWORD kLivenessInterval = 1000;

// The i-th declared argument of an event; Invoke receives them in reverse.
const VARIANT* Argument(const DISPPARAMS* params, UINT i) {
    if (!params || i >= params->cArgs) return nullptr;
    return &params->rgvarg[params->cArgs - 1 - i];
}

Variant As(const DISPPARAMS* params, UINT i, VARTYPE type) {
    Variant value;
    if (const VARIANT* argument = Argument(params, i))
        VariantChangeType(value.ptr(), const_cast<VARIANT*>(argument), 0, type);
    return value;
}

std::wstring Text(const DISPPARAMS* params, UINT i) {
    const Variant value = As(params, i, VT_BSTR);
    return value.type() == VT_BSTR ? std::wstring(BstrView(V_BSTR(&value.get()))) : L"?";
}

LONG Number(const DISPPARAMS* params, UINT i) {
    const Variant value = As(params, i, VT_I4);
    return value.type() == VT_I4 ? V_I4(&value.get()) : -1;
}

template <class Object>
ComPtr<Object> ObjectArgument(const DISPPARAMS* params, UINT i) {
    ComPtr<Object> object;
    const VARIANT* argument = Argument(params, i);
    if (argument && (V_VT(argument) == VT_DISPATCH || V_VT(argument) == VT_UNKNOWN) && V_UNKNOWN(argument))
        V_UNKNOWN(argument)->QueryInterface(__uuidof(Object), object.put_void());
    return object;
}

std::wstring FolderOf(const DISPPARAMS* params, UINT i) {
    const auto folder = ObjectArgument<ITnRegisteredFolder>(params, i);
    Bstr path;
    if (!folder || FAILED(folder->get_Path(path.put()))) return L"?";
    return path.str();
}

std::wstring StorageOf(const DISPPARAMS* params, UINT i) {
    const auto storage = ObjectArgument<ITnStorageInfo>(params, i);
    Bstr root;
    if (!storage || FAILED(storage->get_RootPath(root.put()))) return L"?";
    return root.str();
}

std::wstring Reason(LONG reason) { return reason == 0 ? L"notice" : reason == 1 ? L"error" : std::to_wstring(reason); }

std::wstring Info(LONG param) {
    switch (static_cast<unsigned long>(param)) {
        case 0x600A0001: return L"in progress";
        case 0x600A0002: return L"complete";
        case 0x600A0003: return L"aborted";
        case 0x600A0004: return L"list changed";
        case 0x600A0005: return L"folder added";
        case 0x600A0006: return L"folder removed";
        default: return DescribeHr(param);
    }
}

std::wstring Operation(LONG type) {
    static const wchar_t* const names[] = {L"refresh", L"delete", L"rename", L"update"};
    return type >= 0 && type < 4 ? names[type] : std::to_wstring(type);
}

std::wstring StorageEvent(LONG type) {
    static const wchar_t* const names[] = {L"added", L"removed", L"enabled", L"disabled"};
    return type >= 0 && type < 4 ? names[type] : std::to_wstring(type);
}

std::wstring Flag(const DISPPARAMS* params, UINT i) {
    const Variant value = As(params, i, VT_BOOL);
    return value.type() == VT_BOOL ? (V_BOOL(&value.get()) ? L"true" : L"false") : L"?";
}

std::wstring Percent(const DISPPARAMS* params, UINT i) {
    const Variant value = As(params, i, VT_R4);
    wchar_t text[16] = L"?";
    if (value.type() == VT_R4) std::swprintf(text, 16, L"%.1f%%", V_R4(&value.get()));
    return text;
}

std::wstring Now() {
    SYSTEMTIME time{};
    GetLocalTime(&time);
    wchar_t text[16];
    std::swprintf(text, 16, L"%02u:%02u:%02u.%03u", time.wHour, time.wMinute, time.wSecond, time.wMilliseconds);
    return text;
}

// time, event, folder, reason, progress
struct EventLine {
    std::wstring event, folder, reason, progress;
};

EventLine Describe(const IID& iid, DISPID id, const DISPPARAMS* params) {
    if (IsEqualIID(iid, DIID__IFolderWatcherEvents)) {
        switch (id) {
            case 1:
                return {L"OnRefreshFolder", Text(params, 0), Reason(Number(params, 1)), Info(Number(params, 2)) +
                        L", " + std::to_wstring(Number(params, 3)) + L"%"};
            case 2: return {L"OnStatusChange", Text(params, 0), Reason(Number(params, 1)), Info(Number(params, 2))};
            case 3: return {L"OnLoadingComplete", Text(params, 0), Reason(Number(params, 1)), Info(Number(params, 2))};
        }
    } else if (IsEqualIID(iid, DIID__ITnRegisteredFolderEvents)) {
        switch (id) {
            case 1:
                return {L"OnStatusChangeEx", FolderOf(params, 1), Number(params, 0) == 0 ? L"busy" : L"monitoring",
                        Flag(params, 2) + L" -> " + Flag(params, 3)};
            case 2:
                return {L"OnOperationProgress", FolderOf(params, 1), Operation(Number(params, 0)), Percent(params, 2)};
            case 3: return {L"OnOperationAbort", FolderOf(params, 1), Operation(Number(params, 0)), L""};
        }
    } else if (IsEqualIID(iid, DIID__ITnStorageManagerEvents) && id == 1) {
        return {L"OnStorageEvent", StorageOf(params, 1), StorageEvent(Number(params, 0)), L""};
    }
    return {L"event " + std::to_wstring(id), L"", L"", L""};
}

class EventPrinter {
public:
    void Print(const IID& iid, DISPID id, const DISPPARAMS* params) {
        const EventLine line = Describe(iid, id, params);
        std::lock_guard hold(lock_);
        std::wstring text = Now() + L"  " + Padded(line.event, 20) + Padded(line.folder, 0) + Padded(line.reason, 0) +
                            line.progress;
        text.erase(text.find_last_not_of(L' ') + 1);
        Out(text);
    }

private:
    static std::wstring Padded(std::wstring text, size_t width) {
        if (text.empty()) return text;
        if (text.size() < width) text.resize(width, L' ');
        return text + L"  ";
    }

    std::mutex lock_;
};

// A sink of one event interface; every event goes to the printer.
class EventSink : public ComObjectRoot, public IDispatch {
public:
    struct EventInterface {
        using IsInterfaceEntry = void;
        template <class T>
        static bool QueryEntry(T& sink, REFIID iid, void** out) noexcept {
            if (!IsEqualIID(iid, sink.iid_) && !IsEqualIID(iid, IID_IDispatch)) return false;
            auto* dispatch = static_cast<IDispatch*>(&sink);
            dispatch->AddRef();
            *out = dispatch;
            return true;
        }
    };
    using Interfaces = InterfaceTable<EventInterface>;

    EventSink(const IID& iid, EventPrinter& printer) noexcept : iid_(iid), printer_(printer) {}

    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
        return CatchHr([&] { printer_.Print(iid_, id, params); });
    }

private:
    const IID iid_;
    EventPrinter& printer_;
};

// One advised sink, unadvised with the holder.
class Connection {
public:
    Connection(IUnknown* source, const IID& iid, EventPrinter& printer) {
        ComPtr<IConnectionPointContainer> container;
        Check(source->QueryInterface(IID_IConnectionPointContainer, container.put_void()),
              L"the service offers no events");
        Check(container->FindConnectionPoint(iid, point_.put()), L"the service offers no such events");
        const auto sink = MakeComObject<EventSink>(iid, printer);
        Check(point_->Advise(static_cast<IDispatch*>(sink.get()), &cookie_), L"cannot listen to the service's events");
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection() {
        if (point_) point_->Unadvise(cookie_);
    }

private:
    ComPtr<IConnectionPoint> point_;
    DWORD cookie_ = 0;
};

HANDLE StopSignal() {
    static const UniqueHandle signal(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    return signal.get();
}

BOOL WINAPI OnConsoleControl(DWORD) {
    SetEvent(StopSignal());
    return TRUE;
}

}  // namespace

int WatchCommand(const ParsedCommand&) {
    const auto watcher = ConnectWatcher();
    const auto storages = ConnectStorageManager();
    EventPrinter printer;
    std::vector<std::unique_ptr<Connection>> connections;
    connections.push_back(std::make_unique<Connection>(watcher.get(), DIID__IFolderWatcherEvents, printer));
    connections.push_back(std::make_unique<Connection>(watcher.get(), DIID__ITnRegisteredFolderEvents, printer));
    connections.push_back(std::make_unique<Connection>(storages.get(), DIID__ITnStorageManagerEvents, printer));
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    Out(L"watching the tandem service's events; Ctrl+C stops");
    while (WaitForSingleObject(StopSignal(), kLivenessInterval) == WAIT_TIMEOUT) {
        LONG count = 0;
        LONG result = 0;
        const HRESULT hr = watcher->GetStatusCount(&count, &result);
        if (FAILED(hr)) throw CommandError(L"the tandem service stopped", hr);
    }
    return 0;
}

}  // namespace tandem::ctl
