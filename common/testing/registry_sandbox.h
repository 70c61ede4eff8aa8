#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "../registry.h"

namespace tandem::test {

// Redirects predefined registry roots of this process to fresh, empty keys
// for the sandbox's lifetime, so tests never share registry state.
class RegistrySandbox {
public:
    RegistrySandbox() : RegistrySandbox({HKEY_LOCAL_MACHINE, HKEY_CLASSES_ROOT}) {}
    explicit RegistrySandbox(std::vector<HKEY> roots);
    RegistrySandbox(const RegistrySandbox&) = delete;
    RegistrySandbox& operator=(const RegistrySandbox&) = delete;
    ~RegistrySandbox();

private:
    std::vector<HKEY> roots_;
    std::vector<RegKey> redirects_;
    RegKey base_;
    std::wstring name_;
};

}  // namespace tandem::test
