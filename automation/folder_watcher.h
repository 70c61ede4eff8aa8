#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "MarloTandem.h"
#include "MarloZephFw.h"
#include "automation_context.h"
#include "automation_library.h"
#include "com/com_object.h"
#include "com/dispatch.h"
#include "com/provide_class_info.h"
#include "com/support_error_info.h"
#include "connection_point.h"
#include "registered_folder.h"
#include "shared_ptr.h"
#include "storage_info.h"
#include "tn_registered_folder.h"

namespace tandem {

// The creatable folder watcher. It keeps no state of its own: every
// instance works on the service's folder list, storage list and command
// threads, and its sinks hear the events of the whole process.
class CFolderWatcher : public ComObjectRoot,
                       public DispatchImpl<IFolderWatcher3, WatcherLibrary>,
                       public ProvideClassInfo2Impl<CLSID_FolderWatcher, ServiceClassLibrary>,
                       public ConnectionPointContainerImpl,
                       public SupportErrorInfoImpl<IFolderWatcher, IFolderWatcher2, IFolderWatcher3> {
public:
    static constexpr bool kAggregatable = true;
    using Interfaces =
        InterfaceTable<IFolderWatcher3, Via<IFolderWatcher2, IFolderWatcher3>, Via<IFolderWatcher, IFolderWatcher3>,
                       Via<IDispatch, IFolderWatcher3>, Via<IProvideClassInfo, IProvideClassInfo2>,
                       IProvideClassInfo2, IConnectionPointContainer, ISupportErrorInfo>;

    explicit CFolderWatcher(AutomationContext& context)
        : ConnectionPointContainerImpl({&watcherEvents_, &folderEvents_}),
          context_(context),
          watcherEvents_(*this, context.FolderWatcherEvents()),
          folderEvents_(*this, context.RegisteredFolderEvents()) {}

    // IFolderWatcher
    STDMETHODIMP StartMonitoring(BSTR appname, BSTR folder, LONG behavior, LONG* result) override;
    STDMETHODIMP StopMonitoring(BSTR appname, BSTR folder, LONG* result) override;
    STDMETHODIMP RegisterFolder(BSTR appname, BSTR folder, LONG behavior, LONG* result) override;
    STDMETHODIMP UnregisterFolder(BSTR appname, BSTR folder, LONG* result) override;
    STDMETHODIMP GetStatusCount(LONG* count, LONG* result) override;
    STDMETHODIMP GetStatus(LONG num, BSTR* folder, BSTR* owner, LONG* behavior, LONG* busy, LONG* result) override;
    STDMETHODIMP RefreshFolder(BSTR appname, BSTR folder, LONG priority, LONG* result) override;
    STDMETHODIMP RefreshFolderAbort(BSTR appname, BSTR folder, LONG* result) override;
    STDMETHODIMP RefreshFolderOnStartup(LONG startup, LONG priority, LONG* result) override;
    STDMETHODIMP GetEmptyCount(LONG* count, LONG* result) override;

    // IFolderWatcher2
    STDMETHODIMP RegisterFolder2(BSTR appname, BSTR folder, LONG behavior, SAFEARRAY* propId, SAFEARRAY* propValue,
                                 LONG* result) override;
    STDMETHODIMP GetStatus2(LONG num, BSTR* folder, BSTR* owner, LONG* behavior, LONG* busy, SAFEARRAY** propId,
                            SAFEARRAY** propValue, LONG* result) override;
    STDMETHODIMP UpdateFolder(BSTR appname, BSTR folder, SAFEARRAY* propId, SAFEARRAY* propValue,
                              LONG* result) override;
    STDMETHODIMP CheckFolder(BSTR folder, LONG* result) override;

    // IFolderWatcher3
    STDMETHODIMP get_RegisteredFolders(ITnRegisteredFolderList** pVal) override;
    STDMETHODIMP CreateRegisteredFolder(BSTR strOwnerApplication, BSTR strPath, BSTR strUserID, BSTR strPassword,
                                        ITnRegisteredFolder** pVal) override;
    STDMETHODIMP RegisterFolder3(ITnRegisteredFolder* pFolder) override;
    STDMETHODIMP UnregisterFolder2(ITnRegisteredFolder* pFolder) override;
    STDMETHODIMP UpdateFolder2(ITnRegisteredFolder* pFolder) override;

private:
    struct Selected {
        SharedPtr<RegisteredFolder> folder;
        SharedPtr<StorageInfo> storage;
    };
    struct Status {
        std::wstring path;
        std::wstring owner;
        LONG behavior;
        LONG busy;
        std::map<LONG, std::wstring> defaults;
    };

    // The folder registered at path (whatever its owner), else the owner's
    // folders; nothing when both are empty.
    std::vector<Selected> Select(BSTR appname, BSTR folder) const;
    SharedPtr<StorageInfo> StorageOf(const RegisteredFolder& folder) const;
    Status StatusAt(LONG num) const;

    // Creates (or finds) the owner's record at path and enrols it.
    void RegisterPath(const std::wstring& owner, const std::wstring& path, LONG behavior,
                      const std::map<LONG, std::wstring>* defaults);
    // Records the storage, absorbs the folders below, adds and announces the
    // folder, starts its monitoring and queues its registration.
    void Enrol(const SharedPtr<RegisteredFolder>& folder, const SharedPtr<StorageInfo>& made);
    // Registers the storage; returns the one the list holds for its root.
    SharedPtr<StorageInfo> RecordStorage(RegisteredFolder& folder, const SharedPtr<StorageInfo>& storage);
    void Unregister(const Selected& selected);
    void Update(const Selected& selected);
    // The service's own descriptor behind a client's interface; E_NOINTERFACE otherwise.
    CTnRegisteredFolder& Descriptor(ITnRegisteredFolder* object) const;
    // E_INVALIDARG for a descriptor of a folder not (or no longer) in the list.
    void RequireRegistered(const SharedPtr<RegisteredFolder>& folder) const;

    AutomationContext& context_;
    CProxy_ConnectionPoint watcherEvents_;
    CProxy_ConnectionPoint folderEvents_;
};

}  // namespace tandem
