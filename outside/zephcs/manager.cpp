#include "manager.h"

#include "bstr.h"
#include "converter.h"
#include "error.h"
#include "media.h"
#include "strings.h"
#include "task_mem.h"
#include "variant.h"

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

// Every property the class's object for the file lists, and the owning class.
ComPtr<IZephCsMedia> DescribeWith(IZephCsClass& source, REFCLSID clsid, const std::wstring& path,
                                  IZephCsManager* manager) {
    auto request = MakeComObject<Media>();
    request->Set(ZEPHCS_PROP_PATH, Variant::FromString(path));
    ComPtr<IZephCsObject> object;
    if (FAILED(source.GetObject(IID_IZephCsMedia, request.get(), IID_IZephCsObject, object.put_void()))) return {};
    object->SetObjectCsManager(IID_IZephCsManager, manager);
    ComPtr<IZephCsObjectProperties> properties;
    if (FAILED(object.as(properties)) || FAILED(object->OpenObject(1))) return {};
    LONG count = 0;
    LONG* ids = nullptr;
    VARIANT* values = nullptr;
    HRESULT listed = properties->GetAllProperties(&count, &ids, &values);
    TaskMemPtr<LONG> idArray(ids);
    TaskMemPtr<VARIANT> valueArray(values);
    auto media = MakeComObject<Media>();
    for (LONG i = 0; SUCCEEDED(listed) && i < count; ++i) {
        Variant value;
        *value.ptr() = values[i];
        media->Set(ids[i], std::move(value));
    }
    object->CloseObject();
    if (FAILED(listed)) return {};
    media->Set(ZEPHCS_PROP_PATH, Variant::FromString(path));
    media->Set(ZEPHCS_PROP_OWNER_CLASS, Variant::FromString(GuidToString(clsid)));
    return ComPtr<IZephCsMedia>(media.get());
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

ComPtr<IZephCsMedia> ClassList::Describe(const std::wstring& path, IZephCsManager* manager) {
    CSyncLockHolder hold(lock_);
    for (auto& [clsid, entry] : classes_)
        if (auto media = DescribeWith(*entry.object, clsid, path, manager)) return media;
    return {};
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
    return CatchHr([&] {
        ComPtr<IZephCsMedia> described = classes_->Describe(path, this);
        *media = described ? described.detach() : MakeFileMedia(path).detach();
    });
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
