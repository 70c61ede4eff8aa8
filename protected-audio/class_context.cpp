#include "class_context.h"

#include <map>

#include "error.h"
#include "sync_lock.h"
#include "unique_resource.h"

namespace tandem::protected_audio {

namespace {

using GetClassObjectFunction = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);

constexpr wchar_t kSettings[] = L"Settings";

std::wstring FolderOf(const std::wstring& path) {
    auto slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

// The calling thread's impersonation is set aside while the class starts and
// put back afterwards, whatever happens in between.
class ProcessIdentityScope {
public:
    ProcessIdentityScope() {
        HANDLE token = nullptr;
        if (OpenThreadToken(GetCurrentThread(), TOKEN_IMPERSONATE | TOKEN_QUERY, TRUE, &token)) {
            token_.reset(token);
            RevertToSelf();
        }
    }
    ProcessIdentityScope(const ProcessIdentityScope&) = delete;
    ProcessIdentityScope& operator=(const ProcessIdentityScope&) = delete;
    ~ProcessIdentityScope() {
        if (token_) SetThreadToken(nullptr, token_.get());
    }

private:
    UniqueHandle token_;
};

// Handler libraries named in the settings, one load per module for the
// process; a library stays loaded once a handler came from it.
class HandlerLibraries {
public:
    struct Loaded {
        HMODULE module;
        bool added;
    };

    Loaded Load(const std::wstring& path) {
        UniqueModule module(LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
        if (!module) ThrowHr(E_FAIL);
        CSyncLockHolder hold(lock_);
        HMODULE handle = module.get();
        // A second load of the same module is given back; the recorded one serves.
        if (loaded_.contains(handle)) return {handle, false};
        loaded_.emplace(handle, std::move(module));
        return {handle, true};
    }

    void Remove(HMODULE module) {
        CSyncLockHolder hold(lock_);
        loaded_.erase(module);
    }

private:
    CSyncLock lock_;
    std::map<HMODULE, UniqueModule> loaded_;
};

HandlerLibraries& Libraries() {
    static HandlerLibraries libraries;
    return libraries;
}

ComPtr<IUnknown> CreateFromLibrary(const std::wstring& path, REFCLSID clsid, REFIID iid) {
    HandlerLibraries::Loaded loaded = Libraries().Load(path);
    try {
        auto getClassObject = reinterpret_cast<GetClassObjectFunction>(
            reinterpret_cast<void*>(GetProcAddress(loaded.module, "DllGetClassObject")));
        if (!getClassObject) ThrowHr(E_FAIL);
        ComPtr<IClassFactory> factory;
        CheckHr(getClassObject(clsid, IID_IClassFactory, factory.put_void()));
        ComPtr<IUnknown> handler;
        CheckHr(factory->CreateInstance(nullptr, iid, handler.put_void()));
        return handler;
    } catch (...) {
        // Only a load this call made goes: handlers from an earlier one may still live.
        if (loaded.added) Libraries().Remove(loaded.module);
        throw;
    }
}

void ReadMaps(const SettingsFile& file, FormatMaps& maps) {
    if (file.ReadInteger(kSettings, L"IgnoreDefaultMap") == 0) {
        maps.ClearExtensions();
        maps.InstallDefaults();
    }
    AddClassRows(file.ReadSection(L"ExtMap"), [&](const std::wstring& key, const CLSID& clsid) {
        maps.AddExtension(key, clsid);
    });
    AddClassRows(file.ReadSection(L"RightTruncationMap"),
                 [&](const std::wstring& key, const CLSID& clsid) { maps.AddPrefix(key, clsid); });
}

void ReadPlugins(const SettingsFile& file, FormatMaps& maps, IVltLibrary& library) {
    for (const auto& [key, value] : file.ReadSection(L"Plugin")) {
        auto clsid = ParseClassId(key);
        if (!clsid) continue;
        if (value.empty()) {
            library.RegisterHandlerClass(*clsid);
        } else {
            maps.AddLibrary(*clsid, value);
        }
    }
}

}  // namespace

ClassContext StartClass(const std::wstring& modulePath) {
    ProcessIdentityScope identity;
    auto settings = MakeShared<LibrarySettings>();
    settings->moduleFolder = FolderOf(modulePath);
    CheckHr(CoCreateInstance(CLSID_VltLibrary, nullptr, CLSCTX_INPROC_SERVER, IID_IVltLibrary,
                             settings->library.put_void()));
    SettingsFile file = SettingsFile::Beside(modulePath);
    settings->applicationId = file.ReadInteger(kSettings, L"ApplicationId");
    settings->loadMode = file.ReadInteger(kSettings, L"NoLoad") != 0 ? 1 : 2;
    ClassContext context;
    ReadMaps(file, context.maps);
    CheckHr(settings->library->Initialize(settings->applicationId, settings->loadMode, 0, 0));
    ReadPlugins(file, context.maps, *settings->library);
    context.settings = std::move(settings);
    return context;
}

ComPtr<IUnknown> CreateTagHandler(const ClassContext& context, const std::wstring& path, REFIID iid) {
    if (!context.settings || !context.settings->library) ThrowHr(E_FAIL);
    CLSID clsid = context.maps.Lookup(path);
    ComPtr<IUnknown> handler;
    if (const std::wstring* file = context.maps.LibraryOf(clsid)) {
        handler = CreateFromLibrary(context.settings->moduleFolder + *file, clsid, iid);
    } else {
        CheckHr(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, handler.put_void()));
    }
    ComPtr<IVltTagHandler2> second;
    if (SUCCEEDED(handler->QueryInterface(IID_IVltTagHandler2, second.put_void())))
        second->SetApplicationId(context.settings->applicationId);
    return handler;
}

}  // namespace tandem::protected_audio

