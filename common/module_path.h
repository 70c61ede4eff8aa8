#pragma once

#include <windows.h>

#include <string>

namespace tandem {

// Full file name of a loaded module (null: the program), however long.
std::wstring ModuleFileName(HMODULE module);
// The folder of that file, with its trailing backslash.
std::wstring ModuleDirectory(HMODULE module);

}  // namespace tandem
