#include <gtest/gtest.h>

#include "paths.h"

using namespace tandem;

TEST(Paths, TrailingBackslashIsAddedOrRemovedOnce) {
    EXPECT_EQ(WithTrailingBackslash(L"Music"), L"Music\\");
    EXPECT_EQ(WithTrailingBackslash(L"Music\\"), L"Music\\");
    EXPECT_EQ(WithTrailingBackslash(L""), L"");
    EXPECT_EQ(WithoutTrailingBackslash(L"D:\\Music\\"), L"D:\\Music");
    EXPECT_EQ(WithoutTrailingBackslash(L"D:\\Music\\\\"), L"D:\\Music\\");
    EXPECT_EQ(WithoutTrailingBackslash(L"D:\\"), L"D:");
    EXPECT_EQ(WithoutTrailingBackslash(L""), L"");
}

TEST(Paths, DriveRootIsSplitOff) {
    RootSplit split = SplitRoot(L"D:\\Music\\Rock");
    EXPECT_EQ(split.root, L"D:\\");
    EXPECT_EQ(split.relative, L"Music\\Rock");

    split = SplitRoot(L"D:\\");
    EXPECT_EQ(split.root, L"D:\\");
    EXPECT_EQ(split.relative, L"");
}

TEST(Paths, UncShareIsTheRoot) {
    RootSplit split = SplitRoot(L"\\\\server\\share\\Photos\\2024\\");
    EXPECT_EQ(split.root, L"\\\\server\\share\\");
    EXPECT_EQ(split.relative, L"Photos\\2024\\");

    split = SplitRoot(L"\\\\server\\share");
    EXPECT_EQ(split.root, L"\\\\server\\share\\");
    EXPECT_EQ(split.relative, L"");
}

TEST(Paths, PathWithoutSkippableRootIsWholeRoot) {
    RootSplit split = SplitRoot(L"Music\\Rock");
    EXPECT_EQ(split.root, L"Music\\Rock\\");
    EXPECT_EQ(split.relative, L"");
}

// A doubled separator once made a relative path begin with a backslash, a
// folder of its own to the covering checks and an endless parent walk.
TEST(Paths, RelativePartHasSingleInnerSeparatorsOnly) {
    EXPECT_EQ(SplitRoot(L"D:\\\\Music").relative, L"Music");
    EXPECT_EQ(SplitRoot(L"D:\\\\\\Music\\\\Rock\\\\").relative, L"Music\\Rock\\");
    EXPECT_EQ(SplitRoot(L"D:\\Music/Rock//").relative, L"Music\\Rock\\");
    EXPECT_EQ(SplitRoot(L"\\\\server\\share\\\\Photos").relative, L"Photos");
    EXPECT_EQ(CollapseSeparators(L"\\"), L"");
}

TEST(Paths, DotComponentsAreNotNames) {
    EXPECT_TRUE(HasOnlyNamedComponents(L""));
    EXPECT_TRUE(HasOnlyNamedComponents(L"Music\\Rock\\"));
    EXPECT_TRUE(HasOnlyNamedComponents(L"Music\\..x\\.hidden"));
    for (const wchar_t* path : {L"..\\", L"Music\\..\\", L".", L"Music\\.\\Rock", L"\\Music", L"Music\\\\Rock"})
        EXPECT_FALSE(HasOnlyNamedComponents(path)) << path;
}
