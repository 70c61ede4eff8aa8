#include <windows.h>
#include <dshow.h>

#include "com/class_factory.h"
#include "com/module_lock.h"
#include "dshow/filter_registration.h"
#include "error.h"
#include "module_path.h"
#include "orvak_guids.h"
#include "orvak_parser.h"

using namespace tandem;
using namespace tandem::orvak;

namespace {

HMODULE g_module = nullptr;

dshow::FilterRegistration Registration() {
    return {kOrvakParserClsid,
            kFilterName,
            kFilterMerit,
            {{L"Output", true, false, L"Input", MEDIATYPE_Audio, kOrvakSubtype},
             {L"Input", false, true, L"Output", MEDIATYPE_Stream, kOrvakSubtype}}};
}

// regsvr32 calls in without COM; the filter mapper needs it.
class ComForRegistration {
public:
    ComForRegistration() : initialized_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ComForRegistration(const ComForRegistration&) = delete;
    ComForRegistration& operator=(const ComForRegistration&) = delete;
    ~ComForRegistration() {
        if (initialized_) CoUninitialize();
    }

private:
    bool initialized_;
};

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE OrvDllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!IsEqualCLSID(clsid, kOrvakParserClsid)) return CLASS_E_CLASSNOTAVAILABLE;
    return CatchHr([&] { return MakeComObject<ClassFactory<COrvakParser>>()->QueryInterface(iid, out); });
}

extern "C" HRESULT STDAPICALLTYPE OrvDllCanUnloadNow() { return CanUnloadModule(); }

extern "C" HRESULT STDAPICALLTYPE OrvDllRegisterServer() {
    return CatchHr([] {
        ComForRegistration com;
        dshow::RegisterInprocClass(kOrvakParserClsid, kFilterName, ModuleFileName(g_module));
        dshow::RegisterFilter(Registration());
    });
}

extern "C" HRESULT STDAPICALLTYPE OrvDllUnregisterServer() {
    return CatchHr([] {
        ComForRegistration com;
        dshow::UnregisterFilter(kOrvakParserClsid);
        dshow::UnregisterInprocClass(kOrvakParserClsid);
    });
}
