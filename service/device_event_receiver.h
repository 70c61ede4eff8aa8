#pragma once

#include <windows.h>
#include <dbt.h>

#include <map>
#include <string>
#include <utility>

#include "service_command_host.h"
#include "sync_lock.h"
#include "unique_resource.h"

namespace tandem {

inline constexpr wchar_t kDeviceEventWindowClass[] = L"Marlo_Tandem_DeviceEventReceiver";

// What volume events do to the storages.
class DeviceEventActions {
public:
    virtual ~DeviceEventActions() = default;
    // Bit 0 is A: ... bit 25 is Z:.
    virtual void DrivesArrived(DWORD unitMask) = 0;
    virtual void DrivesRemoved(DWORD unitMask) = 0;
    // Both raise when no storage has the id. Stopping closes the storage's
    // root but keeps its notifications, which tell how the removal ends.
    virtual void StopStorage(const std::wstring& storageId) = 0;
    virtual void StartStorage(const std::wstring& storageId) = 0;
};

struct WindowTraits {
    using type = HWND;
    static type invalid() noexcept { return nullptr; }
    static bool valid(type h) noexcept { return h != nullptr; }
    static void close(type h) noexcept { DestroyWindow(h); }
};
using UniqueWindow = UniqueResource<WindowTraits>;

struct DeviceNotifyTraits {
    using type = HDEVNOTIFY;
    static type invalid() noexcept { return nullptr; }
    static bool valid(type h) noexcept { return h != nullptr; }
    static void close(type h) noexcept { UnregisterDeviceNotification(h); }
};
using UniqueDeviceNotify = UniqueResource<DeviceNotifyTraits>;

// A hidden window on the main thread that hears volume arrivals and removals
// and holds the handle notifications that let a storage close its root
// before its volume goes.
class DeviceEventReceiver final : public DeviceNotificationRegistry {
public:
    explicit DeviceEventReceiver(DeviceEventActions& actions) noexcept : actions_(actions) {}
    DeviceEventReceiver(const DeviceEventReceiver&) = delete;
    DeviceEventReceiver& operator=(const DeviceEventReceiver&) = delete;
    // Withdraws every notification, then destroys the window if it is still there.
    ~DeviceEventReceiver() override;

    // On the thread that runs the message loop; failures raised.
    void Create();
    // On the creating thread; the notifications stay until withdrawn.
    void DestroyWindow() noexcept;
    HWND Window() const noexcept { return window_.get(); }

    // A handle already held keeps its first notification.
    void RegisterHandle(HANDLE file, const std::wstring& storageId);
    void UnregisterHandle(HANDLE file) noexcept;
    void UnregisterStorage(const std::wstring& storageId) noexcept;
    // E_INVALIDARG for a handle not held.
    std::wstring StorageIdOfHandle(HANDLE file) const;
    size_t NotificationCount() const;

    void Register(const std::wstring& storageId, HANDLE root) override { RegisterHandle(root, storageId); }
    void Withdraw(const std::wstring& storageId) noexcept override { UnregisterStorage(storageId); }

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnDeviceChange(WPARAM event, const DEV_BROADCAST_HDR* header);
    LRESULT OnQueryRemove(HANDLE file);
    void OnQueryRemoveFailed(HANDLE file);

    DeviceEventActions& actions_;
    UniqueWindow window_;
    mutable CSyncLock lock_;
    std::map<HANDLE, std::pair<UniqueDeviceNotify, std::wstring>> handles_;
};

}  // namespace tandem
