#pragma once

#include <windows.h>

#include <string>

#include "TandemPlugin.h"
#include "com/com_object.h"
#include "com/dispatch.h"
#include "com/free_threaded_marshaler.h"
#include "file_info.h"
#include "plugin_object_services.h"
#include "progress_notifier.h"
#include "registered_folder.h"
#include "sync_lock.h"

namespace tandem {

// A folder handed to plug-ins. It keeps the registered folder (for the
// sub-tree switch and the category restrictions), not the plug-in set: a
// plug-in that keeps the object must not keep itself open.
class CTandemFolder : public ComObjectRoot,
                      public DispatchImpl<ITandemFolder, ProgressNotifierLibrary>,
                      public FreeThreadedMarshaler {
public:
    using Interfaces = InterfaceTable<ITandemFolder, Via<IDispatch, ITandemFolder>, FreeThreadedMarshaler>;

    CTandemFolder(FileInfoPtr info, SharedPtr<RegisteredFolder> folder, PluginObjectServicesPtr services);

    STDMETHODIMP get_Path(BSTR* out) override;
    STDMETHODIMP get_CreationTime(DATE* out) override;
    STDMETHODIMP get_LastWriteTime(DATE* out) override;
    STDMETHODIMP get_LastAccessTime(DATE* out) override;
    STDMETHODIMP get_Hidden(VARIANT_BOOL* out) override;
    STDMETHODIMP get_Name(BSTR* out) override;
    STDMETHODIMP get_SubFolders(ITandemFolderList** out) override;
    STDMETHODIMP get_SubContents(ITandemContentList** out) override;

private:
    void BuildListsLocked();

    const FileInfoPtr info_;
    const SharedPtr<RegisteredFolder> folder_;
    const PluginObjectServicesPtr services_;
    const std::wstring path_;
    CSyncLock lock_;
    ComPtr<ITandemFolderList> subFolders_;
    ComPtr<ITandemContentList> subContents_;
};

ComPtr<ITandemFolder> MakeTandemFolder(FileInfoPtr info, SharedPtr<RegisteredFolder> folder,
                                       PluginObjectServicesPtr services);

}  // namespace tandem
