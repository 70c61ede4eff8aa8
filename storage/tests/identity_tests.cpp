#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <span>
#include <string>

#include "error.h"
#include "identity_file.h"
#include "storage_data.h"
#include "storage_types.h"
#include "strings.h"
#include "unique_resource.h"

using namespace tandem;

namespace {

// A directory that plays the part of a storage root.
class RootDirectory : public ::testing::Test {
protected:
    RootDirectory() {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        root_ = std::wstring(temp) + L"tandem-root-" + NewGuidId() + L"\\";
        CreateDirectoryW(root_.c_str(), nullptr);
    }
    ~RootDirectory() override {
        DeleteFileW(FilePath().c_str());
        RemoveDirectoryW(Directory().c_str());
        DeleteFileW(Directory().c_str());
        RemoveDirectoryW(root_.c_str());
    }
    std::wstring Directory() const { return root_ + L"Pelion Entertainment"; }
    std::wstring FilePath() const { return Directory() + L"\\StorageInfo"; }
    void WriteRaw(const std::string& bytes) {
        CreateDirectoryW(Directory().c_str(), nullptr);
        UniqueHandle file(CreateFileW(FilePath().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(file);
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    }
    std::string ReadRaw() {
        UniqueHandle file(CreateFileW(FilePath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                      nullptr));
        std::string bytes(4096, '\0');
        DWORD read = 0;
        if (!file || !ReadFile(file.get(), bytes.data(), 4096, &read, nullptr)) return "(unreadable)";
        bytes.resize(read);
        return bytes;
    }

    std::wstring root_;
};

}  // namespace

TEST_F(RootDirectory, IdentityIsWrittenAsOneCrLfLineAndReadBack) {
    EXPECT_FALSE(ReadIdentity(root_));
    WriteIdentity(root_, L"0123456789ABCDEF0123456789ABCDEF-1234ABCD01");
    EXPECT_EQ(ReadRaw(), "0123456789ABCDEF0123456789ABCDEF-1234ABCD01\r\n");
    EXPECT_EQ(ReadIdentity(root_), L"0123456789ABCDEF0123456789ABCDEF-1234ABCD01");
    // Rewriting truncates.
    WriteIdentity(root_, L"ABC");
    EXPECT_EQ(ReadRaw(), "ABC\r\n");
    DeleteIdentity(root_);
    EXPECT_FALSE(ReadIdentity(root_));
    DeleteIdentity(root_);
}

TEST_F(RootDirectory, OnlyTheFirstLineCountsAndUnusableLinesAreNoId) {
    WriteRaw("ABC1\nDEF2\r\n");
    EXPECT_EQ(ReadIdentity(root_), L"ABC1");
    WriteRaw("00FF-01");
    EXPECT_EQ(ReadIdentity(root_), L"00FF-01");
    WriteRaw("");
    EXPECT_FALSE(ReadIdentity(root_));
    WriteRaw("\r\nABC1\r\n");
    EXPECT_FALSE(ReadIdentity(root_));
    WriteRaw(std::string(100000, 'A'));
    EXPECT_FALSE(ReadIdentity(root_));
    WriteRaw(std::string(64, 'B') + "\r\n");
    EXPECT_EQ(ReadIdentity(root_), std::wstring(64, L'B'));
}

namespace {

std::optional<std::wstring> Parse(const std::string& text) {
    return ParseIdentity(std::as_bytes(std::span(text.data(), text.size())));
}

}  // namespace

// The id becomes a path component of the service's data folder: nothing from
// a medium may climb out of it, name a drive or an alternate stream.
TEST(IdentityParser, AcceptsOnlyTheCharactersOfGeneratedIds) {
    EXPECT_EQ(Parse("0123456789ABCDEF0123456789abcdef-1234ABCD01\r\n"),
              L"0123456789ABCDEF0123456789abcdef-1234ABCD01");
    for (const char* hostile : {"../../../x", "..", "AB/CD", "AB\\CD", "C:", "AB:stream", "AB CD", "AB.CD",
                                "GHIJ", "AB\x01", "\xC3\xA9AB"})
        EXPECT_FALSE(Parse(std::string(hostile) + "\r\n")) << hostile;
    EXPECT_FALSE(Parse(std::string("AB\0CD", 5)));
    EXPECT_FALSE(Parse(std::string(300, 'A') + "\r\n"));
    EXPECT_FALSE(Parse(std::string(65, 'A')));
    EXPECT_EQ(Parse(std::string(64, 'A')), std::wstring(64, L'A'));
    EXPECT_FALSE(Parse(""));
}

TEST_F(RootDirectory, IdentityDirectoryThatCannotExistIsAWriteFault) {
    // A file squats on the directory's name.
    UniqueHandle squatter(CreateFileW(Directory().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    squatter.reset();
    EXPECT_EQ(CatchHr([&] { WriteIdentity(root_, L"ID"); }), HRESULT_FROM_WIN32(ERROR_WRITE_FAULT));
    EXPECT_EQ(CatchHr([&] { WriteIdentity(root_ + L"missing\\", L"ID"); }), HRESULT_FROM_WIN32(ERROR_WRITE_FAULT));
}

TEST(IdentityPaths, RootlessOrOverlongPathsAreUnexpected) {
    EXPECT_EQ(IdentityDirectory(L"D:\\"), L"D:\\Pelion Entertainment");
    EXPECT_EQ(IdentityDirectory(L"\\\\srv\\share\\"), L"\\\\srv\\share\\Pelion Entertainment");
    EXPECT_EQ(CatchHr([] { IdentityDirectory(L""); }), E_UNEXPECTED);
    std::wstring longRoot = L"D:\\" + std::wstring(300, L'x') + L"\\";
    EXPECT_EQ(CatchHr([&] { IdentityDirectory(longRoot); }), E_UNEXPECTED);
    EXPECT_EQ(CatchHr([&] { ReadIdentity(longRoot); }), E_UNEXPECTED);
    EXPECT_EQ(CatchHr([&] { WriteIdentity(longRoot, L"ID"); }), E_UNEXPECTED);
    DeleteIdentity(longRoot);
}

TEST(StorageData, DirectoriesUpToTheIdAreCreatedAndReused) {
    std::wstring id = L"TEST-" + NewGuidId();
    std::wstring path = StorageDataPath(id, L"Task.xml");
    EXPECT_NE(path.find(L"\\Marlo Corporation\\Tandem Content Folder Watcher\\" + id + L"\\Task.xml"),
              std::wstring::npos);
    std::wstring directory = path.substr(0, path.rfind(L'\\'));
    DWORD attributes = GetFileAttributesW(directory.c_str());
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(StorageDataPath(id, L"Task.xml"), path);
    EXPECT_EQ(CatchHr([&] { StorageDataPath(id, std::wstring(300, L'n')); }), E_UNEXPECTED);
    EXPECT_EQ(CatchHr([&] { StorageDataPath(L"", L"Task.xml"); }), E_UNEXPECTED);
    RemoveDirectoryW(directory.c_str());
}

TEST(StorageTypes, DriveTypesMapToStorageTypes) {
    EXPECT_EQ(StorageTypeOfDrive(DRIVE_REMOVABLE), tnStorageType_Removable);
    EXPECT_EQ(StorageTypeOfDrive(DRIVE_FIXED), tnStorageType_Fixed);
    EXPECT_EQ(StorageTypeOfDrive(DRIVE_REMOTE), tnStorageType_Remote);
    EXPECT_EQ(StorageTypeOfDrive(DRIVE_CDROM), tnStorageType_CDROM);
    EXPECT_EQ(StorageTypeOfDrive(DRIVE_RAMDISK), tnStorageType_RAMDisk);
    EXPECT_EQ(StorageTypeOfDrive(DRIVE_NO_ROOT_DIR), tnStorageType_Unknown);
    EXPECT_EQ(StorageTypeOfDrive(DRIVE_UNKNOWN), tnStorageType_Unknown);
}
