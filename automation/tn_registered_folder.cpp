#include "tn_registered_folder.h"

#include "bstr.h"
#include "com/error_info.h"
#include "safe_array.h"
#include "tn_storage_info.h"

namespace tandem {

namespace {

bool IsStartupOrBehavior(const VARIANT& value) {
    return V_VT(&value) == VT_I4 && V_I4(&value) >= 0 && V_I4(&value) <= 2;
}

LONG ElementCount(SAFEARRAY* array) {
    if (SafeArrayGetDim(array) != 1) ThrowHr(E_INVALIDARG);
    LONG lower = 0, upper = -1;
    CheckHr(SafeArrayGetLBound(array, 1, &lower));
    CheckHr(SafeArrayGetUBound(array, 1, &upper));
    return upper - lower + 1;
}

void CheckElementType(SAFEARRAY* array, VARTYPE expected) {
    VARTYPE type = VT_EMPTY;
    if (!array || FAILED(SafeArrayGetVartype(array, &type)) || type != expected) ThrowHr(E_INVALIDARG);
}

SafeArray NewVector(VARTYPE type, size_t count) {
    SafeArray array(SafeArrayCreateVector(type, 0, static_cast<ULONG>(count)));
    if (!array) ThrowHr(E_OUTOFMEMORY);
    return array;
}

}  // namespace

ComPtr<ComObject<CTnRegisteredFolder>> MakeRegisteredFolderObject(AutomationContext& context,
                                                                   SharedPtr<RegisteredFolder> folder,
                                                                   SharedPtr<StorageInfo> storage) {
    auto object = MakeComObject<CTnRegisteredFolder>(context);
    if (storage) {
        object->Attach(std::move(folder), std::move(storage));
    } else {
        object->Attach(std::move(folder));
    }
    return object;
}

void CTnRegisteredFolder::Attach(SharedPtr<RegisteredFolder> folder) {
    auto storage = context_.Storages().FindById(folder->StorageID());
    Attach(std::move(folder), std::move(storage));
}

void CTnRegisteredFolder::Attach(SharedPtr<RegisteredFolder> folder, SharedPtr<StorageInfo> storage) {
    CSyncLockHolder hold(lock_);
    behavior_ = folder->Behavior;
    refresh_ = folder->Refresh;
    watchSubTree_ = folder->WatchSubTree ? VARIANT_TRUE : VARIANT_FALSE;
    defaults_ = folder->Defaults();
    categories_ = folder->ObjectCategories();
    folder_ = std::move(folder);
    storage_ = std::move(storage);
}

void CTnRegisteredFolder::ApplyToFolder() {
    CheckBound();
    CSyncLockHolder hold(lock_);
    folder_->Behavior = behavior_;
    folder_->Refresh = refresh_;
    folder_->WatchSubTree = watchSubTree_ != VARIANT_FALSE;
    folder_->SetDefaults(defaults_);
    folder_->SetObjectCategories(categories_);
}

void CTnRegisteredFolder::CheckBound() const {
    if (!folder_ || !storage_) ThrowHr(E_UNEXPECTED);
}

std::wstring CTnRegisteredFolder::CommandPath() const { return folder_->CommandPath(storage_->RootPath()); }

STDMETHODIMP CTnRegisteredFolder::get_StorageInfo(ITnStorageInfo** pVal) {
    if (!pVal) return E_POINTER;
    *pVal = nullptr;
    return CatchHr([&] {
        CheckBound();
        *pVal = MakeStorageInfoObject(storage_).detach();
    });
}

STDMETHODIMP CTnRegisteredFolder::get_Path(BSTR* pVal) {
    if (!pVal) return E_POINTER;
    *pVal = nullptr;
    return CatchHr([&] {
        CheckBound();
        return AllocBstr(folder_->FullPath(storage_->RootPath()), pVal);
    });
}

STDMETHODIMP CTnRegisteredFolder::get_OwnerApplication(BSTR* pVal) {
    if (!pVal) return E_POINTER;
    *pVal = nullptr;
    return CatchHr([&] {
        CheckBound();
        return AllocBstr(folder_->Owner(), pVal);
    });
}

STDMETHODIMP CTnRegisteredFolder::get_MonitoringBehavior(_zephfw_behavior* pVal) {
    if (!pVal) return E_POINTER;
    CSyncLockHolder hold(lock_);
    *pVal = static_cast<_zephfw_behavior>(behavior_);
    return S_OK;
}

STDMETHODIMP CTnRegisteredFolder::put_MonitoringBehavior(_zephfw_behavior newVal) {
    CSyncLockHolder hold(lock_);
    behavior_ = newVal;
    return S_OK;
}

STDMETHODIMP CTnRegisteredFolder::get_RefreshOnStartup(_zephfw_startup* pVal) {
    if (!pVal) return E_POINTER;
    CSyncLockHolder hold(lock_);
    *pVal = static_cast<_zephfw_startup>(refresh_);
    return S_OK;
}

STDMETHODIMP CTnRegisteredFolder::put_RefreshOnStartup(_zephfw_startup newVal) {
    CSyncLockHolder hold(lock_);
    refresh_ = newVal;
    return S_OK;
}

STDMETHODIMP CTnRegisteredFolder::get_WatchSubTree(VARIANT_BOOL* pVal) {
    if (!pVal) return E_POINTER;
    CSyncLockHolder hold(lock_);
    *pVal = watchSubTree_;
    return S_OK;
}

STDMETHODIMP CTnRegisteredFolder::put_WatchSubTree(VARIANT_BOOL newVal) {
    CSyncLockHolder hold(lock_);
    watchSubTree_ = newVal;
    return S_OK;
}

STDMETHODIMP CTnRegisteredFolder::SetPropertyEx(TnRegisteredFolderPropertyTypes nPropertyType, VARIANT newVal) {
    CSyncLockHolder hold(lock_);
    switch (nPropertyType) {
    case tnRegisteredFolderProperty_MonitoringBehavior:
        if (!IsStartupOrBehavior(newVal)) return E_INVALIDARG;
        behavior_ = V_I4(&newVal);
        return S_OK;
    case tnRegisteredFolderProperty_RefreshOnStartup:
        if (!IsStartupOrBehavior(newVal)) return E_INVALIDARG;
        refresh_ = V_I4(&newVal);
        return S_OK;
    case tnRegisteredFolderProperty_WatchSubTree:
        if (V_VT(&newVal) != VT_BOOL) return E_INVALIDARG;
        watchSubTree_ = V_BOOL(&newVal);
        return S_OK;
    }
    return E_INVALIDARG;
}

STDMETHODIMP CTnRegisteredFolder::GetPropertyEx(TnRegisteredFolderPropertyTypes nPropertyType, VARIANT* pVal) {
    if (!pVal) return E_POINTER;
    VariantInit(pVal);
    CSyncLockHolder hold(lock_);
    switch (nPropertyType) {
    case tnRegisteredFolderProperty_MonitoringBehavior:
    case tnRegisteredFolderProperty_RefreshOnStartup:
        V_VT(pVal) = VT_I4;
        V_I4(pVal) = nPropertyType == tnRegisteredFolderProperty_MonitoringBehavior ? behavior_ : refresh_;
        return S_OK;
    case tnRegisteredFolderProperty_WatchSubTree:
        V_VT(pVal) = VT_BOOL;
        V_BOOL(pVal) = watchSubTree_;
        return S_OK;
    }
    return E_INVALIDARG;
}

STDMETHODIMP CTnRegisteredFolder::GetStatusEx(TnFolderStatusTypes nStatusType, VARIANT* pVal) {
    if (!pVal) return E_POINTER;
    VariantInit(pVal);
    return CatchHr([&] {
        CheckBound();
        bool status = false;
        switch (nStatusType) {
        case tnFolderStatusType_Busy:
            status = context_.IsStorageBusy(*storage_);
            break;
        case tnFolderStatusType_Monitoring:
            status = folder_->IsMonitorRunning();
            break;
        default:
            ThrowHr(E_INVALIDARG);
        }
        V_VT(pVal) = VT_BOOL;
        V_BOOL(pVal) = status ? VARIANT_TRUE : VARIANT_FALSE;
    });
}

STDMETHODIMP CTnRegisteredFolder::GetDefaultProperties(SAFEARRAY** pPropIDs, SAFEARRAY** pPropValues) {
    if (!pPropIDs || !pPropValues) return E_POINTER;
    *pPropIDs = nullptr;
    *pPropValues = nullptr;
    return CatchHr([&] {
        CSyncLockHolder hold(lock_);
        SafeArray ids = NewVector(VT_I4, defaults_.size());
        SafeArray values = NewVector(VT_BSTR, defaults_.size());
        LONG index = 0;
        for (const auto& [id, value] : defaults_) {
            LONG copy = id;
            CheckHr(SafeArrayPutElement(ids.get(), &index, &copy));
            Bstr text(value);
            CheckHr(SafeArrayPutElement(values.get(), &index, text.get()));
            ++index;
        }
        *pPropIDs = ids.release();
        *pPropValues = values.release();
    });
}

STDMETHODIMP CTnRegisteredFolder::SetDefaultProperties(SAFEARRAY* pPropIDs, SAFEARRAY* pPropValues) {
    return CatchHr([&] {
        CheckElementType(pPropIDs, VT_I4);
        CheckElementType(pPropValues, VT_BSTR);
        const LONG count = ElementCount(pPropIDs);
        if (ElementCount(pPropValues) != count) ThrowHr(E_INVALIDARG);
        std::map<LONG, std::wstring> defaults;
        const SafeArrayAccess ids(pPropIDs), values(pPropValues);
        for (LONG i = 0; i < count; ++i) {
            defaults.emplace(ids.data<LONG>()[i], std::wstring(BstrView(values.data<BSTR>()[i])));
        }
        CSyncLockHolder hold(lock_);
        defaults_ = std::move(defaults);
    });
}

STDMETHODIMP CTnRegisteredFolder::GetObjectCategoryRestrictions(SAFEARRAY** pVal) {
    if (!pVal) return E_POINTER;
    *pVal = nullptr;
    return CatchHr([&] {
        CSyncLockHolder hold(lock_);
        SafeArray categories = NewVector(VT_I4, categories_.size());
        LONG index = 0;
        for (LONG category : categories_) {
            CheckHr(SafeArrayPutElement(categories.get(), &index, &category));
            ++index;
        }
        *pVal = categories.release();
    });
}

STDMETHODIMP CTnRegisteredFolder::SetObjectCategoryRestrictions(SAFEARRAY* newVal) {
    return CatchHr([&] {
        CheckElementType(newVal, VT_I4);
        const LONG count = ElementCount(newVal);
        const SafeArrayAccess access(newVal);
        std::set<LONG> categories(access.data<LONG>(), access.data<LONG>() + count);
        CSyncLockHolder hold(lock_);
        categories_ = std::move(categories);
    });
}

STDMETHODIMP CTnRegisteredFolder::StartMonitoring() {
    return CatchHrAndReport(IID_ITnRegisteredFolder, [&] {
        CheckBound();
        if (storage_->IsEnabled()) {
            context_.Folders().StartMonitoring(folder_, false);
        } else {
            // Connecting the storage starts the monitoring of all its folders.
            storage_->Start(false);
        }
    });
}

STDMETHODIMP CTnRegisteredFolder::StopMonitoring() {
    return CatchHrAndReport(IID_ITnRegisteredFolder, [&] {
        CheckBound();
        folder_->StopMonitor();
    });
}

STDMETHODIMP CTnRegisteredFolder::Refresh() {
    return CatchHrAndReport(IID_ITnRegisteredFolder, [&] {
        CheckBound();
        context_.PostRefreshFolder(*storage_, folder_, CommandPath());
    });
}

STDMETHODIMP CTnRegisteredFolder::AbortOperation(TnFolderOperationTypes nOperationType) {
    return CatchHrAndReport(IID_ITnRegisteredFolder, [&] {
        CheckBound();
        context_.CancelFolderTasks(*storage_, nOperationType, folder_, CommandPath());
    });
}

}  // namespace tandem
