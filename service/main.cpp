#include <windows.h>

#include "command_line.h"
#include "tandem_module.h"

int wmain() {
    tandem::CTandemModule module(GetModuleHandleW(nullptr));
    if (module.ComFailed()) return -1;
    return module.Main(tandem::ArgumentsOf(GetCommandLineW()));
}
