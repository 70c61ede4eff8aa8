#include <gtest/gtest.h>

#include <string>

#include "file_name_checker.h"

using namespace tandem;

namespace {

// Matches a file by its path below the root; the name is the last component.
bool FileMatches(const wchar_t* pattern, const std::wstring& relativePath) {
    const auto slash = relativePath.rfind(L'\\');
    const std::wstring name = slash == std::wstring::npos ? relativePath : relativePath.substr(slash + 1);
    return MakeFileChecker(pattern)->IsMatch(relativePath, name);
}

// Folder paths end with a backslash, and so does the name.
bool FolderMatches(const wchar_t* pattern, const std::wstring& relativePath) {
    const std::wstring trimmed = relativePath.substr(0, relativePath.size() - 1);
    const auto slash = trimmed.rfind(L'\\');
    const std::wstring name = slash == std::wstring::npos ? relativePath : relativePath.substr(slash + 1);
    return MakeFolderChecker(pattern)->IsMatch(relativePath, name);
}

}  // namespace

TEST(FileChecker, EmptyPatternNeverMatches) {
    EXPECT_FALSE(FileMatches(L"", L"a.txt"));
    EXPECT_FALSE(FileMatches(L"", L""));
    EXPECT_FALSE(FolderMatches(L"", L"a\\"));
}

TEST(FileChecker, StarAloneMatchesNamesWithoutExtension) {
    EXPECT_TRUE(FileMatches(L"*", L"README"));
    EXPECT_TRUE(FileMatches(L"*", L"src\\Makefile"));
    EXPECT_FALSE(FileMatches(L"*", L"a.txt"));
    EXPECT_FALSE(FileMatches(L"*", L"dir.d\\a.txt"));
}

TEST(FileChecker, LeadingStarMatchesEndIgnoringCase) {
    EXPECT_TRUE(FileMatches(L"*.tmp", L"x\\work.tmp"));
    EXPECT_TRUE(FileMatches(L"*.JPG", L"photo.jpg"));
    EXPECT_TRUE(FileMatches(L"*.tmp", L".TMP"));
    EXPECT_FALSE(FileMatches(L"*.tmp", L"tmp"));
    EXPECT_FALSE(FileMatches(L"*.tmp", L"work.tmp.txt"));
}

TEST(FileChecker, StarsOnBothSidesSearchTheExtensionPart) {
    EXPECT_TRUE(FileMatches(L"*mp*", L"song.mp3"));
    EXPECT_FALSE(FileMatches(L"*mp*", L"mpeg-notes.txt"));
    EXPECT_TRUE(FileMatches(L"*mp*", L"mpfile"));
    EXPECT_TRUE(FileMatches(L"*BAK*", L"old.doc.bak1"));
    EXPECT_TRUE(FileMatches(L"*.*", L"a.b"));
    EXPECT_FALSE(FileMatches(L"*.*", L"ab"));
}

TEST(FileChecker, DoubleStarMatchesEverything) {
    EXPECT_TRUE(FileMatches(L"**", L"a.txt"));
    EXPECT_TRUE(FileMatches(L"**", L"README"));
}

TEST(FileChecker, LeadingBackslashMatchesOnlyDirectlyUnderRoot) {
    EXPECT_TRUE(FileMatches(L"\\boot.ini", L"boot.ini"));
    EXPECT_TRUE(FileMatches(L"\\boot.ini", L"BOOT.INI"));
    EXPECT_FALSE(FileMatches(L"\\boot.ini", L"Backup\\boot.ini"));
    EXPECT_TRUE(FileMatches(L"\\Backup\\boot.ini", L"backup\\boot.ini"));
}

TEST(FileChecker, TrailingStarMatchesBeginning) {
    EXPECT_TRUE(FileMatches(L"~*", L"docs\\~lock.doc"));
    EXPECT_TRUE(FileMatches(L"~*", L"~"));
    EXPECT_TRUE(FileMatches(L"Thumbs*", L"thumbs.db"));
    EXPECT_FALSE(FileMatches(L"~*", L"a~b"));
}

TEST(FileChecker, PlainPatternMatchesWholeNameAtAnyDepth) {
    EXPECT_TRUE(FileMatches(L"thumbs.db", L"a\\b\\Thumbs.db"));
    EXPECT_FALSE(FileMatches(L"thumbs.db", L"a\\thumbs.db.old"));
    EXPECT_FALSE(FileMatches(L"thumbs.db", L"thumbs.d"));
}

TEST(FolderChecker, StarPatterns) {
    EXPECT_TRUE(FolderMatches(L"*", L"Music\\"));
    EXPECT_TRUE(FolderMatches(L"*", L"a\\b\\"));
    EXPECT_TRUE(FolderMatches(L"*cache", L"app\\WebCache\\"));
    EXPECT_FALSE(FolderMatches(L"*cache", L"cached\\"));
    // A trailing star after a leading one is literal.
    EXPECT_TRUE(FolderMatches(L"*x*", L"ax*\\"));
    EXPECT_FALSE(FolderMatches(L"*x*", L"axb\\"));
}

TEST(FolderChecker, LeadingBackslashMatchesOnlyDirectlyUnderRoot) {
    EXPECT_TRUE(FolderMatches(L"\\Windows", L"windows\\"));
    EXPECT_FALSE(FolderMatches(L"\\Windows", L"old\\Windows\\"));
    EXPECT_TRUE(FolderMatches(L"\\Windows\\", L"Windows\\"));
}

TEST(FolderChecker, NameAndPrefixPatterns) {
    EXPECT_TRUE(FolderMatches(L"Temp", L"Temp\\"));
    EXPECT_TRUE(FolderMatches(L"Temp", L"Work\\TEMP\\"));
    EXPECT_FALSE(FolderMatches(L"Temp", L"Temporary\\"));
    EXPECT_TRUE(FolderMatches(L"Temp*", L"Temp\\"));
    EXPECT_TRUE(FolderMatches(L"Temp*", L"Work\\Temp\\"));
    EXPECT_TRUE(FolderMatches(L"Temp*", L"Temporary\\"));
    EXPECT_FALSE(FolderMatches(L"Temp*", L"MyTemp\\"));
}
