#include "module_test_support.h"

#include <gtest/gtest.h>

#include "MarloZephFw.h"
#include "TandemPlugin.h"
#include "app_ids.h"
#include "error.h"
#include "module_path.h"
#include "testing/child_process.h"

namespace tandem::typelibs::test {

void PrintTo(const ModuleCase& module, std::ostream* os) { *os << testing::PrintToString(std::wstring(module.file)); }

std::vector<ModuleCase> TypeLibModules() {
    return {
        {L"MarloZephFw.dll", L"MarloZephFw", kMarloZephFwAppId, &LIBID_MarloZephFw,
         {&IID_IFolderWatcher, &IID_IFolderWatcher2, &IID_IFolderWatcher3, &IID_ITnRegisteredFolderList,
          &IID_ITnRegisteredFolder, &IID_ITnStorageInfo, &IID_ITnStorageInfoList, &IID_ITnStorageManager},
         {&DIID__IFolderWatcherEvents, &DIID__ITnStorageManagerEvents, &IID_ITandemPlugin}},
        {L"TandemPlugin.dll", L"TandemPlugin", kTandemPluginAppId, &LIBID_MarloTandemPluginLib,
         {&IID_ITandemContentList, &IID_ITandemProgressNotifier, &IID_ITandemContent, &IID_ITandemFolder,
          &IID_ITandemFolderList, &IID_ITandemPlugin},
         {&IID_IFolderWatcher, &IID_ITnStorageManager}},
    };
}

std::wstring BuiltModulePath(const wchar_t* file) { return ModuleDirectory(nullptr) + file; }

DWORD RunRegsvr32(const std::wstring& switches, const std::wstring& modulePath) {
    return tandem::test::RunProgram(L"regsvr32.exe /s " + switches + L" \"" + modulePath + L"\"");
}

ExclusiveRegistration::ExclusiveRegistration(std::wstring modulePath)
    : lock_(L"Local\\TandemTypeLibraryRegistrationTests"), modulePath_(std::move(modulePath)) {
    RemoveAll();
}

ExclusiveRegistration::~ExclusiveRegistration() {
    CatchHr([this] { RemoveAll(); });
}

// Unregistering what is not registered fails; that is no concern here.
void ExclusiveRegistration::RemoveAll() const {
    RunRegsvr32(L"/u", modulePath_);
    RunRegsvr32(L"/u /n /i:user", modulePath_);
}

}  // namespace tandem::typelibs::test
