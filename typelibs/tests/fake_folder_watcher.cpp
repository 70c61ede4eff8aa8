#include "fake_folder_watcher.h"

#include <algorithm>

#include "bstr.h"
#include "error.h"
#include "safe_array.h"

namespace tandem::typelibs::test {

HRESULT FakeFolderWatcher::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    // The stubs of the derived interfaces are built on those of their bases.
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IFolderWatcher || iid == IID_IFolderWatcher2) {
        *object = static_cast<IFolderWatcher2*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

HRESULT FakeFolderWatcher::StartMonitoring(BSTR appname, BSTR folder, LONG behavior, LONG* result) {
    if (!result) return E_POINTER;
    started = {std::wstring(BstrView(appname)), std::wstring(BstrView(folder)), behavior, {}, {}};
    *result = behavior + 1;
    return S_OK;
}

HRESULT FakeFolderWatcher::RegisterFolder2(BSTR appname, BSTR folder, LONG behavior, SAFEARRAY* propId,
                                           SAFEARRAY* propValue, LONG* result) {
    if (!result) return E_POINTER;
    return CatchHr([&] {
        registered = {std::wstring(BstrView(appname)), std::wstring(BstrView(folder)), behavior, LongsOf(propId),
                      StringsOf(propValue)};
        *result = static_cast<LONG>(registered.propIds.size());
    });
}

HRESULT FakeFolderWatcher::GetStatus2(LONG num, BSTR* folder, BSTR* owner, LONG* behavior, LONG* busy,
                                      SAFEARRAY** propId, SAFEARRAY** propValue, LONG* result) {
    if (!folder || !owner || !behavior || !busy || !propId || !propValue || !result) return E_POINTER;
    return CatchHr([&] {
        Bstr folderText(L"D:\\Photos");
        Bstr ownerText(L"viewer");
        SafeArray ids(NewLongArray({4, 9}));
        SafeArray values(NewBstrArray({L"x", L"y"}));
        *folder = folderText.release();
        *owner = ownerText.release();
        *behavior = 2;
        *busy = 1;
        *propId = ids.release();
        *propValue = values.release();
        *result = num;
    });
}

SAFEARRAY* NewLongArray(const std::vector<LONG>& values) {
    SafeArray array(SafeArrayCreateVector(VT_I4, 0, static_cast<ULONG>(values.size())));
    if (!array) ThrowHr(E_OUTOFMEMORY);
    {
        SafeArrayAccess access(array.get());
        std::copy(values.begin(), values.end(), access.data<LONG>());
    }
    return array.release();
}

SAFEARRAY* NewBstrArray(const std::vector<std::wstring>& values) {
    SafeArray array(SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(values.size())));
    if (!array) ThrowHr(E_OUTOFMEMORY);
    {
        SafeArrayAccess access(array.get());
        for (size_t i = 0; i < values.size(); ++i) access.data<BSTR>()[i] = Bstr(values[i]).release();
    }
    return array.release();
}

namespace {

ULONG ElementCount(SAFEARRAY* array, VARTYPE expected) {
    VARTYPE type = VT_EMPTY;
    CheckHr(SafeArrayGetVartype(array, &type));
    if (type != expected || SafeArrayGetDim(array) != 1) ThrowHr(E_INVALIDARG);
    return array->rgsabound[0].cElements;
}

}  // namespace

std::vector<LONG> LongsOf(SAFEARRAY* array) {
    const ULONG count = ElementCount(array, VT_I4);
    SafeArrayAccess access(array);
    return {access.data<LONG>(), access.data<LONG>() + count};
}

std::vector<std::wstring> StringsOf(SAFEARRAY* array) {
    const ULONG count = ElementCount(array, VT_BSTR);
    SafeArrayAccess access(array);
    std::vector<std::wstring> strings;
    for (ULONG i = 0; i < count; ++i) strings.emplace_back(BstrView(access.data<BSTR>()[i]));
    return strings;
}

}  // namespace tandem::typelibs::test
