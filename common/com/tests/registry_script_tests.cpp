#include <gtest/gtest.h>

#include <string>

#include "com/registry_script.h"
#include "error.h"
#include "registry.h"
#include "testing/registry_sandbox.h"
#include "test_resources.h"

using namespace tandem;

namespace {

const wchar_t kClassScript[] = LR"(
HKCR
{
    NoRemove CLSID
    {
        ForceRemove {6F1B2C3D-0000-4000-8000-00000000C0DE} = s 'Sample Class'
        {
            LocalServer32 = s '"%MODULE%"'
            ProgID = s 'Sample.Object.1'
            val AppID = s '%APPID%'
        }
    }
    Sample.Object.1 = s 'Sample Class'
    {
        CLSID = s '{6F1B2C3D-0000-4000-8000-00000000C0DE}'
    }
    NoRemove AppID
    {
        '%APPID%' = s 'Sample'
        'sample.exe'
        {
            val AppID = s '%APPID%'
        }
    }
}
HKLM
{
    NoRemove SOFTWARE
    {
        NoRemove Sample
        {
            val Level = d '42'
            val Mask = d '0xFFFFFFFF'
            Settings
        }
    }
}
)";

const ScriptReplacements kReplacements{
    {L"MODULE", L"C:\\Program Files\\Sample\\sample.exe"},
    {L"APPID", L"{6F1B2C3D-0000-4000-8000-0000000A0001}"},
};

const wchar_t kClassKey[] = L"CLSID\\{6F1B2C3D-0000-4000-8000-00000000C0DE}";


std::wstring DefaultOf(HKEY root, const std::wstring& path) { return ReadString(OpenKey(root, path).get(), nullptr); }

HRESULT HrOf(const auto& f) { return CatchHr(f); }

bool HasSubkeys(HKEY root) {
    DWORD subkeys = 0;
    CheckWin32(RegQueryInfoKeyW(root, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                                nullptr, nullptr, nullptr));
    return subkeys != 0;
}

class RegistryScript : public ::testing::Test {
protected:
    test::RegistrySandbox sandbox_{{HKEY_CLASSES_ROOT, HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}};
};

}  // namespace

TEST_F(RegistryScript, RegisterWritesKeysAndValuesWithReplacements) {
    RegisterScript(kClassScript, kReplacements, RegistrationScope::Machine);

    EXPECT_EQ(DefaultOf(HKEY_CLASSES_ROOT, kClassKey), L"Sample Class");
    EXPECT_EQ(DefaultOf(HKEY_CLASSES_ROOT, std::wstring(kClassKey) + L"\\LocalServer32"),
              L"\"C:\\Program Files\\Sample\\sample.exe\"");
    EXPECT_EQ(ReadString(OpenKey(HKEY_CLASSES_ROOT, kClassKey).get(), L"AppID"),
              L"{6F1B2C3D-0000-4000-8000-0000000A0001}");
    EXPECT_EQ(DefaultOf(HKEY_CLASSES_ROOT, L"Sample.Object.1\\CLSID"), L"{6F1B2C3D-0000-4000-8000-00000000C0DE}");
    EXPECT_EQ(DefaultOf(HKEY_CLASSES_ROOT, L"AppID\\{6F1B2C3D-0000-4000-8000-0000000A0001}"), L"Sample");
    EXPECT_EQ(ReadString(OpenKey(HKEY_CLASSES_ROOT, L"AppID\\sample.exe").get(), L"AppID"),
              L"{6F1B2C3D-0000-4000-8000-0000000A0001}");

    RegKey sample = OpenKey(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Sample");
    EXPECT_EQ(ReadDword(sample.get(), L"Level", 0), 42u);
    EXPECT_EQ(ReadDword(sample.get(), L"Mask", 0), 0xFFFFFFFFu);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Sample\\Settings"));
    // A key without "= ..." gets no default value.
    EXPECT_FALSE(TryReadString(OpenKey(HKEY_CLASSES_ROOT, L"AppID\\sample.exe").get(), nullptr).has_value());
}

TEST_F(RegistryScript, UnregisterRemovesAllButNoRemoveKeysAndTheirOtherContent) {
    RegisterScript(kClassScript, kReplacements, RegistrationScope::Machine);
    CreateKey(HKEY_CLASSES_ROOT, L"CLSID\\{00000000-0000-0000-0000-00000000BEEF}");
    RegKey sample = OpenKey(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Sample", kKeyReadWrite);
    WriteString(sample.get(), L"Unrelated", L"kept");

    UnregisterScript(kClassScript, kReplacements, RegistrationScope::Machine);

    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClassKey));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"Sample.Object.1"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"AppID\\{6F1B2C3D-0000-4000-8000-0000000A0001}"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"AppID\\sample.exe"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"AppID"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"CLSID\\{00000000-0000-0000-0000-00000000BEEF}"));

    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Sample\\Settings"));
    EXPECT_FALSE(TryReadString(sample.get(), L"Level").has_value());
    EXPECT_EQ(ReadDword(sample.get(), L"Level", 7), 7u);
    EXPECT_EQ(ReadString(sample.get(), L"Unrelated"), L"kept");

    // Nothing left to remove is not a failure.
    EXPECT_NO_THROW(UnregisterScript(kClassScript, kReplacements, RegistrationScope::Machine));
}

TEST_F(RegistryScript, ForceRemoveClearsAnOldSubtreeOtherKeysAreMerged) {
    CreateKey(HKEY_CLASSES_ROOT, std::wstring(kClassKey) + L"\\InprocServer32");
    CreateKey(HKEY_CLASSES_ROOT, L"Sample.Object.1\\Stale");

    RegisterScript(kClassScript, kReplacements, RegistrationScope::Machine);

    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, std::wstring(kClassKey) + L"\\InprocServer32"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, std::wstring(kClassKey) + L"\\LocalServer32"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"Sample.Object.1\\Stale"));
}

TEST_F(RegistryScript, UserScopeWritesClassesUnderTheCurrentUser) {
    RegisterScript(kClassScript, kReplacements, RegistrationScope::User);

    EXPECT_EQ(DefaultOf(HKEY_CURRENT_USER, std::wstring(L"Software\\Classes\\") + kClassKey), L"Sample Class");
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"CLSID"));
    // Only HKCR follows the scope.
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Sample\\Settings"));

    UnregisterScript(kClassScript, kReplacements, RegistrationScope::User);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, std::wstring(L"Software\\Classes\\") + kClassKey));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, L"Software\\Classes\\CLSID"));
}

TEST_F(RegistryScript, QuotesPercentSignsAndKeywordsOfAnyCase) {
    const wchar_t script[] = LR"(hkey_current_user { noremove Software { 'It''s %NAME%' = S '100%% ''sure''' {
        VAL 'val' = D '0x1F' } } })";
    // Replacement text is data: quotes and braces in it do not change the script.
    RegisterScript(script, {{L"NAME", L"a 'b' } {"}}, RegistrationScope::Machine);

    const std::wstring key = L"Software\\It's a 'b' } {";
    EXPECT_EQ(DefaultOf(HKEY_CURRENT_USER, key), L"100% 'sure'");
    EXPECT_EQ(ReadDword(OpenKey(HKEY_CURRENT_USER, key).get(), L"val", 0), 31u);
}

TEST_F(RegistryScript, MalformedScriptsFailBeforeAnythingIsWritten) {
    const wchar_t* const malformed[] = {
        L"HKCR { Good } HKCR { 'unterminated }",
        L"HKCR { Good } HKCR { Missing",
        L"HKCR { Good } HKEY_USERS { Key }",
        L"HKCR { Good } }",
        L"HKCR { Good = 'no type' }",
        L"HKCR { Good = x 'unknown type' }",
        L"HKCR { Good = s }",
        L"HKCR { Good = s bare }",
        L"HKCR { Good { val Name = d '12a' } }",
        L"HKCR { Good { val Name = d '0x100000000' } }",
        L"HKCR { Good { val Name = d '0x' } }",
        L"HKCR { Good { val = s 'x' } }",
        L"HKCR { Good { val Name s 'x' } }",
        L"HKCR { Good { val '' = s 'x' } }",
        L"HKCR { Good '' }",
        L"HKCR { Good %UNKNOWN% }",
        L"HKCR { Good %MODULE }",
        L"HKCR { Good Key's }",
        L"HKCR { val Name = s 'root values do not exist' }",
        L"HKCR { Good } Extra",
        L"HKCR",
    };
    for (const wchar_t* script : malformed) {
        EXPECT_EQ(HrOf([&] { RegisterScript(script, kReplacements, RegistrationScope::Machine); }),
                  TANDEM_E_REGISTRY_SCRIPT)
            << script;
        EXPECT_EQ(HrOf([&] { UnregisterScript(script, kReplacements, RegistrationScope::Machine); }),
                  TANDEM_E_REGISTRY_SCRIPT)
            << script;
    }
    EXPECT_FALSE(HasSubkeys(HKEY_CLASSES_ROOT));
}

TEST_F(RegistryScript, HostileNestingIsRefused) {
    std::wstring script = L"HKCU {";
    for (int i = 0; i < 10000; ++i) script += L" k {";
    EXPECT_EQ(HrOf([&] { RegisterScript(script, {}, RegistrationScope::Machine); }), TANDEM_E_REGISTRY_SCRIPT);
    EXPECT_FALSE(HasSubkeys(HKEY_CURRENT_USER));
}

TEST_F(RegistryScript, ScriptsLoadFromUtf8AndUtf16Resources) {
    HMODULE self = GetModuleHandleW(nullptr);
    const std::wstring utf8 = LoadRegistryScript(self, IDR_SCRIPT_UTF8);
    const std::wstring utf16 = LoadRegistryScript(self, IDR_SCRIPT_UTF16);
    EXPECT_EQ(utf8, utf16);
    EXPECT_NE(utf8.find(L"Caf\u00e9 \u00dcbersicht"), std::wstring::npos);
    EXPECT_NE(utf8.front(), L'\uFEFF');

    RegisterScript(utf16, {{L"NAME", L"Loaded"}}, RegistrationScope::Machine);
    EXPECT_EQ(DefaultOf(HKEY_CLASSES_ROOT, L"Loaded"), L"Caf\u00e9 \u00dcbersicht");

    EXPECT_EQ(HrOf([&] { LoadRegistryScript(self, 999); }), HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND));
}
