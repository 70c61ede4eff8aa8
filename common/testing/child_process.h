#pragma once

#include <windows.h>

#include <string>

namespace tandem::test {

// Runs a command line with no standard input and waits for it to end; its
// exit code. A process still running after the limit is ended and raised as
// a time-out.
DWORD RunProgram(std::wstring commandLine, DWORD limitMs = 120000);

}  // namespace tandem::test
