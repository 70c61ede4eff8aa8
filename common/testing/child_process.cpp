#include "child_process.h"

#include "../error.h"
#include "../unique_resource.h"

namespace tandem::test {

DWORD RunProgram(std::wstring commandLine, DWORD limitMs) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        ThrowLastError();
    const UniqueHandle process(info.hProcess);
    const UniqueHandle thread(info.hThread);
    if (WaitForSingleObject(process.get(), limitMs) != WAIT_OBJECT_0) {
        TerminateProcess(process.get(), ERROR_TIMEOUT);
        ThrowHr(HRESULT_FROM_WIN32(ERROR_TIMEOUT));
    }
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(process.get(), &exitCode)) ThrowLastError();
    return exitCode;
}

}  // namespace tandem::test
