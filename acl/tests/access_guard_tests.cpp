// Drives AccessGuard.dll as an installer would: loaded by path, called
// through its exported names.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "unique_resource.h"

namespace tandem::acl {
namespace {

using GuardFunction = int (*)(const char*);

class AccessGuardModule : public ::testing::Test {
protected:
    void SetUp() override {
        module_.reset(LoadLibraryW(L"AccessGuard.dll"));
        ASSERT_TRUE(module_) << GetLastError();
        guard_ = reinterpret_cast<GuardFunction>(reinterpret_cast<void*>(GetProcAddress(module_.get(), "SetAccessGuard")));
        fullGuard_ = reinterpret_cast<GuardFunction>(reinterpret_cast<void*>(GetProcAddress(module_.get(), "SetFullAccessGuard")));
        ASSERT_NE(guard_, nullptr);
        ASSERT_NE(fullGuard_, nullptr);
        folder_ = std::filesystem::temp_directory_path() /
                  ("access-guard-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount64()));
        std::filesystem::create_directories(folder_);
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    std::string MakeFile(const char* name) {
        const std::filesystem::path path = folder_ / name;
        std::ofstream(path) << "data";
        return path.string();
    }

    UniqueModule module_;
    GuardFunction guard_ = nullptr;
    GuardFunction fullGuard_ = nullptr;
    std::filesystem::path folder_;
};

TEST_F(AccessGuardModule, GuardsFilesAndDirectories) {
    const std::string file = MakeFile("guarded.txt");
    EXPECT_NE(guard_(file.c_str()), 0) << GetLastError();
    EXPECT_NE(guard_(file.c_str()), 0) << GetLastError();
    EXPECT_NE(fullGuard_(file.c_str()), 0) << GetLastError();
    EXPECT_NE(guard_(folder_.string().c_str()), 0) << GetLastError();
    EXPECT_NE(fullGuard_(folder_.string().c_str()), 0) << GetLastError();
}

TEST_F(AccessGuardModule, NullPathFailsWithAnError) {
    for (GuardFunction f : {guard_, fullGuard_}) {
        SetLastError(0);
        EXPECT_EQ(f(nullptr), 0);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
}

TEST_F(AccessGuardModule, MissingPathFailsAndCreatesNothing) {
    const std::string missing = (folder_ / "missing.txt").string();
    for (GuardFunction f : {guard_, fullGuard_}) {
        SetLastError(0);
        EXPECT_EQ(f(missing.c_str()), 0);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
        EXPECT_FALSE(std::filesystem::exists(missing));
    }
}

TEST_F(AccessGuardModule, OverlongAndUnmappablePathsFailWithAnError) {
    const std::string overlong = folder_.string() + "\\" + std::string(32000, 'a');
    SetLastError(0);
    EXPECT_EQ(guard_(overlong.c_str()), 0);
    EXPECT_NE(GetLastError(), 0u);
    const std::string unmappable = (folder_ / "x").string() + "\x81\xff\xfe";
    SetLastError(0);
    EXPECT_EQ(fullGuard_(unmappable.c_str()), 0);
    EXPECT_NE(GetLastError(), 0u);
}

}  // namespace
}  // namespace tandem::acl
