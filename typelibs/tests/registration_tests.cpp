// regsvr32 registers and removes each module: machine-wide through
// DllRegisterServer/DllUnregisterServer, per user through DllInstall.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "MarloZephFw.h"
#include "TandemPlugin.h"
#include "com_ptr.h"
#include "module_test_support.h"
#include "registry.h"
#include "strings.h"
#include "type_description.h"

using namespace tandem;
using namespace tandem::typelibs;
using namespace tandem::typelibs::test;

namespace {

std::optional<std::wstring> DefaultValue(HKEY root, const std::wstring& key, const wchar_t* name = nullptr) {
    std::optional<RegKey> opened = TryOpenKey(root, key);
    if (!opened) return std::nullopt;
    return TryReadString(opened->get(), name);
}


std::wstring InterfaceKey(const IID* iid) { return L"Interface\\" + GuidToString(*iid); }
std::wstring TypeLibKey(const ModuleCase& module) { return L"TypeLib\\" + GuidToString(*module.libid); }
std::wstring AppIdKey(const ModuleCase& module) { return std::wstring(L"AppID\\") + module.appId; }
std::wstring AppNameKey(const ModuleCase& module) { return std::wstring(L"AppID\\") + module.appName + L".DLL"; }

class Registration : public testing::TestWithParam<ModuleCase> {
protected:
    // Every entry the registration writes, below a classes root.
    void ExpectRegisteredIn(HKEY classes) {
        const ModuleCase& module = GetParam();
        EXPECT_EQ(DefaultValue(classes, AppIdKey(module)), module.appName);
        EXPECT_EQ(DefaultValue(classes, AppNameKey(module), L"AppID"), module.appId);
        const auto typeLibPath = DefaultValue(classes, TypeLibKey(module) + L"\\1.0\\409\\win64");
        ASSERT_TRUE(typeLibPath.has_value());
        EXPECT_TRUE(EqualsNoCase(*typeLibPath, path()));
        const auto proxyClsid = DefaultValue(classes, InterfaceKey(module.proxied.front()) + L"\\ProxyStubClsid32");
        ASSERT_TRUE(proxyClsid.has_value());
        const auto proxyServer = DefaultValue(classes, L"CLSID\\" + *proxyClsid + L"\\InprocServer32");
        ASSERT_TRUE(proxyServer.has_value());
        EXPECT_TRUE(EqualsNoCase(*proxyServer, path()));
        for (const IID* iid : module.proxied)
            EXPECT_EQ(DefaultValue(classes, InterfaceKey(iid) + L"\\ProxyStubClsid32"), proxyClsid) << GuidToString(*iid);
        proxyClsid_ = *proxyClsid;
    }

    void ExpectNothingIn(HKEY classes) {
        const ModuleCase& module = GetParam();
        EXPECT_FALSE(KeyExists(classes, AppIdKey(module)));
        EXPECT_FALSE(KeyExists(classes, AppNameKey(module)));
        EXPECT_FALSE(KeyExists(classes, TypeLibKey(module)));
        for (const IID* iid : module.proxied) EXPECT_FALSE(KeyExists(classes, InterfaceKey(iid))) << GuidToString(*iid);
        if (!proxyClsid_.empty()) {
            EXPECT_FALSE(KeyExists(classes, L"CLSID\\" + proxyClsid_));
        }
    }

    const std::wstring& path() const { return registration_.modulePath(); }

    ExclusiveRegistration registration_{BuiltModulePath(GetParam().file)};
    std::wstring proxyClsid_;
};

TEST_P(Registration, MachineRegistrationWritesAndRemovesEveryEntry) {
    ASSERT_EQ(RunRegsvr32(L"", path()), 0u);
    ExpectRegisteredIn(HKEY_CLASSES_ROOT);

    ASSERT_EQ(RunRegsvr32(L"/u", path()), 0u);
    ExpectNothingIn(HKEY_CLASSES_ROOT);
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"AppID"));
}

TEST_P(Registration, UserInstallWritesOnlyTheUsersClasses) {
    RegKey userClasses = OpenKey(HKEY_CURRENT_USER, L"Software\\Classes");
    RegKey machineClasses = OpenKey(HKEY_LOCAL_MACHINE, L"Software\\Classes");

    ASSERT_EQ(RunRegsvr32(L"/n /i:user", path()), 0u);
    ExpectRegisteredIn(userClasses.get());
    ExpectNothingIn(machineClasses.get());

    ASSERT_EQ(RunRegsvr32(L"/u /n /i:USER", path()), 0u);
    ExpectNothingIn(userClasses.get());
}

// The event interfaces travel through IDispatch, registered by the library.
TEST(EventInterfaceRegistration, UsesTheDispatchMarshaller) {
    ExclusiveRegistration registration(BuiltModulePath(L"MarloZephFw.dll"));
    ASSERT_EQ(RunRegsvr32(L"", registration.modulePath()), 0u);
    for (const IID* iid : {&DIID__IFolderWatcherEvents, &DIID__ITnRegisteredFolderEvents, &DIID__ITnStorageManagerEvents})
        EXPECT_EQ(DefaultValue(HKEY_CLASSES_ROOT, InterfaceKey(iid) + L"\\ProxyStubClsid32"),
                  L"{00020420-0000-0000-C000-000000000046}")
            << GuidToString(*iid);
}

// The marshaller looks a library up with the neutral locale, record lookups
// with the system's or the caller's; the library itself keeps its own.
TEST_P(Registration, EveryLocaleFindsTheRegisteredLibrary) {
    const ModuleCase& module = GetParam();
    ASSERT_EQ(RunRegsvr32(L"", path()), 0u);
    for (LCID locale : {LCID{LOCALE_NEUTRAL}, LCID{LOCALE_SYSTEM_DEFAULT}, LCID{0x409}, LCID{0x407}}) {
        ComPtr<ITypeLib> library;
        ASSERT_EQ(LoadRegTypeLib(*module.libid, 1, 0, locale, library.put()), S_OK) << std::hex << locale;
        TLIBATTR* attributes = nullptr;
        ASSERT_EQ(library->GetLibAttr(&attributes), S_OK);
        EXPECT_EQ(attributes->lcid, 0x409u);
        library->ReleaseTLibAttr(attributes);
    }
    ASSERT_EQ(RunRegsvr32(L"/u", path()), 0u);
    ExpectNothingIn(HKEY_CLASSES_ROOT);
}

// As the plug-in library declares the record.
constexpr GUID kPropertyRecord = {0x1ACDFC2A, 0xC0D9, 0x4431, {0x97, 0xEE, 0x64, 0x71, 0x4C, 0xF5, 0xF5, 0x8E}};

TEST(RecordRegistration, ThePropertyRecordIsFoundWithTheSystemLocale) {
    ExclusiveRegistration registration(BuiltModulePath(L"TandemPlugin.dll"));
    ASSERT_EQ(RunRegsvr32(L"", registration.modulePath()), 0u);
    ComPtr<IRecordInfo> record;
    ASSERT_EQ(GetRecordInfoFromGuids(LIBID_MarloTandemPluginLib, 1, 0, LOCALE_SYSTEM_DEFAULT,
                                     kPropertyRecord, record.put()),
              S_OK);
    ULONG size = 0;
    ASSERT_EQ(record->GetSize(&size), S_OK);
    EXPECT_EQ(size, sizeof(TandemProperty));
}

INSTANTIATE_TEST_SUITE_P(Modules, Registration, testing::ValuesIn(TypeLibModules()));

}  // namespace
