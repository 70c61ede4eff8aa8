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
