#include "plugin_test_plugin.h"

#include <atomic>

#include "TandemPlugin.h"
#include "bstr.h"
#include "com/com_object.h"

namespace tandem::test {
namespace {

std::atomic<LONG> liveObjects{0};

class LiveObject {
public:
    LiveObject() noexcept { ++liveObjects; }
    LiveObject(const LiveObject&) = delete;
    LiveObject& operator=(const LiveObject&) = delete;
    ~LiveObject() { --liveObjects; }
};

// IDispatch of the test objects: early-bound callers only.
template <class Interface>
class NoDispatch : public Interface {
public:
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }
};

// "owner|id=value,...|locked": what Open and UpdateFolder received.
std::wstring DescribeProperties(SAFEARRAY* array) {
    std::wstring text;
    if (!array) return L"null";
    VARTYPE type = VT_EMPTY;
    SafeArrayGetVartype(array, &type);
    if (type != VT_RECORD || SafeArrayGetDim(array) != 1 || array->cbElements != sizeof(TandemProperty))
        return L"bad array";
    auto* element = static_cast<TandemProperty*>(array->pvData);
    for (ULONG i = 0; i < array->rgsabound[0].cElements; ++i, ++element) {
        if (i) text += L",";
        text += std::to_wstring(element->ID) + L"=";
        text += V_VT(&element->Value) == VT_BSTR ? std::wstring(BstrView(V_BSTR(&element->Value))) : L"?";
    }
    return text + (array->cLocks > 0 ? L"|locked" : L"|unlocked");
}

std::wstring NotifierText(ITandemProgressNotifier* notifier) { return notifier ? L"notifier" : L"null"; }

class TestNotifier : public ComObjectRoot, public NoDispatch<ITandemProgressNotifier> {
public:
    using Interfaces = InterfaceTable<ITandemProgressNotifier, Via<IDispatch, ITandemProgressNotifier>>;

    STDMETHODIMP get_Total(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Total(LONG) override { return E_NOTIMPL; }
    STDMETHODIMP get_Progress(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Progress(LONG) override { return E_NOTIMPL; }
    STDMETHODIMP get_Canceled(VARIANT_BOOL*) override { return E_NOTIMPL; }

private:
    LiveObject live_;
};

class TestPlugin : public ComObjectRoot, public NoDispatch<ITandemPlugin> {
public:
    using Interfaces = InterfaceTable<ITandemPlugin, Via<IDispatch, ITandemPlugin>>;

    TestPlugin(PluginBehaviour behaviour, SharedPtr<Journal> journal)
        : behaviour_(std::move(behaviour)), journal_(std::move(journal)) {}

    STDMETHODIMP Open(BSTR owner, SAFEARRAY* properties) override {
        Log(L"Open", std::wstring(BstrView(owner)) + L"|" + DescribeProperties(properties));
        return behaviour_.openResult;
    }
    STDMETHODIMP Close() override { return Log(L"Close", L""); }
    STDMETHODIMP ImportContent(ITandemContent* content) override {
        return Log(L"ImportContent", content ? L"content" : L"null");
    }
    STDMETHODIMP ImportFolder(ITandemFolder* folder) override {
        return Log(L"ImportFolder", folder ? L"folder" : L"null");
    }
    STDMETHODIMP RefreshFolder(ITandemFolder*, ITandemProgressNotifier* notifier) override {
        return Log(L"RefreshFolder", NotifierText(notifier));
    }
    STDMETHODIMP DeleteContent(BSTR path) override { return Log(L"DeleteContent", std::wstring(BstrView(path))); }
    STDMETHODIMP DeleteFolder(BSTR path, ITandemProgressNotifier* notifier) override {
        return Log(L"DeleteFolder", std::wstring(BstrView(path)) + L"|" + NotifierText(notifier));
    }
    STDMETHODIMP RenameContent(BSTR oldPath, ITandemContent*) override {
        return Log(L"RenameContent", std::wstring(BstrView(oldPath)));
    }
    STDMETHODIMP RenameFolder(BSTR oldPath, ITandemFolder*, ITandemProgressNotifier* notifier) override {
        return Log(L"RenameFolder", std::wstring(BstrView(oldPath)) + L"|" + NotifierText(notifier));
    }
    STDMETHODIMP UpdateFolder(ITandemFolder*, SAFEARRAY* properties, ITandemProgressNotifier* notifier) override {
        return Log(L"UpdateFolder", DescribeProperties(properties) + L"|" + NotifierText(notifier));
    }

private:
    HRESULT Log(const wchar_t* method, const std::wstring& arguments) {
        journal_->push_back(behaviour_.name + L"." + method + L"(" + arguments + L")");
        return behaviour_.callResult;
    }

    PluginBehaviour behaviour_;
    SharedPtr<Journal> journal_;
    LiveObject live_;
};

class TestPluginFactory : public ComObjectRoot, public IClassFactory {
public:
    using Interfaces = InterfaceTable<IClassFactory>;
    static constexpr bool kLocksModule = false;

    TestPluginFactory(PluginBehaviour behaviour, SharedPtr<Journal> journal)
        : behaviour_(std::move(behaviour)), journal_(std::move(journal)) {}

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        return CreateComInstance<TestPlugin>(outer, iid, out, behaviour_, journal_);
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }

private:
    PluginBehaviour behaviour_;
    SharedPtr<Journal> journal_;
};

}  // namespace

ClassObjectRegistration RegisterTestPlugin(REFCLSID clsid, PluginBehaviour behaviour, SharedPtr<Journal> journal) {
    auto factory = MakeComObject<TestPluginFactory>(std::move(behaviour), std::move(journal));
    return RegisterClassObject(clsid, factory.get(), CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE);
}

LONG LiveTestObjects() { return liveObjects.load(); }

JournalProgress::JournalProgress(SharedPtr<Journal> journal) : journal_(std::move(journal)) {}

ComPtr<ITandemProgressNotifier> JournalProgress::Notifier() {
    journal_->push_back(L"notifier");
    return MakeComObject<TestNotifier>().get();
}

void JournalProgress::Step() { journal_->push_back(L"step"); }

}  // namespace tandem::test
