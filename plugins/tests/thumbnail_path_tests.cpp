#include <windows.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "error.h"
#include "testing/test_drive.h"
#include "thumbnail_path.h"

using namespace tandem;

namespace {

// The expected name, digested by the platform's own cryptographic provider.
std::wstring ExpectedName(std::wstring_view rest, const std::vector<BYTE>& idBytes) {
    std::vector<BYTE> bytes;
    for (wchar_t unit : rest) {
        bytes.push_back(static_cast<BYTE>(unit & 0xFF));
        bytes.push_back(static_cast<BYTE>(unit >> 8));
    }
    bytes.insert(bytes.end(), idBytes.begin(), idBytes.end());
    HCRYPTPROV provider = 0;
    if (!CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) ThrowLastError();
    HCRYPTHASH hash = 0;
    BYTE digest[16];
    DWORD size = sizeof(digest);
    bool ok = CryptCreateHash(provider, CALG_MD5, 0, 0, &hash) &&
              CryptHashData(hash, bytes.data(), static_cast<DWORD>(bytes.size()), 0) &&
              CryptGetHashParam(hash, HP_HASHVAL, digest, &size, 0);
    if (hash) CryptDestroyHash(hash);
    CryptReleaseContext(provider, 0);
    if (!ok) ThrowHr(E_FAIL);
    wchar_t text[33];
    for (int i = 0; i < 16; ++i) swprintf(text + 2 * i, 3, L"%02X", digest[i]);
    return std::wstring(text) + L".jpg";
}

const std::vector<BYTE> kId504{0xAE, 0x2B, 0x00, 0x00};

}  // namespace

TEST(ThumbnailFileNameTest, DigestsPathBelowRootAndFrameworkId) {
    EXPECT_EQ(ThumbnailFileName(L"Photos\\a.jpg", 11182), ExpectedName(L"Photos\\a.jpg", kId504));
    EXPECT_NE(ThumbnailFileName(L"Photos\\a.jpg", 11183), ThumbnailFileName(L"Photos\\a.jpg", 11182));
    // No case folding: the name follows the path exactly as stored.
    EXPECT_NE(ThumbnailFileName(L"photos\\A.JPG", 11182), ThumbnailFileName(L"Photos\\a.jpg", 11182));
}

TEST(ThumbnailFileNameTest, KnownMd5Vector) {
    Md5Digest digest = Md5("abc", 3);
    const BYTE expected[16] = {0x90, 0x01, 0x50, 0x98, 0x3c, 0xd2, 0x4f, 0xb0,
                               0xd6, 0x96, 0x3f, 0x7d, 0x28, 0xe1, 0x7f, 0x72};
    EXPECT_TRUE(std::equal(digest.begin(), digest.end(), expected));
}

class ThumbnailPathTest : public ::testing::Test {
protected:
    test::TestDrive drive_{L'T', DRIVE_FIXED};
};

TEST_F(ThumbnailPathTest, CreatesHiddenThumbnailFolderBelowRoot) {
    ASSERT_TRUE(CreateDirectoryW(L"T:\\Pelion Entertainment", nullptr));
    std::wstring path = ThumbnailPath(L"T:\\Photos\\a.jpg", 11182, L"Pelion Entertainment\\Thumbnail");
    EXPECT_EQ(path, L"T:\\Pelion Entertainment\\Thumbnail\\" + ExpectedName(L"Photos\\a.jpg", kId504));
    DWORD attributes = GetFileAttributesW(L"T:\\Pelion Entertainment\\Thumbnail");
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_HIDDEN);
    // A second thumbnail reuses the folder.
    EXPECT_NO_THROW(ThumbnailPath(L"T:\\Photos\\b.jpg", 11182, L"Pelion Entertainment\\Thumbnail"));
}

TEST_F(ThumbnailPathTest, MissingParentFolderFails) {
    try {
        ThumbnailPath(L"T:\\Photos\\a.jpg", 11182, L"Pelion Entertainment\\Thumbnail");
        FAIL() << "the thumbnail folder was made without its parent";
    } catch (const HResultError& e) {
        EXPECT_EQ(e.hr(), HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
    }
    EXPECT_EQ(GetFileAttributesW(L"T:\\Pelion Entertainment"), INVALID_FILE_ATTRIBUTES);
}
