#include "manager.h"

#include "bstr.h"
#include "converter.h"
#include "error.h"
#include "media.h"

namespace tandem::zephcs {

namespace {

using GetClassObjectFunction = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);

// The module's class, created through its own class object and opened.
ComPtr<IZephCsClass> OpenModuleClass(HMODULE module, REFCLSID clsid) {
    auto getClassObject =
        reinterpret_cast<GetClassObjectFunction>(reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    if (!getClassObject) ThrowLastError();
    ComPtr<IClassFactory> factory;
    CheckHr(getClassObject(clsid, IID_IClassFactory, factory.put_void()));
    ComPtr<IZephCsClass> object;
    CheckHr(factory->CreateInstance(nullptr, IID_IZephCsClass, object.put_void()));
    CheckHr(object->OpenClass(0));
    return object;
}

}  // namespace

SharedPtr<ClassList> ClassList::Shared() {
    static CSyncLock lock;
    static std::weak_ptr<ClassList> current;
    CSyncLockHolder hold(lock);
    SharedPtr<ClassList> list = current.lock();
    if (!list) {
        list = MakeShared<ClassList>();
        current = list;
    }
    return list;
}

bool ClassList::Contains(REFCLSID clsid) {
    CSyncLockHolder hold(lock_);
    return classes_.contains(clsid);
}

void ClassList::Register(REFCLSID clsid, const wchar_t* moduleFile) {
    CSyncLockHolder hold(lock_);
    if (classes_.contains(clsid)) ThrowWin32(ERROR_ALREADY_EXISTS);
    RegisteredClass entry;
    entry.module.reset(LoadLibraryExW(moduleFile, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!entry.module) ThrowLastError();
    entry.object = OpenModuleClass(entry.module.get(), clsid);
    classes_.emplace(clsid, std::move(entry));
}

HRESULT ClassList::Unregister(REFCLSID clsid) {
    CSyncLockHolder hold(lock_);
    auto found = classes_.find(clsid);
    if (found == classes_.end()) return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
    found->second.object->CloseClass();
    classes_.erase(found);
    return S_OK;
}

bool Manager::Initialized() {
    CSyncLockHolder hold(lock_);
    return initialized_;
}

STDMETHODIMP Manager::Initialize(LONG, LONG, LONG, LONG) {
    CSyncLockHolder hold(lock_);
    if (initialized_) return E_UNEXPECTED;
    initialized_ = true;
    return S_OK;
}

STDMETHODIMP Manager::CreateMedia(BSTR path, IZephCsMedia** media) {
    if (!media) return E_POINTER;
    *media = nullptr;
    if (!Initialized()) return E_UNEXPECTED;
    if (!path || !*path) return E_INVALIDARG;
    return CatchHr([&] { *media = MakeFileMedia(path).detach(); });
}

STDMETHODIMP Manager::CreateBlankMedia(IZephCsMedia** media) {
    if (!media) return E_POINTER;
    *media = nullptr;
    if (!Initialized()) return E_UNEXPECTED;
    return CatchHr([&] { *media = MakeComObject<Media>().detach(); });
}

STDMETHODIMP Manager::IsClassListed(REFCLSID clsid) {
    if (!Initialized()) return E_UNEXPECTED;
    return classes_->Contains(clsid) ? S_OK : S_FALSE;
}

STDMETHODIMP Manager::RegisterClass(REFCLSID clsid, BSTR moduleFile, LONG kind) {
    if (!Initialized()) return E_UNEXPECTED;
    if (kind != ZEPHCS_REGISTER_MODULE || !moduleFile) return E_INVALIDARG;
    return CatchHr([&] { classes_->Register(clsid, moduleFile); });
}

STDMETHODIMP Manager::UnregisterClass(REFCLSID clsid) {
    if (!Initialized()) return E_UNEXPECTED;
    return classes_->Unregister(clsid);
}

STDMETHODIMP Manager::CreateConverter(IZephCsMedia* source, IZephCsMedia* destination,
                                      IZephCsConverter** converter) {
    if (!converter) return E_POINTER;
    *converter = nullptr;
    if (!source || !destination) return E_INVALIDARG;
    if (!Initialized()) return E_UNEXPECTED;
    return CatchHr([&] {
        ComPtr<IZephCsConverter> created(MakeComObject<Converter>().get());
        CheckHr(created->SetConverterCsManager(IID_IZephCsManager, static_cast<IZephCsManager*>(this)));
        CheckHr(created->SetConverterSource(IID_IZephCsMedia, source));
        CheckHr(created->SetConverterDestination(IID_IZephCsMedia, destination));
        *converter = created.detach();
    });
}

}  // namespace tandem::zephcs
