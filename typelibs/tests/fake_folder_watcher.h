#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "MarloZephFw.h"

namespace tandem::typelibs::test {

// A folder watcher that records what reaches it. It lives on the test's
// stack: its reference count only tells whether the proxies let go.
class FakeFolderWatcher : public IFolderWatcher2 {
public:
    struct Registration {
        std::wstring appname;
        std::wstring folder;
        LONG behavior = 0;
        std::vector<LONG> propIds;
        std::vector<std::wstring> propValues;
    };

    // What StartMonitoring and RegisterFolder2 received. They answer the
    // behaviour plus one and the number of property ids.
    Registration started;
    Registration registered;

    ULONG references() const noexcept { return references_; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override { return --references_; }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

    HRESULT STDMETHODCALLTYPE StartMonitoring(BSTR appname, BSTR folder, LONG behavior, LONG* result) override;
    HRESULT STDMETHODCALLTYPE StopMonitoring(BSTR, BSTR, LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RegisterFolder(BSTR, BSTR, LONG, LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnregisterFolder(BSTR, BSTR, LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetStatusCount(LONG*, LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetStatus(LONG, BSTR*, BSTR*, LONG*, LONG*, LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RefreshFolder(BSTR, BSTR, LONG, LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RefreshFolderAbort(BSTR, BSTR, LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RefreshFolderOnStartup(LONG, LONG, LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetEmptyCount(LONG*, LONG*) override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE RegisterFolder2(BSTR appname, BSTR folder, LONG behavior, SAFEARRAY* propId,
                                              SAFEARRAY* propValue, LONG* result) override;
    // Answers folder "D:\Photos" of owner "viewer", behaviour 2, busy, with
    // properties {4: "x", 9: "y"}; the result is the status number asked for.
    HRESULT STDMETHODCALLTYPE GetStatus2(LONG num, BSTR* folder, BSTR* owner, LONG* behavior, LONG* busy,
                                         SAFEARRAY** propId, SAFEARRAY** propValue, LONG* result) override;
    HRESULT STDMETHODCALLTYPE UpdateFolder(BSTR, BSTR, SAFEARRAY*, SAFEARRAY*, LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CheckFolder(BSTR, LONG*) override { return E_NOTIMPL; }

private:
    std::atomic<ULONG> references_{0};
};

// Arrays as the automation interfaces pass them.
SAFEARRAY* NewLongArray(const std::vector<LONG>& values);
SAFEARRAY* NewBstrArray(const std::vector<std::wstring>& values);
std::vector<LONG> LongsOf(SAFEARRAY* array);
std::vector<std::wstring> StringsOf(SAFEARRAY* array);

}  // namespace tandem::typelibs::test
