#include <gtest/gtest.h>

#include <functional>

#include "error.h"
#include "registry.h"
#include "testing/registry_sandbox.h"

using namespace tandem;

namespace {

HRESULT HrOf(const std::function<void()>& f) { return CatchHr(f); }

const HRESULT kInvalidData = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);

class RegistryReaders : public ::testing::Test {
protected:
    void SetRaw(const wchar_t* name, DWORD type, const void* data, DWORD size) {
        CheckWin32(RegSetValueExW(key_.get(), name, 0, type, static_cast<const BYTE*>(data), size));
    }
    HKEY key() const { return key_.get(); }

    test::RegistrySandbox sandbox_;
    RegKey key_ = CreateKey(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Readers");
};

}  // namespace

TEST_F(RegistryReaders, StringsDropTheirLastUnitAsTerminator) {
    WriteString(key(), L"written", L"D:\\Music\\");
    EXPECT_EQ(ReadString(key(), L"written"), L"D:\\Music\\");

    SetRaw(L"expand", REG_EXPAND_SZ, L"%TEMP%", 14);
    EXPECT_EQ(ReadString(key(), L"expand"), L"%TEMP%");
}

TEST_F(RegistryReaders, ShortAndOddStringDataStaysInsideTheValue) {
    SetRaw(L"zero", REG_SZ, L"", 0);
    EXPECT_EQ(ReadString(key(), L"zero"), L"");
    SetRaw(L"one", REG_SZ, "x", 1);
    EXPECT_EQ(ReadString(key(), L"one"), L"");
    // Two whole units: the second is taken for the terminator.
    SetRaw(L"odd", REG_SZ, L"abcd", 5);
    EXPECT_EQ(ReadString(key(), L"odd"), L"a");
    WriteString(key(), L"empty", L"");
    EXPECT_EQ(ReadString(key(), L"empty"), L"");
}

TEST_F(RegistryReaders, StringsOfOtherTypesOrMissingFail) {
    DWORD number = 7;
    SetRaw(L"dword", REG_DWORD, &number, 4);
    SetRaw(L"multi", REG_MULTI_SZ, L"a\0\0", 6);
    SetRaw(L"binary", REG_BINARY, "ab", 2);
    EXPECT_EQ(HrOf([&] { ReadString(key(), L"dword"); }), kInvalidData);
    EXPECT_EQ(HrOf([&] { ReadString(key(), L"multi"); }), kInvalidData);
    EXPECT_EQ(HrOf([&] { ReadString(key(), L"binary"); }), kInvalidData);
    EXPECT_EQ(HrOf([&] { ReadString(key(), L"missing"); }), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(TryReadString(key(), L"missing").has_value());
}

TEST_F(RegistryReaders, LongStringsAreReadWhole) {
    std::wstring text(5000, L'x');
    WriteString(key(), L"long", text);
    EXPECT_EQ(ReadString(key(), L"long"), text);
}

TEST_F(RegistryReaders, DwordsFallBackWhenMissingLongOrOutOfRange) {
    EXPECT_EQ(ReadDword(key(), L"missing", 5), 5u);
    WriteDword(key(), L"two", 2);
    EXPECT_EQ(ReadDword(key(), L"two", 0, 0, 2), 2u);
    WriteDword(key(), L"three", 3);
    EXPECT_EQ(ReadDword(key(), L"three", 0, 0, 2), 0u);
    WriteDword(key(), L"small", 50);
    EXPECT_EQ(ReadDword(key(), L"small", 2000, 1000, 60000), 2000u);
    ULONGLONG wide = 1;
    SetRaw(L"qword", REG_QWORD, &wide, 8);
    EXPECT_EQ(ReadDword(key(), L"qword", 9), 9u);
    SetRaw(L"longsz", REG_SZ, L"12345", 12);
    EXPECT_EQ(ReadDword(key(), L"longsz", 9), 9u);
}

TEST_F(RegistryReaders, ShortDwordOfAnotherTypeIsInvalid) {
    SetRaw(L"sz", REG_SZ, L"1", 4);
    EXPECT_EQ(HrOf([&] { ReadDword(key(), L"sz", 0); }), kInvalidData);
    SetRaw(L"bin", REG_BINARY, "\x01\x00", 2);
    EXPECT_EQ(HrOf([&] { ReadDword(key(), L"bin", 0); }), kInvalidData);
    SetRaw(L"none", REG_BINARY, "", 0);
    EXPECT_EQ(HrOf([&] { ReadDword(key(), L"none", 0); }), kInvalidData);
}

TEST(RegistryKeys, OpenCreateAndDeleteTrees) {
    test::RegistrySandbox sandbox;
    EXPECT_FALSE(TryOpenKey(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Nothing").has_value());
    EXPECT_EQ(HrOf([] { OpenKey(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Nothing"); }),
              HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    CreateKey(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Tree\\Leaf");
    EXPECT_TRUE(TryOpenKey(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Tree\\Leaf").has_value());
    DeleteKeyTree(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Tree");
    EXPECT_FALSE(TryOpenKey(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Tree").has_value());
    EXPECT_NO_THROW(DeleteKeyTree(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Tree"));
}

TEST(RegistrySandbox, KeepsEachTestsStateApart) {
    {
        test::RegistrySandbox sandbox;
        WriteDword(CreateKey(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Marker").get(), L"v", 1);
        WriteDword(CreateKey(HKEY_CLASSES_ROOT, L"Marker").get(), L"v", 1);
    }
    test::RegistrySandbox sandbox;
    EXPECT_FALSE(TryOpenKey(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Marker").has_value());
    EXPECT_FALSE(TryOpenKey(HKEY_CLASSES_ROOT, L"Marker").has_value());
}
