// A stand-in for the common database service: "/Install" and "/Uninstall"
// set it up and remove it; without arguments it runs under the service
// control manager. Test equipment only; never shipped.
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "error.h"
#include "installer.h"
#include "service_host.h"

int wmain(int argc, wchar_t** argv) {
    using namespace tandem;
    if (argc < 2) return cdbsvc::RunService();
    const bool install = _wcsicmp(argv[1], L"/Install") == 0;
    if (!install && _wcsicmp(argv[1], L"/Uninstall") != 0) {
        std::fwprintf(stderr, L"usage: ZephCdbSvc [/Install | /Uninstall]\n");
        return 2;
    }
    const HRESULT hr = CatchHr([install] { install ? cdbsvc::Install() : cdbsvc::Uninstall(); });
    if (FAILED(hr)) std::fwprintf(stderr, L"ZephCdbSvc: 0x%08lX\n", static_cast<unsigned long>(hr));
    return FAILED(hr) ? 1 : 0;
}
