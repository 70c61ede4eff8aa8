// A client process of the controller: creates it through its registration
// and makes one database call with its arguments (actor command target
// subtarget [param...]); the call's HRESULT is the exit code.
#include <windows.h>
#include <objbase.h>

#include <vector>

#include "ZephCdbCtrl.h"
#include "bstr.h"
#include "com_ptr.h"

int wmain(int argc, wchar_t** argv) {
    using namespace tandem;
    if (argc < 5) return E_INVALIDARG;
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return E_UNEXPECTED;
    HRESULT hr = S_OK;
    {
        ComPtr<IZephCdbControler> controller;
        hr = CoCreateInstance(CLSID_ZephCdbControler, nullptr, CLSCTX_INPROC_SERVER, IID_IZephCdbControler,
                              reinterpret_cast<void**>(controller.put()));
        if (SUCCEEDED(hr)) {
            std::vector<Bstr> params;
            for (int i = 5; i < argc; ++i) params.emplace_back(argv[i]);
            std::vector<BSTR> list;
            for (Bstr& p : params) list.push_back(p.get());
            Bstr actor(argv[1]), command(argv[2]), target(argv[3]), subtarget(argv[4]);
            hr = controller->DatabaseControl(actor.get(), command.get(), static_cast<long>(list.size()),
                                             list.empty() ? nullptr : list.data(), target.get(), subtarget.get());
        }
    }
    CoUninitialize();
    return hr;
}
