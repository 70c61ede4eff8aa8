#pragma once

#include <windows.h>

#include <vector>

#include "MarloZephFw.h"
#include "automation_library.h"
#include "com/com_object.h"
#include "com/dispatch.h"
#include "com/free_threaded_marshaler.h"
#include "com/support_error_info.h"
#include "shared_ptr.h"
#include "storage_info.h"

namespace tandem {

// The storages as they were when the list was made; it never changes.
class CTnStorageInfoList : public ComObjectRoot,
                           public DispatchImpl<ITnStorageInfoList, WatcherLibrary>,
                           public SupportErrorInfoImpl<ITnStorageInfoList>,
                           public FreeThreadedMarshaler {
public:
    using Interfaces = InterfaceTable<ITnStorageInfoList, Via<IDispatch, ITnStorageInfoList>, ISupportErrorInfo,
                                      FreeThreadedMarshaler>;

    explicit CTnStorageInfoList(std::vector<SharedPtr<StorageInfo>> storages) noexcept
        : storages_(std::move(storages)) {}

    STDMETHODIMP get__NewEnum(IUnknown** pVal) override;
    STDMETHODIMP get_Item(LONG nIndex, ITnStorageInfo** pVal) override;
    STDMETHODIMP get_count(LONG* pVal) override;

private:
    const std::vector<SharedPtr<StorageInfo>> storages_;
};

}  // namespace tandem
