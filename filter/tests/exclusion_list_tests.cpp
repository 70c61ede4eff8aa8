#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "error.h"
#include "exclusion_list.h"
#include "registry.h"
#include "testing/registry_sandbox.h"

using namespace tandem;

namespace {

class ExclusionLists : public ::testing::Test {
protected:
    RegKey Files() { return CreateKey(HKEY_LOCAL_MACHINE, kIgnoredFilesKey); }
    void SetRaw(const wchar_t* name, DWORD type, const void* data, DWORD size) {
        CheckWin32(RegSetValueExW(Files().get(), name, 0, type, static_cast<const BYTE*>(data), size));
    }
    HRESULT LoadHr() {
        return CatchHr([] { LoadFileExclusions(); });
    }

    test::RegistrySandbox sandbox_;
};

}  // namespace

TEST_F(ExclusionLists, MissingKeysGiveEmptyLists) {
    EXPECT_TRUE(LoadFileExclusions().empty());
    EXPECT_TRUE(LoadFolderExclusions().empty());
}

TEST_F(ExclusionLists, EachListUsesItsGrammar) {
    WriteString(Files().get(), L"a", L"*.tmp");
    WriteString(Files().get(), L"b", L"Thumbs.db");
    WriteString(CreateKey(HKEY_LOCAL_MACHINE, kIgnoredFoldersKey).get(), L"x", L"Temp");

    const auto files = LoadFileExclusions();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_TRUE(IsExcluded(files, L"d\\x.TMP", L"x.TMP"));
    EXPECT_TRUE(IsExcluded(files, L"thumbs.db", L"thumbs.db"));
    EXPECT_FALSE(IsExcluded(files, L"d\\x.txt", L"x.txt"));

    const auto folders = LoadFolderExclusions();
    ASSERT_EQ(folders.size(), 1u);
    EXPECT_TRUE(IsExcluded(folders, L"Work\\Temp\\", L"Temp\\"));
    EXPECT_FALSE(IsExcluded(folders, L"Temporary\\", L"Temporary\\"));
}

TEST_F(ExclusionLists, ExpandStringsAreReadUnexpanded) {
    const wchar_t pattern[] = L"%TEMP%";
    SetRaw(L"e", REG_EXPAND_SZ, pattern, sizeof(pattern));
    const auto files = LoadFileExclusions();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(IsExcluded(files, L"%temp%", L"%temp%"));
}

TEST_F(ExclusionLists, TerminatorOnlyValueNeverMatches) {
    SetRaw(L"empty", REG_SZ, L"", sizeof(wchar_t));
    const auto files = LoadFileExclusions();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_FALSE(IsExcluded(files, L"a", L"a"));
    EXPECT_FALSE(IsExcluded(files, L"", L""));
}

TEST_F(ExclusionLists, ZeroSizeOrNonStringValuesFailTheLoad) {
    const HRESULT invalid = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
    WriteString(Files().get(), L"good", L"*.tmp");
    SetRaw(L"zero", REG_SZ, nullptr, 0);
    EXPECT_EQ(LoadHr(), invalid);

    DeleteValue(Files().get(), L"zero");
    EXPECT_EQ(LoadHr(), S_OK);

    const DWORD number = 1;
    SetRaw(L"dword", REG_DWORD, &number, sizeof(number));
    EXPECT_EQ(LoadHr(), invalid);
}
