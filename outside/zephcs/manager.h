#pragma once

#include <windows.h>

#include <cstring>
#include <map>
#include <string>

#include "ZephCs.h"
#include "com/com_object.h"
#include "com_ptr.h"
#include "shared_ptr.h"
#include "sync_lock.h"
#include "unique_resource.h"

namespace tandem::zephcs {

// The content-source classes registered from module files: one list for
// every manager of the process, alive while any manager is.
class ClassList {
public:
    static SharedPtr<ClassList> Shared();

    bool Contains(REFCLSID clsid);
    void Register(REFCLSID clsid, const wchar_t* moduleFile);
    HRESULT Unregister(REFCLSID clsid);
    // The media of a file as the first registered class that opens it
    // describes it; null when none does.
    ComPtr<IZephCsMedia> Describe(const std::wstring& path, IZephCsManager* manager);

private:
    // The class object is released before its module is freed.
    struct RegisteredClass {
        UniqueModule module;
        ComPtr<IZephCsClass> object;
    };
    struct GuidLess {
        bool operator()(const GUID& a, const GUID& b) const noexcept { return memcmp(&a, &b, sizeof(GUID)) < 0; }
    };

    CSyncLock lock_;
    std::map<GUID, RegisteredClass, GuidLess> classes_;
};

// The framework's entry object: makes media and converters and registers
// content-source classes.
class Manager : public ComObjectRoot, public IZephCsManager {
public:
    using Interfaces = InterfaceTable<IZephCsManager>;

    STDMETHODIMP Initialize(LONG option1, LONG option2, LONG option3, LONG option4) override;
    STDMETHODIMP CreateMedia(BSTR path, IZephCsMedia** media) override;
    STDMETHODIMP CreateBlankMedia(IZephCsMedia** media) override;
    STDMETHODIMP IsClassListed(REFCLSID clsid) override;
    STDMETHODIMP RegisterClass(REFCLSID clsid, BSTR moduleFile, LONG kind) override;
    STDMETHODIMP UnregisterClass(REFCLSID clsid) override;
    STDMETHODIMP CreateConverter(IZephCsMedia* source, IZephCsMedia* destination,
                                 IZephCsConverter** converter) override;

private:
    bool Initialized();

    CSyncLock lock_;
    bool initialized_ = false;
    SharedPtr<ClassList> classes_ = ClassList::Shared();
};

}  // namespace tandem::zephcs
