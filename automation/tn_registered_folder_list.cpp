#include "tn_registered_folder_list.h"

#include "object_enumerator.h"
#include "tn_registered_folder.h"

namespace tandem {

ComPtr<ITnRegisteredFolderList> MakeRegisteredFolderList(AutomationContext& context) {
    return ComPtr<ITnRegisteredFolderList>(
        MakeComObject<CTnRegisteredFolderList>(context, context.Folders().AllFolders()).get());
}

STDMETHODIMP CTnRegisteredFolderList::get__NewEnum(IUnknown** pVal) {
    if (!pVal) return E_POINTER;
    *pVal = nullptr;
    return CatchHr([&] {
        auto make = [&context = context_, folders = folders_](size_t index) {
            return ComPtr<IDispatch>(
                static_cast<ITnRegisteredFolder*>(MakeRegisteredFolderObject(context, folders[index]).get()));
        };
        auto enumerator = MakeComObject<ObjectEnumerator>(
            ComPtr<IUnknown>(static_cast<ITnRegisteredFolderList*>(this)), folders_.size(), std::move(make));
        *pVal = static_cast<IEnumVARIANT*>(enumerator.detach());
    });
}

STDMETHODIMP CTnRegisteredFolderList::get_Item(LONG nIndex, ITnRegisteredFolder** pVal) {
    if (!pVal) return E_POINTER;
    *pVal = nullptr;
    if (nIndex < 1 || static_cast<size_t>(nIndex) > folders_.size()) return E_INVALIDARG;
    return CatchHr([&] { *pVal = MakeRegisteredFolderObject(context_, folders_[nIndex - 1]).detach(); });
}

STDMETHODIMP CTnRegisteredFolderList::get_count(LONG* pVal) {
    if (!pVal) return E_POINTER;
    *pVal = static_cast<LONG>(folders_.size());
    return S_OK;
}

}  // namespace tandem
