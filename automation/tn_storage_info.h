#pragma once

#include <windows.h>

#include "MarloZephFw.h"
#include "automation_library.h"
#include "com/com_object.h"
#include "com/dispatch.h"
#include "com/free_threaded_marshaler.h"
#include "com/support_error_info.h"
#include "shared_ptr.h"
#include "storage_info.h"

namespace tandem {

// A client's view of one storage; keeps the storage record alive, so a
// removed storage stays readable through it.
class CTnStorageInfo : public ComObjectRoot,
                       public DispatchImpl<ITnStorageInfo, WatcherLibrary>,
                       public SupportErrorInfoImpl<ITnStorageInfo>,
                       public FreeThreadedMarshaler {
public:
    using Interfaces =
        InterfaceTable<ITnStorageInfo, Via<IDispatch, ITnStorageInfo>, ISupportErrorInfo, FreeThreadedMarshaler>;

    explicit CTnStorageInfo(SharedPtr<StorageInfo> storage) noexcept : storage_(std::move(storage)) {}

    STDMETHODIMP get_RootPath(BSTR* pVal) override;
    STDMETHODIMP get_UniqueID(BSTR* pVal) override;
    STDMETHODIMP get_Enabled(VARIANT_BOOL* pVal) override;
    STDMETHODIMP get_StorageType(TnStorageTypes* pVal) override;
    STDMETHODIMP get_UserID(BSTR* pVal) override;
    STDMETHODIMP SetIDAndPassword(BSTR strUserID, BSTR strPassword) override;

    const SharedPtr<StorageInfo>& Storage() const noexcept { return storage_; }

private:
    const SharedPtr<StorageInfo> storage_;
};

// A new storage object for a client; failures raised.
ComPtr<ITnStorageInfo> MakeStorageInfoObject(SharedPtr<StorageInfo> storage);

}  // namespace tandem
