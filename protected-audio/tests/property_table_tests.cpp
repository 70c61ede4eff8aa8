#include <gtest/gtest.h>

#include "binary.h"
#include "binary_property.h"
#include "bstr.h"
#include "error.h"
#include "error_translation.h"
#include "property_table.h"
#include "task_mem.h"
#include "protected_audio_fixture.h"

namespace tandem::protected_audio::test {
namespace {

Variant Long64(LONGLONG value) {
    Variant v;
    V_VT(v.ptr()) = VT_I8;
    V_I8(v.ptr()) = value;
    return v;
}

Variant Date(WORD year, WORD month, WORD day) {
    SYSTEMTIME time{};
    time.wYear = year;
    time.wMonth = month;
    time.wDay = day;
    Variant v;
    V_VT(v.ptr()) = VT_DATE;
    SystemTimeToVariantTime(&time, &V_DATE(v.ptr()));
    return v;
}

HRESULT Failure(auto&& convert) {
    try {
        convert();
    } catch (const HResultError& e) {
        return e.hr();
    }
    return S_OK;
}

Variant ToTag(LONG property, const Variant& value) { return ToTagValue(RowOfProperty(property), value.get()); }
Variant ToProperty(LONG tag, const Variant& value) { return ToPropertyValue(RowOfTag(tag), value.get()); }

TEST(PropertyTable, DurationsAreThousandths) {
    Variant tag = ToTag(401, Long64(5'000'000'000));
    ASSERT_EQ(tag.type(), VT_I4);
    EXPECT_EQ(V_I4(&tag.get()), 5'000'000);
    Variant property = ToProperty(4352, Variant::FromLong(-2));
    ASSERT_EQ(property.type(), VT_I8);
    EXPECT_EQ(V_I8(&property.get()), -2000);
    EXPECT_EQ(Failure([] { ToTag(401, Long64(3'000'000'000'000)); }), E_INVALIDARG);
    EXPECT_EQ(Failure([] { ToTag(401, Variant::FromLong(5)); }), E_INVALIDARG);
}

TEST(PropertyTable, SizesNarrowOnlyWhenTheyFit) {
    EXPECT_EQ(V_I4(&ToTag(400, Long64(-7)).get()), -7);
    EXPECT_EQ(Failure([] { ToTag(400, Long64(0x80000000LL)); }), E_INVALIDARG);
    Variant widened = ToProperty(4356, Variant::FromLong(-1));
    ASSERT_EQ(widened.type(), VT_I8);
    EXPECT_EQ(V_I8(&widened.get()), -1);
}

TEST(PropertyTable, CodecCodesKeepTheirQuirks) {
    EXPECT_EQ(V_I4(&ToTag(107, Variant::FromLong(256)).get()), 256);
    EXPECT_EQ(V_I4(&ToTag(107, Variant::FromLong(257)).get()), 1);
    EXPECT_EQ(V_I4(&ToTag(107, Variant::FromLong(271)).get()), 4100);
    EXPECT_EQ(V_I4(&ToTag(107, Variant::FromLong(999)).get()), 1);
    EXPECT_EQ(V_I4(&ToProperty(4353, Variant::FromLong(0)).get()), 256);
    EXPECT_EQ(V_I4(&ToProperty(4353, Variant::FromLong(7)).get()), 0);
    EXPECT_EQ(V_I4(&ToProperty(4353, Variant::FromLong(8196)).get()), 268);
    for (LONG library : {2, 3, 4, 5, 6, 9, 4097, 4098, 4100, 8193, 8194, 8195, 8196})
        EXPECT_EQ(CodecToLibrary(CodecFromLibrary(library)), library) << library;
}

TEST(PropertyTable, ModeCodesAreExactReverses) {
    EXPECT_EQ(ModeFromLibrary(1), 256);
    EXPECT_EQ(ModeFromLibrary(14), 269);
    EXPECT_EQ(ModeFromLibrary(15), 0);
    EXPECT_EQ(ModeFromLibrary(16), 270);
    EXPECT_EQ(ModeFromLibrary(19), 273);
    EXPECT_EQ(ModeFromLibrary(20), 0);
    EXPECT_EQ(ModeFromLibrary(21), 277);
    EXPECT_EQ(ModeFromLibrary(24), 280);
    EXPECT_EQ(ModeToLibrary(274), 0);
    for (LONG library = 0; library <= 25; ++library) {
        LONG property = ModeFromLibrary(library);
        if (property) EXPECT_EQ(ModeToLibrary(property), library);
    }
}

TEST(PropertyTable, YearsTravelAsText) {
    Variant date = ToProperty(4662, Variant::FromString(L"1998"));
    ASSERT_EQ(date.type(), VT_DATE);
    EXPECT_EQ(V_DATE(&date.get()), V_DATE(&Date(1998, 1, 1).get()));
    EXPECT_EQ(Text(ToTag(308, Date(2004, 7, 23))), L"2004");
    Variant invalid;
    V_VT(invalid.ptr()) = VT_DATE;
    V_DATE(invalid.ptr()) = 1e10;
    EXPECT_EQ(Text(ToTag(308, invalid)), L"Invalid DateTime");
    EXPECT_EQ(Failure([] { ToProperty(4662, Variant::FromString(L"soon")); }), E_INVALIDARG);
    EXPECT_EQ(Failure([] { ToProperty(4662, Variant::FromLong(1998)); }), E_INVALIDARG);
}

TEST(PropertyTable, FormatNameIsReadOnlyInEffect) {
    EXPECT_EQ(Text(ToProperty(6400, Variant::FromLong(128))), L"Vaultone Audio");
    EXPECT_EQ(Text(ToProperty(6400, Variant::FromLong(1))), L"Vaultone Audio");
    EXPECT_EQ(Failure([] { ToProperty(6400, Variant::FromLong(2)); }), E_INVALIDARG);
    EXPECT_EQ(ToTag(209, Variant::FromString(L"Anything")).type(), VT_EMPTY);
}

TEST(PropertyTable, CopiesInsistOnTheirType) {
    EXPECT_EQ(Text(ToTag(-3, Variant::FromString(L"Title"))), L"Title");
    EXPECT_EQ(Failure([] { ToTag(-3, Variant::FromLong(1)); }), E_INVALIDARG);
    EXPECT_EQ(Failure([] { ToTag(11182, Variant::FromLong(1)); }), E_INVALIDARG);
    EXPECT_EQ(Failure([] { RowOfProperty(115); }), kUnknownProperty);
    EXPECT_EQ(Failure([] { RowOfTag(4650); }), kUnknownProperty);
}

TEST(ErrorTranslation, LibraryCodesAndProbeWords) {
    EXPECT_EQ(TranslateLibraryResult(0x80040A05), static_cast<HRESULT>(0x80040400));
    EXPECT_EQ(TranslateLibraryResult(0x80040A04), static_cast<HRESULT>(0x80040408));
    EXPECT_EQ(TranslateLibraryResult(0x80040802), static_cast<HRESULT>(0x8004040B));
    EXPECT_EQ(TranslateLibraryResult(0x80040813), static_cast<HRESULT>(0x8004040B));
    EXPECT_EQ(TranslateLibraryResult(0x80040814), static_cast<HRESULT>(0x8004040A));
    EXPECT_EQ(TranslateLibraryResult(0x80040815), static_cast<HRESULT>(0x8004040B));
    EXPECT_EQ(TranslateLibraryResult(0x80040816), static_cast<HRESULT>(0x80040816));
    EXPECT_EQ(TranslateLibraryResult(S_FALSE), S_FALSE);
    EXPECT_EQ(TranslateProbeFlags(0xD003), static_cast<HRESULT>(0x80040403));
    EXPECT_EQ(TranslateProbeFlags(0xE005), static_cast<HRESULT>(0x80041400));
    EXPECT_EQ(TranslateProbeFlags(0xE006), static_cast<HRESULT>(0x80040402));
    EXPECT_EQ(TranslateProbeFlags(0x8001), E_FAIL);
    EXPECT_EQ(TranslateProbeFlags(0x7FFF), S_OK);
}

TEST(BinaryProperty, PictureTypesMatchWholeAndCaseSensitively) {
    auto picture = MakeComObject<vlt::Binary>();
    auto wrapper = MakeComObject<ZephCsVltFileBinaryProperty>(ComPtr<IVltBinary>(picture.get()));
    auto typeOf = [&](const wchar_t* mime) {
        picture->PutProperty(8705, Variant::FromString(mime).get());
        Variant code;
        EXPECT_EQ(wrapper->GetProperty(107, code.put()), S_OK);
        return code.type() == VT_I4 ? V_I4(&code.get()) : -1;
    };
    EXPECT_EQ(typeOf(L"image/png"), 516);
    EXPECT_EQ(typeOf(L"image/jpeg"), 512);
    EXPECT_EQ(typeOf(L"IMAGE/PNG"), 1);
    EXPECT_EQ(typeOf(L"image/webp"), 1);
    EXPECT_EQ(typeOf(L"image/pngx"), 1);

    EXPECT_EQ(wrapper->PutProperty(107, Variant::FromLong(517).get()), S_OK);
    Variant mime;
    EXPECT_EQ(picture->GetProperty(8705, mime.put()), S_OK);
    EXPECT_EQ(Text(mime), L"image/tiff");
    EXPECT_EQ(wrapper->PutProperty(107, Variant::FromLong(514).get()), E_INVALIDARG);
    EXPECT_EQ(wrapper->PutProperty(107, Variant::FromString(L"image/png").get()), E_INVALIDARG);
    EXPECT_EQ(wrapper->PutProperty(11188, Variant().get()), S_OK);
    EXPECT_EQ(picture->GetProperty(8707, mime.put()), S_OK);
    EXPECT_EQ(Text(mime), L"");
    EXPECT_EQ(wrapper->GetProperty(108, mime.put()), E_INVALIDARG);
    EXPECT_EQ(wrapper->GetProperty(500, nullptr), E_POINTER);
}

TEST(BinaryProperty, WithoutAPictureEverythingFails) {
    auto empty = MakeComObject<ZephCsVltFileBinaryProperty>();
    Variant value;
    LONG size = 5;
    BYTE* data = nullptr;
    EXPECT_EQ(empty->GetProperty(500, value.put()), E_FAIL);
    EXPECT_EQ(empty->PutProperty(500, value.get()), E_FAIL);
    EXPECT_EQ(empty->GetData(&size, &data), E_FAIL);
    EXPECT_EQ(empty->WriteToFile(nullptr), E_FAIL);
}

TEST(BinaryProperty, AdapterHandsFrameworkPicturesToTheLibrary) {
    auto framework = MakeComObject<ZephCsVltFileBinaryProperty>(ComPtr<IVltBinary>(MakeComObject<vlt::Binary>().get()));
    auto adapter = MakeComObject<ZephCsVltPcBinaryProperty>(ComPtr<IZephCsBinaryProperty>(framework.get()));
    EXPECT_EQ(adapter->PutProperty(8705, Variant::FromString(L"image/gif").get()), S_OK);
    Variant read;
    EXPECT_EQ(framework->GetProperty(107, read.put()), S_OK);
    EXPECT_EQ(V_I4(&read.get()), 513);
    EXPECT_EQ(adapter->GetProperty(8705, read.put()), S_OK);
    EXPECT_EQ(Text(read), L"image/gif");
    EXPECT_EQ(adapter->GetProperty(9999, read.put()), static_cast<HRESULT>(0x80040A04));
    // The framework side refuses picture type 1, which the library side cannot name.
    EXPECT_EQ(adapter->PutProperty(8705, Variant::FromString(L"image/webp").get()), E_INVALIDARG);

    BYTE bytes[] = {1, 2, 3};
    EXPECT_EQ(adapter->PutData(3, bytes), S_OK);
    LONG size = 0;
    BYTE* data = nullptr;
    EXPECT_EQ(framework->GetData(&size, &data), S_OK);
    TaskMemPtr<BYTE> owned(data);
    ASSERT_EQ(size, 3);
    EXPECT_EQ(data[2], 3);
}

}  // namespace
}  // namespace tandem::protected_audio::test
