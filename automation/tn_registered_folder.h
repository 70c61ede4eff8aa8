#pragma once

#include <windows.h>

#include <map>
#include <set>
#include <string>

#include "MarloZephFw.h"
#include "automation_context.h"
#include "automation_library.h"
#include "com/com_object.h"
#include "com/dispatch.h"
#include "com/free_threaded_marshaler.h"
#include "com/support_error_info.h"
#include "registered_folder.h"
#include "shared_ptr.h"
#include "storage_info.h"
#include "sync_lock.h"

namespace tandem {

// A descriptor of one registered folder: a copy of its editable properties
// that reaches the folder record only through ApplyToFolder; its status
// and paths are read live.
class CTnRegisteredFolder : public ComObjectRoot,
                            public DispatchImpl<ITnRegisteredFolder, WatcherLibrary>,
                            public SupportErrorInfoImpl<ITnRegisteredFolder>,
                            public FreeThreadedMarshaler {
public:
    using Interfaces = InterfaceTable<ITnRegisteredFolder, Via<IDispatch, ITnRegisteredFolder>, ISupportErrorInfo,
                                      FreeThreadedMarshaler>;

    explicit CTnRegisteredFolder(AutomationContext& context) noexcept : context_(context) {}

    // Binds to the folder and its storage (found by id: E_INVALIDARG when
    // gone) and copies the folder's properties.
    void Attach(SharedPtr<RegisteredFolder> folder);
    void Attach(SharedPtr<RegisteredFolder> folder, SharedPtr<StorageInfo> storage);
    // Copies the properties into the bound folder record.
    void ApplyToFolder();

    const SharedPtr<RegisteredFolder>& Folder() const noexcept { return folder_; }
    const SharedPtr<StorageInfo>& Storage() const noexcept { return storage_; }

    STDMETHODIMP get_StorageInfo(ITnStorageInfo** pVal) override;
    STDMETHODIMP get_Path(BSTR* pVal) override;
    STDMETHODIMP get_OwnerApplication(BSTR* pVal) override;
    STDMETHODIMP get_MonitoringBehavior(_zephfw_behavior* pVal) override;
    STDMETHODIMP put_MonitoringBehavior(_zephfw_behavior newVal) override;
    STDMETHODIMP get_RefreshOnStartup(_zephfw_startup* pVal) override;
    STDMETHODIMP put_RefreshOnStartup(_zephfw_startup newVal) override;
    STDMETHODIMP get_WatchSubTree(VARIANT_BOOL* pVal) override;
    STDMETHODIMP put_WatchSubTree(VARIANT_BOOL newVal) override;
    STDMETHODIMP SetPropertyEx(TnRegisteredFolderPropertyTypes nPropertyType, VARIANT newVal) override;
    STDMETHODIMP GetPropertyEx(TnRegisteredFolderPropertyTypes nPropertyType, VARIANT* pVal) override;
    STDMETHODIMP GetStatusEx(TnFolderStatusTypes nStatusType, VARIANT* pVal) override;
    STDMETHODIMP GetDefaultProperties(SAFEARRAY** pPropIDs, SAFEARRAY** pPropValues) override;
    STDMETHODIMP SetDefaultProperties(SAFEARRAY* pPropIDs, SAFEARRAY* pPropValues) override;
    STDMETHODIMP GetObjectCategoryRestrictions(SAFEARRAY** pVal) override;
    STDMETHODIMP SetObjectCategoryRestrictions(SAFEARRAY* newVal) override;
    STDMETHODIMP StartMonitoring() override;
    STDMETHODIMP StopMonitoring() override;
    STDMETHODIMP Refresh() override;
    STDMETHODIMP AbortOperation(TnFolderOperationTypes nOperationType) override;

private:
    // E_UNEXPECTED when the object was never bound.
    void CheckBound() const;
    std::wstring CommandPath() const;

    AutomationContext& context_;
    SharedPtr<StorageInfo> storage_;
    SharedPtr<RegisteredFolder> folder_;
    mutable CSyncLock lock_;
    LONG behavior_ = zephfwBehaviorMonitor;
    LONG refresh_ = zephfwStartupSilent;
    VARIANT_BOOL watchSubTree_ = VARIANT_TRUE;
    std::map<LONG, std::wstring> defaults_;
    std::set<LONG> categories_;
};

// A new descriptor bound to the folder (and its storage, looked up when not
// given); failures raised.
ComPtr<ComObject<CTnRegisteredFolder>> MakeRegisteredFolderObject(AutomationContext& context,
                                                                   SharedPtr<RegisteredFolder> folder,
                                                                   SharedPtr<StorageInfo> storage = nullptr);

}  // namespace tandem
