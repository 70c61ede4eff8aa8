#pragma once

#include <string_view>

namespace tandem {

enum class ModuleAction { Run, RegServer, RegServerPerUser, Service, UnregServer, UnregServerPerUser };

// The first recognised switch ("-" or "/" then a name, any case) decides;
// without one the process runs.
ModuleAction ParseCommandLine(std::wstring_view commandLine);

// A whole command line without the program's name, which may hold "-" or "/".
std::wstring_view ArgumentsOf(std::wstring_view commandLine);

}  // namespace tandem
