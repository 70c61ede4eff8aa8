#pragma once

#include <windows.h>

#include <vector>

#include "MarloZephFw.h"
#include "automation_context.h"
#include "automation_library.h"
#include "com/com_object.h"
#include "com/dispatch.h"
#include "com/free_threaded_marshaler.h"
#include "com/support_error_info.h"
#include "registered_folder.h"
#include "shared_ptr.h"

namespace tandem {

// The registered folders as they were when the list was made; later
// registrations do not change it.
class CTnRegisteredFolderList : public ComObjectRoot,
                                public DispatchImpl<ITnRegisteredFolderList, WatcherLibrary>,
                                public SupportErrorInfoImpl<ITnRegisteredFolderList>,
                                public FreeThreadedMarshaler {
public:
    using Interfaces = InterfaceTable<ITnRegisteredFolderList, Via<IDispatch, ITnRegisteredFolderList>,
                                      ISupportErrorInfo, FreeThreadedMarshaler>;

    CTnRegisteredFolderList(AutomationContext& context, std::vector<SharedPtr<RegisteredFolder>> folders) noexcept
        : context_(context), folders_(std::move(folders)) {}

    STDMETHODIMP get__NewEnum(IUnknown** pVal) override;
    STDMETHODIMP get_Item(LONG nIndex, ITnRegisteredFolder** pVal) override;
    STDMETHODIMP get_count(LONG* pVal) override;

private:
    AutomationContext& context_;
    const std::vector<SharedPtr<RegisteredFolder>> folders_;
};

// A snapshot of every registered folder, for the watcher's RegisteredFolders; failures raised.
ComPtr<ITnRegisteredFolderList> MakeRegisteredFolderList(AutomationContext& context);

}  // namespace tandem
