#include "tn_storage_manager.h"

#include <string>

#include "bstr.h"
#include "com/error_info.h"
#include "secret_string.h"
#include "tn_storage_info.h"
#include "tn_storage_info_list.h"

namespace tandem {

namespace {

std::wstring RootWithBackslash(BSTR root) {
    std::wstring text(BstrView(root));
    if (!text.ends_with(L'\\')) text.push_back(L'\\');
    return text;
}

}  // namespace

STDMETHODIMP CTnStorageManager::AddStorage(BSTR strRootPath, BSTR strUserID, BSTR strPassword,
                                           ITnStorageInfo** pVal) {
    if (!pVal) return E_POINTER;
    *pVal = nullptr;
    return CatchHrAndReport(IID_ITnStorageManager, [&] {
        const SecretString password(BstrView(strPassword));
        StorageManager& storages = context_.Storages();
        auto storage = storages.FindOrCreateStorage(RootWithBackslash(strRootPath), std::wstring(BstrView(strUserID)),
                                                    password.get());
        storages.RegisterStorage(storage);
        storage->Start(false);
        *pVal = MakeStorageInfoObject(std::move(storage)).detach();
    });
}

STDMETHODIMP CTnStorageManager::RemoveStorage(BSTR strRootPath) {
    return CatchHrAndReport(IID_ITnStorageManager, [&] {
        StorageManager& storages = context_.Storages();
        auto storage = storages.FindByRoot(RootWithBackslash(strRootPath));
        const RegisteredFolderManager::StorageRemoval removal(context_.Folders(), storage->UniqueID());
        storage->Stop();
        storages.UnregisterStorage(storage);
    });
}

STDMETHODIMP CTnStorageManager::get_Storages(ITnStorageInfoList** pVal) {
    if (!pVal) return E_POINTER;
    *pVal = nullptr;
    return CatchHrAndReport(IID_ITnStorageManager, [&] {
        *pVal = MakeComObject<CTnStorageInfoList>(context_.Storages().AllStorages()).detach();
    });
}

}  // namespace tandem
