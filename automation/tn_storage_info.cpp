#include "tn_storage_info.h"

#include <string>

#include "bstr.h"
#include "com/error_info.h"
#include "secret_string.h"

namespace tandem {

namespace {

// A share is shown as \\server\share; a drive root keeps its backslash.
std::wstring ClientRootPath(std::wstring root) {
    if (root.starts_with(L"\\\\") && root.ends_with(L'\\')) root.pop_back();
    return root;
}

}  // namespace

ComPtr<ITnStorageInfo> MakeStorageInfoObject(SharedPtr<StorageInfo> storage) {
    return ComPtr<ITnStorageInfo>(MakeComObject<CTnStorageInfo>(std::move(storage)).get());
}

STDMETHODIMP CTnStorageInfo::get_RootPath(BSTR* pVal) {
    if (!pVal) return E_POINTER;
    *pVal = nullptr;
    return CatchHr([&] { return AllocBstr(ClientRootPath(storage_->RootPath()), pVal); });
}

STDMETHODIMP CTnStorageInfo::get_UniqueID(BSTR* pVal) {
    if (!pVal) return E_POINTER;
    *pVal = nullptr;
    return AllocBstr(storage_->UniqueID(), pVal);
}

STDMETHODIMP CTnStorageInfo::get_Enabled(VARIANT_BOOL* pVal) {
    if (!pVal) return E_POINTER;
    *pVal = storage_->IsEnabled() ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

STDMETHODIMP CTnStorageInfo::get_StorageType(TnStorageTypes* pVal) {
    if (!pVal) return E_POINTER;
    *pVal = storage_->StorageType();
    return S_OK;
}

STDMETHODIMP CTnStorageInfo::get_UserID(BSTR* pVal) {
    if (!pVal) return E_POINTER;
    *pVal = nullptr;
    return CatchHr([&] { return AllocBstr(storage_->UserID(), pVal); });
}

// The command thread is stopped around the change so that no connection
// uses half-changed credentials; it is started again even when the change
// fails, so the storage is never left stopped.
STDMETHODIMP CTnStorageInfo::SetIDAndPassword(BSTR strUserID, BSTR strPassword) {
    return CatchHrAndReport(IID_ITnStorageInfo, [&] {
        const std::wstring userId(BstrView(strUserID));
        const SecretString password(BstrView(strPassword));
        storage_->Stop();
        HRESULT hr = CatchHr([&] { storage_->SetCredentials(userId, password.get()); });
        storage_->Start(false);
        CheckHr(hr);
    });
}

}  // namespace tandem
