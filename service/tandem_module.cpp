#include "tandem_module.h"

#include <objbase.h>

#include "com_security.h"
#include "content_info_manager.h"
#include "error.h"
#include "event_delivery.h"
#include "folder_migration.h"
#include "com/module_lock.h"
#include "module_path.h"
#include "network_storage_events.h"
#include "server_classes.h"
#include "server_registration.h"
#include "service_resources.h"
#include "stop_sequence.h"

namespace tandem {

namespace {

constexpr size_t kMaxServiceName = 256;
constexpr wchar_t kDefaultDisplayName[] = L"Tandem Content Folder Watcher";

// The one module of the process, for the entry points the system calls.
CTandemModule* current = nullptr;

std::wstring LoadResourceString(HMODULE module, UINT id, size_t maxLength) {
    std::wstring text(maxLength + 1, L'\0');
    const int length = LoadStringW(module, id, text.data(), static_cast<int>(text.size()));
    text.resize(length > 0 ? static_cast<size_t>(length) : 0);
    return text;
}

bool JoinApartment() {
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(hr)) return true;
    if (ComInitFailureTolerated(hr, GetModuleHandleW(L"Mscoree.dll") != nullptr)) return false;
    ThrowHr(hr);
}

}  // namespace

CTandemModule::CTandemModule(HMODULE module, RegistrationMessages& messages, ConsoleTokenSource& tokens)
    : module_(module),
      messages_(messages),
      tokens_(tokens),
      serviceName_(LoadResourceString(module, IDS_SERVICE_NAME, kMaxServiceName)),
      log_(serviceName_, true),
      deviceActions_([this]() -> StorageManager& { return singletons_.Storages(); }),
      devices_(deviceActions_),
      singletons_(&devices_) {
    comFailed_ = FAILED(CatchHr([&] { comInitialized_ = JoinApartment(); }));
    current = this;
}

CTandemModule::~CTandemModule() {
    current = nullptr;
    if (comInitialized_) CoUninitialize();
}

RegistrationMessages& CTandemModule::DefaultMessages() {
    static ConsoleRegistrationMessages messages;
    return messages;
}

std::wstring CTandemModule::DisplayName() const {
    std::wstring name = LoadResourceString(module_, IDS_DISPLAY_NAME, kMaxServiceName);
    return name.empty() ? kDefaultDisplayName : name;
}

int CTandemModule::Main(std::wstring_view arguments) {
    const ModuleAction action = ParseCommandLine(arguments);
    if (action != ModuleAction::Run) return Register(action);
    std::optional<std::wstring> localService;
    if (const HRESULT hr = CatchHr([&] { localService = ReadLocalService(); }); FAILED(hr)) return hr;
    return localService ? RunAsService() : RunLocalServer();
}

HRESULT CTandemModule::Register(ModuleAction action) {
    const bool perUser = action == ModuleAction::RegServerPerUser || action == ModuleAction::UnregServerPerUser;
    const RegistrationScope scope = perUser ? RegistrationScope::User : RegistrationScope::Machine;
    const std::vector<ServerClass> classes = ServerClasses();
    return CatchHr([&] {
        switch (action) {
        case ModuleAction::RegServer:
        case ModuleAction::RegServerPerUser:
            RemoveService(serviceName_, messages_);
            RegisterAppId(module_, scope);
            if (scope == RegistrationScope::Machine) CreateProductKeys();
            // A server no longer installed as a service must not be started as one.
            if (scope == RegistrationScope::Machine) ClearLocalService();
            RegisterServerClasses(module_, classes, scope);
            break;
        case ModuleAction::Service:
            RemoveService(serviceName_, messages_);
            RegisterAppId(module_, RegistrationScope::Machine);
            SetLocalService(serviceName_);
            CreateProductKeys();
            InstallService({serviceName_, DisplayName(), ModuleFileName(module_)}, messages_);
            RegisterServerClasses(module_, classes, RegistrationScope::Machine);
            break;
        case ModuleAction::UnregServer:
        case ModuleAction::UnregServerPerUser:
            UnregisterServerClasses(module_, classes, scope);
            RemoveService(serviceName_, messages_);
            if (scope == RegistrationScope::Machine) ClearLocalService();
            UnregisterAppId(module_, scope);
            break;
        case ModuleAction::Run:
            break;
        }
    });
}

int CTandemModule::RunAsService() {
    serviceMode_ = true;
    log_.SetEcho(false);
    SERVICE_TABLE_ENTRYW table[] = {{serviceName_.data(), &CTandemModule::ServiceMainEntry}, {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherW(table)) return static_cast<int>(GetLastError());
    return static_cast<int>(status_.Current().dwWin32ExitCode);
}

void WINAPI CTandemModule::ServiceMainEntry(DWORD, LPWSTR*) {
    if (current) current->ServiceMain();
}

DWORD WINAPI CTandemModule::HandlerEntry(DWORD control, DWORD eventType, void*, void* context) {
    return HandleServiceControl(control, eventType, *static_cast<CTandemModule*>(context));
}

void CTandemModule::ServiceMain() {
    mainThread_ = GetCurrentThreadId();
    status_.Set(SERVICE_START_PENDING);
    SERVICE_STATUS_HANDLE handle = RegisterServiceCtrlHandlerExW(serviceName_.c_str(), &HandlerEntry, this);
    if (!handle) {
        const DWORD error = GetLastError();
        Log(L"Handler not installed");
        status_.Set(SERVICE_STOPPED, error);
        return;
    }
    reporter_ = std::make_unique<ScmStatusReporter>(handle);
    status_.SetReporter(reporter_.get());
    if (const HRESULT hr = CatchHr([&] { devices_.Create(); }); FAILED(hr)) {
        Log(L"CreateWindowEx failed");
        status_.SetStopped(hr);
        return;
    }
    status_.Set(SERVICE_START_PENDING);
    bool joined = false;
    if (const HRESULT hr = CatchHr([&] { joined = JoinApartment(); }); FAILED(hr)) {
        devices_.DestroyWindow();
        status_.SetStopped(hr);
        return;
    }
    const HRESULT result = Run();
    if (joined) {
        CoFreeAllLibraries();
        CoUninitialize();
    }
    devices_.DestroyWindow();
    status_.SetStopped(result);
    Log(L"Service stopped");
}

HRESULT CTandemModule::RunLocalServer() {
    mainThread_ = GetCurrentThreadId();
    if (const HRESULT hr = CatchHr([&] { devices_.Create(); }); FAILED(hr)) {
        Log(L"CreateWindowEx failed");
        return hr;
    }
    const HRESULT result = Run();
    devices_.DestroyWindow();
    return result;
}

HRESULT CTandemModule::Run() {
    MSG message;
    // The thread's queue must exist before a stop request is posted to it.
    PeekMessageW(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    const HRESULT started = StartUp();
    if (SUCCEEDED(started)) {
        if (serviceMode_) {
            Log(L"Service started");
            status_.Set(SERVICE_RUNNING);
        } else {
            StartIdleShutdown();
        }
        MessageLoop();
    }
    const HRESULT stopped = StopAll();
    return FAILED(started) ? started : stopped;
}

HRESULT CTandemModule::StartUp() {
    if (serviceMode_) {
        if (const HRESULT hr = CatchHr([] { InitializeComSecurity(); }); FAILED(hr)) return hr;
    }
    // A failed migration is tried again at the next start.
    CatchHr([&] { MigrateOlderList(singletons_.Folders(), singletons_.Storages()); });
    if (const HRESULT hr = CatchHr([&] {
            classObjects_ = RegisterClassObjects(ServerClasses(&singletons_.Automation()));
            ResumeClassObjects();
        });
        FAILED(hr))
        return hr;
    return CatchHr([&] {
        ContentInfoManager::Instance();
        // An unreadable folder list fails the start here, not later in a storage's worker.
        singletons_.Folders();
        StartStorages();
    });
}

void CTandemModule::StartStorages() {
    if (const DWORD drives = GetLogicalDrives()) singletons_.Storages().OnDrivesArrived(drives, false);
    // Shares are reached as the console user; without one they wait for a logon.
    if (tokens_.UserToken()) singletons_.Storages().StartRemoteStorages(true);
}

void CTandemModule::MessageLoop() {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (!message.hwnd && message.message == WM_USER) {
            devices_.DestroyWindow();
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

HRESULT CTandemModule::StopAll() {
    SetModuleIdleHandler({});
    idle_.reset();
    StopSteps steps;
    steps.reportStopPending = [this] { status_.Set(SERVICE_STOP_PENDING); };
    steps.storages = [this] { return singletons_.ExistingStorages(); };
    steps.deliverEvents = [] { EventDelivery::Instance().Stop(kEventDeliveryTimeout); };
    steps.revokeClassObjects = [this] {
        classObjects_.clear();
        return S_OK;
    };
    steps.releaseSingletons = [this] { singletons_.Release(); };
    steps.pause = [] { Sleep(kShutdownPause); };
    return RunStopSequence(steps);
}

void CTandemModule::RequestStop() {
    status_.Set(SERVICE_STOP_PENDING);
    PostStop();
}

void CTandemModule::PostStop() noexcept {
    PostThreadMessageW(mainThread_, WM_USER, 0, 0);
    PostThreadMessageW(mainThread_, WM_QUIT, 0, 0);
}

void CTandemModule::StartIdleShutdown() {
    idle_ = std::make_unique<IdleShutdownMonitor>(IdleShutdownMonitor::kTimeout, &ModuleLockCount,
                                                  [this] { PostStop(); });
    SetModuleIdleHandler([monitor = idle_.get()] { monitor->Activity(); });
    idle_->Start();
}

void CTandemModule::OnPowerEvent(DWORD eventType) {
    tandem::OnPowerEvent(eventType, singletons_.Storages(), singletons_.Folders());
}

void CTandemModule::OnSessionChange(DWORD eventType) { tandem::OnSessionChange(eventType, singletons_.Storages()); }

}  // namespace tandem
