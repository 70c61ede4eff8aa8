#pragma once

#include <windows.h>

#include "MarloTandem.h"
#include "MarloZephFw.h"
#include "automation_context.h"
#include "automation_library.h"
#include "com/com_object.h"
#include "com/dispatch.h"
#include "com/provide_class_info.h"
#include "com/support_error_info.h"
#include "connection_point.h"

namespace tandem {

// The creatable storage manager: adds, lists and removes the storages of
// the service's StorageManager; its sinks hear every storage event of the
// process.
class CTnStorageManager : public ComObjectRoot,
                          public DispatchImpl<ITnStorageManager, WatcherLibrary>,
                          public ProvideClassInfo2Impl<CLSID_TnStorageManager, ServiceClassLibrary>,
                          public ConnectionPointContainerImpl,
                          public SupportErrorInfoImpl<ITnStorageManager> {
public:
    static constexpr bool kAggregatable = true;
    using Interfaces = InterfaceTable<ITnStorageManager, Via<IDispatch, ITnStorageManager>,
                                      Via<IProvideClassInfo, IProvideClassInfo2>, IProvideClassInfo2,
                                      IConnectionPointContainer, ISupportErrorInfo>;

    explicit CTnStorageManager(AutomationContext& context)
        : ConnectionPointContainerImpl({&events_}),
          context_(context),
          events_(*this, context.StorageManagerEvents()) {}

    STDMETHODIMP AddStorage(BSTR strRootPath, BSTR strUserID, BSTR strPassword, ITnStorageInfo** pVal) override;
    STDMETHODIMP RemoveStorage(BSTR strRootPath) override;
    STDMETHODIMP get_Storages(ITnStorageInfoList** pVal) override;

private:
    AutomationContext& context_;
    CProxy_ConnectionPoint events_;
};

}  // namespace tandem
