// Entry points of the protected-audio content source "ZephCsVltFile.zephcs".

#include <windows.h>

#include <initializer_list>

#include "ZephCsVltFile.h"
#include "binary_property.h"
#include "class_object.h"
#include "com/class_factory.h"
#include "com/module_lock.h"
#include "com/registry_script.h"
#include "com/type_library_registration.h"
#include "content_object.h"
#include "converter.h"
#include "error.h"
#include "module_path.h"
#include "module_resources.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

using namespace tandem;
namespace pa = tandem::protected_audio;

namespace {

constexpr wchar_t kAppId[] = L"{C3A5E0D2-7B41-4F6A-9E18-5D2C8B0F6A90}";
constexpr UINT kClassScripts[] = {IDR_CLASS_REGISTRY, IDR_OBJECT_REGISTRY, IDR_CONVERTER_REGISTRY,
                                  IDR_BINARY_PROPERTY_REGISTRY};

HMODULE ModuleHandle() noexcept { return reinterpret_cast<HMODULE>(&__ImageBase); }

pa::ModuleLocation& Location() {
    static pa::ModuleLocation location{ModuleFileName(ModuleHandle())};
    return location;
}

ScriptReplacements Replacements() { return {{L"APPID", kAppId}, {L"MODULE", ModuleFileName(ModuleHandle())}}; }

void RunScript(UINT resource, bool install) {
    std::wstring script = LoadRegistryScript(ModuleHandle(), resource);
    if (install) {
        RegisterScript(script, Replacements(), RegistrationScope::Machine);
    } else {
        UnregisterScript(script, Replacements(), RegistrationScope::Machine);
    }
}

template <class T, class... Context>
HRESULT Factory(REFIID iid, void** out, Context&... context) {
    return CatchHr([&] { return MakeComObject<ClassFactory<T, Context...>>(context...)->QueryInterface(iid, out); });
}

}  // namespace

extern "C" {

HRESULT STDAPICALLTYPE VltFileGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    return CatchHr([&] {
        if (IsEqualCLSID(clsid, CLSID_ZephCsVltFileClass)) return Factory<pa::ZephCsVltFileClass>(iid, out, Location());
        if (IsEqualCLSID(clsid, CLSID_ZephCsVltFileObject)) return Factory<pa::ZephCsVltFileObject>(iid, out);
        if (IsEqualCLSID(clsid, CLSID_ZephCsVltFileConverter)) return Factory<pa::ZephCsVltFileConverter>(iid, out);
        if (IsEqualCLSID(clsid, CLSID_ZephCsVltFileBinaryProperty))
            return Factory<pa::ZephCsVltFileBinaryProperty>(iid, out);
        return CLASS_E_CLASSNOTAVAILABLE;
    });
}

HRESULT STDAPICALLTYPE VltFileCanUnloadNow() { return CanUnloadModule(); }

HRESULT STDAPICALLTYPE VltFileRegisterServer() {
    return CatchHr([] {
        RunScript(IDR_APPID_REGISTRY, true);
        for (UINT script : kClassScripts) RunScript(script, true);
        RegisterTypeLibrary(ModuleFileName(ModuleHandle()), RegistrationScope::Machine);
    });
}

// Every part is removed even after one fails; the first failure is reported.
HRESULT STDAPICALLTYPE VltFileUnregisterServer() {
    HRESULT first = S_OK;
    auto step = [&](auto&& f) {
        HRESULT hr = CatchHr(f);
        if (SUCCEEDED(first)) first = hr;
    };
    for (UINT script : kClassScripts) step([script] { RunScript(script, false); });
    step([] { RunScript(IDR_APPID_REGISTRY, false); });
    step([] { UnregisterTypeLibrary(ModuleFileName(ModuleHandle()), RegistrationScope::Machine); });
    return first;
}

// The class the framework asks for, and the media kind and carrier it serves.
HRESULT STDAPICALLTYPE ZephCsGetClassInfo(LONG, CLSID* clsid, LONG* kind, LONG* carrier) {
    if (clsid) *clsid = CLSID_ZephCsVltFileClass;
    if (kind) *kind = 1;
    if (carrier) *carrier = 2;
    return clsid && kind ? S_OK : E_POINTER;
}

}  // extern "C"
