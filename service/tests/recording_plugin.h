#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "TandemPlugin.h"
#include "bstr.h"
#include "com/class_object_registration.h"
#include "com/com_object.h"
#include "error.h"
#include "sync_lock.h"
#include "unique_resource.h"

namespace tandem::test {

// The paths a plug-in was asked to import, shared with the test and signalled
// on each import; the service calls it from its own threads.
class ImportLog {
public:
    ImportLog() : signal_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
        if (!signal_) ThrowLastError();
    }

    void Add(std::wstring path) {
        {
            CSyncLockHolder hold(lock_);
            paths_.push_back(std::move(path));
        }
        SetEvent(signal_.get());
    }

    // True once path was imported, false after milliseconds without it.
    bool WaitFor(const std::wstring& path, DWORD milliseconds) {
        const ULONGLONG deadline = GetTickCount64() + milliseconds;
        for (;;) {
            if (Contains(path)) return true;
            const ULONGLONG now = GetTickCount64();
            if (now >= deadline) return false;
            WaitForSingleObject(signal_.get(), static_cast<DWORD>(deadline - now));
        }
    }

private:
    bool Contains(const std::wstring& path) const {
        CSyncLockHolder hold(lock_);
        for (const auto& imported : paths_)
            if (_wcsicmp(imported.c_str(), path.c_str()) == 0) return true;
        return false;
    }

    const UniqueHandle signal_;
    mutable CSyncLock lock_;
    std::vector<std::wstring> paths_;
};

// A content plug-in that records the paths of the content it imports and
// accepts every other call.
class RecordingPlugin : public ComObjectRoot, public ITandemPlugin {
public:
    using Interfaces = InterfaceTable<ITandemPlugin, Via<IDispatch, ITandemPlugin>>;

    explicit RecordingPlugin(ImportLog& log) noexcept : log_(log) {}

    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

    STDMETHODIMP Open(BSTR, SAFEARRAY*) override { return S_OK; }
    STDMETHODIMP Close() override { return S_OK; }
    STDMETHODIMP ImportContent(ITandemContent* content) override {
        if (!content) return E_POINTER;
        Bstr path;
        const HRESULT hr = content->get_Path(path.put());
        if (FAILED(hr)) return hr;
        return CatchHr([&] { log_.Add(path.str()); });
    }
    STDMETHODIMP ImportFolder(ITandemFolder*) override { return S_OK; }
    STDMETHODIMP RefreshFolder(ITandemFolder*, ITandemProgressNotifier*) override { return S_OK; }
    STDMETHODIMP DeleteContent(BSTR) override { return S_OK; }
    STDMETHODIMP DeleteFolder(BSTR, ITandemProgressNotifier*) override { return S_OK; }
    STDMETHODIMP RenameContent(BSTR, ITandemContent*) override { return S_OK; }
    STDMETHODIMP RenameFolder(BSTR, ITandemFolder*, ITandemProgressNotifier*) override { return S_OK; }
    STDMETHODIMP UpdateFolder(ITandemFolder*, SAFEARRAY*, ITandemProgressNotifier*) override { return S_OK; }

private:
    ImportLog& log_;
};

class RecordingPluginFactory : public ComObjectRoot, public IClassFactory {
public:
    using Interfaces = InterfaceTable<IClassFactory>;
    static constexpr bool kLocksModule = false;

    explicit RecordingPluginFactory(ImportLog& log) noexcept : log_(log) {}

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        return CreateComInstance<RecordingPlugin>(outer, iid, out, log_);
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }

private:
    ImportLog& log_;
};

// The plug-in's class object for in-process activation; log must outlive it.
inline ClassObjectRegistration RegisterRecordingPlugin(REFCLSID clsid, ImportLog& log) {
    return RegisterClassObject(clsid, MakeComObject<RecordingPluginFactory>(log).get(), CLSCTX_INPROC_SERVER,
                               REGCLS_MULTIPLEUSE);
}

}  // namespace tandem::test
