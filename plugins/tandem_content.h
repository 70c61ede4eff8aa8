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
#include "safe_array.h"
#include "sync_lock.h"

namespace tandem {

// Times as plug-ins see them; a time that could not be converted fails.
HRESULT CopyTime(const LocalTime& time, DATE* out) noexcept;

// A file handed to plug-ins.
class CTandemContent : public ComObjectRoot,
                       public DispatchImpl<ITandemContent, ProgressNotifierLibrary>,
                       public FreeThreadedMarshaler {
public:
    using Interfaces = InterfaceTable<ITandemContent, Via<IDispatch, ITandemContent>, FreeThreadedMarshaler>;

    CTandemContent(ContentInfoPtr info, PluginObjectServicesPtr services);

    STDMETHODIMP get_Path(BSTR* out) override;
    STDMETHODIMP get_CreationTime(DATE* out) override;
    STDMETHODIMP get_LastWriteTime(DATE* out) override;
    STDMETHODIMP get_LastAccessTime(DATE* out) override;
    STDMETHODIMP get_Hidden(VARIANT_BOOL* out) override;
    STDMETHODIMP get_Size(ULONGLONG* out) override;
    STDMETHODIMP GetProperty(LONG id, SAFEARRAY* converterParams, VARIANT* out) override;
    STDMETHODIMP GetAllProperties(SAFEARRAY** out) override;

private:
    PropertyList ConverterParameters(SAFEARRAY* array) const;
    SafeArray MakeRecordArray(const PropertyList& properties) const;

    const ContentInfoPtr info_;
    const PluginObjectServicesPtr services_;
    const std::wstring path_;
    CSyncLock lock_;
};

ComPtr<ITandemContent> MakeTandemContent(ContentInfoPtr info, PluginObjectServicesPtr services);

}  // namespace tandem
