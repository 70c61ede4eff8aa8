#include "device_event_receiver.h"

#include "error.h"

namespace tandem {

namespace {

constexpr DWORD kWindowStyle = WS_OVERLAPPEDWINDOW | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
constexpr DWORD kWindowExStyle = WS_EX_APPWINDOW | WS_EX_WINDOWEDGE;

void RegisterWindowClass(HINSTANCE instance, WNDPROC procedure) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kDeviceEventWindowClass;
    if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) ThrowLastError();
}

}  // namespace

DeviceEventReceiver::~DeviceEventReceiver() {
    {
        CSyncLockHolder hold(lock_);
        handles_.clear();
    }
    DestroyWindow();
}

void DeviceEventReceiver::Create() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    RegisterWindowClass(instance, &DeviceEventReceiver::WindowProc);
    HWND window = CreateWindowExW(kWindowExStyle, kDeviceEventWindowClass, L"", kWindowStyle, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, this);
    if (!window) ThrowLastError();
    window_.reset(window);
}

void DeviceEventReceiver::DestroyWindow() noexcept { window_.reset(); }

void DeviceEventReceiver::RegisterHandle(HANDLE file, const std::wstring& storageId) {
    CSyncLockHolder hold(lock_);
    if (handles_.count(file)) return;
    DEV_BROADCAST_HANDLE filter{};
    filter.dbch_size = sizeof(filter);
    filter.dbch_devicetype = DBT_DEVTYP_HANDLE;
    filter.dbch_handle = file;
    UniqueDeviceNotify notify(RegisterDeviceNotificationW(window_.get(), &filter, DEVICE_NOTIFY_WINDOW_HANDLE));
    if (!notify) ThrowLastError();
    handles_.emplace(file, std::make_pair(std::move(notify), storageId));
}

void DeviceEventReceiver::UnregisterHandle(HANDLE file) noexcept {
    CSyncLockHolder hold(lock_);
    handles_.erase(file);
}

void DeviceEventReceiver::UnregisterStorage(const std::wstring& storageId) noexcept {
    CSyncLockHolder hold(lock_);
    std::erase_if(handles_, [&](const auto& entry) { return entry.second.second == storageId; });
}

std::wstring DeviceEventReceiver::StorageIdOfHandle(HANDLE file) const {
    CSyncLockHolder hold(lock_);
    auto found = handles_.find(file);
    if (found == handles_.end()) ThrowHr(E_INVALIDARG);
    return found->second.second;
}

size_t DeviceEventReceiver::NotificationCount() const {
    CSyncLockHolder hold(lock_);
    return handles_.size();
}

LRESULT CALLBACK DeviceEventReceiver::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto receiver = reinterpret_cast<DeviceEventReceiver*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_NCDESTROY) SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    if (receiver && message == WM_DEVICECHANGE) return receiver->HandleMessage(message, wParam, lParam);
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT DeviceEventReceiver::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_DEVICECHANGE) return DefWindowProcW(window_.get(), message, wParam, lParam);
    return OnDeviceChange(wParam, reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam));
}

LRESULT DeviceEventReceiver::OnDeviceChange(WPARAM event, const DEV_BROADCAST_HDR* header) {
    if (!header) return TRUE;
    const auto volume = reinterpret_cast<const DEV_BROADCAST_VOLUME*>(header);
    const auto handle = reinterpret_cast<const DEV_BROADCAST_HANDLE*>(header);
    switch (event) {
    case DBT_DEVICEARRIVAL:
        if (header->dbch_devicetype == DBT_DEVTYP_VOLUME) CatchHr([&] { actions_.DrivesArrived(volume->dbcv_unitmask); });
        break;
    case DBT_DEVICEQUERYREMOVE:
        if (header->dbch_devicetype == DBT_DEVTYP_HANDLE) return OnQueryRemove(handle->dbch_handle);
        break;
    case DBT_DEVICEQUERYREMOVEFAILED:
        if (header->dbch_devicetype == DBT_DEVTYP_HANDLE) OnQueryRemoveFailed(handle->dbch_handle);
        break;
    case DBT_DEVICEREMOVECOMPLETE:
        if (header->dbch_devicetype == DBT_DEVTYP_VOLUME) CatchHr([&] { actions_.DrivesRemoved(volume->dbcv_unitmask); });
        // The notification kept through the safe removal has nothing left to tell.
        if (header->dbch_devicetype == DBT_DEVTYP_HANDLE) UnregisterHandle(handle->dbch_handle);
        break;
    default:
        break;
    }
    return TRUE;
}

// The volume may go only once its storage has let go of the root; a storage
// that cannot be stopped keeps the volume. The storage's notifications stay,
// so a cancelled removal is heard and the storage started again.
LRESULT DeviceEventReceiver::OnQueryRemove(HANDLE file) {
    // The stop waits for the storage's worker, which uses the map too, so
    // the storage is looked up first and stopped without the lock.
    HRESULT hr = CatchHr([&] { actions_.StopStorage(StorageIdOfHandle(file)); });
    return SUCCEEDED(hr) ? TRUE : BROADCAST_QUERY_DENY;
}

void DeviceEventReceiver::OnQueryRemoveFailed(HANDLE file) {
    CatchHr([&] {
        const std::wstring storageId = StorageIdOfHandle(file);
        UnregisterStorage(storageId);
        actions_.StartStorage(storageId);
    });
}

}  // namespace tandem
