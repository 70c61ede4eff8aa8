#pragma once

#include <windows.h>

#include <ostream>
#include <string>
#include <vector>

#include "unique_resource.h"
#include "testing/machine_lock.h"

namespace tandem::typelibs::test {

struct ModuleCase {
    const wchar_t* file;
    const wchar_t* appName;
    const wchar_t* appId;
    const GUID* libid;
    // The interfaces it carries proxy code for.
    std::vector<const IID*> proxied;
    // Event interfaces, and interfaces the other module carries.
    std::vector<const IID*> foreign;
};

void PrintTo(const ModuleCase& module, std::ostream* os);

// MarloZephFw.dll and TandemPlugin.dll.
std::vector<ModuleCase> TypeLibModules();

// Full path of a module built next to the test program.
std::wstring BuiltModulePath(const wchar_t* file);

// Runs regsvr32 silently with the given switches on a module; its exit code.
DWORD RunRegsvr32(const std::wstring& switches, const std::wstring& modulePath);

// The registration tests run regsvr32 in the test prefix's real registry,
// which every test process shares: one of them at a time, and each leaves
// no registration behind, whatever ran before it.
class ExclusiveRegistration {
public:
    explicit ExclusiveRegistration(std::wstring modulePath);
    ExclusiveRegistration(const ExclusiveRegistration&) = delete;
    ExclusiveRegistration& operator=(const ExclusiveRegistration&) = delete;
    ~ExclusiveRegistration();

    const std::wstring& modulePath() const noexcept { return modulePath_; }

private:
    void RemoveAll() const;

    tandem::test::MachineLock lock_;
    std::wstring modulePath_;
};

}  // namespace tandem::typelibs::test
