#pragma once

#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <string>

#include "com/type_library_registration.h"
#include "error.h"
#include "plugin_manager.h"
#include "plugin_test_plugin.h"
#include "registry.h"
#include "strings.h"
#include "testing/com_apartment.h"
#include "testing/registry_sandbox.h"
#include "module_path.h"

namespace tandem::test {

inline constexpr CLSID kAlphaClass = {0x5C2B7E10, 0x1D0A, 0x4E61, {0x9A, 0x11, 0x30, 0x6B, 0x1F, 0x2A, 0x00, 0x01}};
inline constexpr CLSID kBetaClass = {0x5C2B7E10, 0x1D0A, 0x4E61, {0x9A, 0x11, 0x30, 0x6B, 0x1F, 0x2A, 0x00, 0x02}};
inline constexpr CLSID kMissingClass = {0x5C2B7E10, 0x1D0A, 0x4E61, {0x9A, 0x11, 0x30, 0x6B, 0x1F, 0x2A, 0x00, 0x03}};

// The plug-in type library sits beside the test program.
inline std::wstring PluginTypeLibraryPath() { return ModuleDirectory(nullptr) + L"TandemPlugin.dll"; }

// A private registry with the plug-in type library registered and an empty
// "Plugin" key; every test plug-in must be gone at the end.
class PluginHostTest : public ::testing::Test {
protected:
    PluginHostTest() {
        RegisterTypeLibrary(PluginTypeLibraryPath(), RegistrationScope::Machine);
        plugins_ = CreateKey(HKEY_LOCAL_MACHINE, std::wstring(kProductKey) + L"\\" + kPluginSubKey);
    }
    void TearDown() override { EXPECT_EQ(LiveTestObjects(), 0); }

    void AddPlugin(const std::wstring& name, const GUID& clsid) { AddPlugin(name, GuidToString(clsid)); }
    void AddPlugin(const std::wstring& name, const std::wstring& clsidText) {
        WriteString(CreateKey(plugins_.get(), name).get(), L"CLSID", clsidText);
    }

    ComApartment apartment_;
    RegistrySandbox sandbox_;
    RegKey plugins_;
};

}  // namespace tandem::test
