#include "module_path.h"

#include "error.h"

namespace tandem {

std::wstring ModuleFileName(HMODULE module) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) ThrowLastError();
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::wstring ModuleDirectory(HMODULE module) {
    std::wstring path = ModuleFileName(module);
    return path.substr(0, path.find_last_of(L'\\') + 1);
}

}  // namespace tandem
