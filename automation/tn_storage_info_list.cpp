#include "tn_storage_info_list.h"

#include "object_enumerator.h"
#include "tn_storage_info.h"

namespace tandem {

STDMETHODIMP CTnStorageInfoList::get__NewEnum(IUnknown** pVal) {
    if (!pVal) return E_POINTER;
    *pVal = nullptr;
    return CatchHr([&] {
        auto make = [storages = storages_](size_t index) {
            return ComPtr<IDispatch>(MakeStorageInfoObject(storages[index]).get());
        };
        auto enumerator = MakeComObject<ObjectEnumerator>(ComPtr<IUnknown>(static_cast<ITnStorageInfoList*>(this)),
                                                          storages_.size(), std::move(make));
        *pVal = static_cast<IEnumVARIANT*>(enumerator.detach());
    });
}

STDMETHODIMP CTnStorageInfoList::get_Item(LONG nIndex, ITnStorageInfo** pVal) {
    if (!pVal) return E_POINTER;
    *pVal = nullptr;
    if (nIndex < 1 || static_cast<size_t>(nIndex) > storages_.size()) return E_INVALIDARG;
    return CatchHr([&] { *pVal = MakeStorageInfoObject(storages_[nIndex - 1]).detach(); });
}

STDMETHODIMP CTnStorageInfoList::get_count(LONG* pVal) {
    if (!pVal) return E_POINTER;
    *pVal = static_cast<LONG>(storages_.size());
    return S_OK;
}

}  // namespace tandem
