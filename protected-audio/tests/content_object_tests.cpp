#include <gtest/gtest.h>

#include <map>

#include "binary.h"
#include "binary_property.h"
#include "content_object.h"
#include "orvak_file_writer.h"
#include "bstr.h"
#include "error_translation.h"
#include "manager.h"
#include "protected_audio_fixture.h"
#include "task_mem.h"

namespace tandem::protected_audio::test {
namespace {

using vlt::Frame;

vlt::Picture PictureOf(const wchar_t* mime, std::initializer_list<int> bytes) {
    vlt::Picture picture;
    picture.properties[1] = std::wstring(mime);
    for (int b : bytes) picture.data.push_back(std::byte(b));
    return picture;
}

// A listing as (property, value) pairs in listing order; the arrays freed.
std::vector<std::pair<LONG, Variant>> List(IZephCsObjectProperties& object) {
    LONG count = -1;
    LONG* ids = nullptr;
    VARIANT* values = nullptr;
    EXPECT_EQ(object.GetAllProperties(&count, &ids, &values), S_OK);
    TaskMemPtr<LONG> idArray(ids);
    TaskMemPtr<VARIANT> valueArray(values);
    std::vector<std::pair<LONG, Variant>> listing;
    for (LONG i = 0; i < count; ++i) {
        Variant value;
        *value.ptr() = values[i];
        listing.emplace_back(ids[i], std::move(value));
    }
    return listing;
}

std::vector<LONG> Ids(const std::vector<std::pair<LONG, Variant>>& listing) {
    std::vector<LONG> ids;
    for (const auto& [id, value] : listing) ids.push_back(id);
    return ids;
}

std::vector<BYTE> PictureBytes(const Variant& value) {
    ComPtr<IZephCsBinaryProperty> picture;
    if (value.type() != VT_UNKNOWN ||
        FAILED(V_UNKNOWN(&value.get())->QueryInterface(IID_IZephCsBinaryProperty, picture.put_void())))
        return {};
    LONG size = 0;
    BYTE* data = nullptr;
    EXPECT_EQ(picture->GetData(&size, &data), S_OK);
    TaskMemPtr<BYTE> owned(data);
    return std::vector<BYTE>(data, data + size);
}

const Variant& Find(const std::vector<std::pair<LONG, Variant>>& listing, LONG id) {
    static const Variant missing;
    for (const auto& [listed, value] : listing)
        if (listed == id) return value;
    return missing;
}

class ContentObjectTest : public ProtectedAudioTest {
protected:
    std::wstring song_ = folder_ / L"Song.vla";
};

TEST_F(ContentObjectTest, PropertiesReadThroughTheTable) {
    WriteProtectedFile(song_, {{4615, {std::wstring(L"Night Train"), std::wstring(L"ignored")}},
                               {4616, {std::wstring(L"The Conductors")}},
                               {4352, {std::int32_t{215}}},
                               {6400, {std::int32_t{128}}},
                               {4662, {std::wstring(L"1998")}},
                               {4356, {std::int32_t{-5}}},
                               {4624, {}}});
    auto object = OpenFile(song_);
    ASSERT_TRUE(object);
    Variant value;
    EXPECT_EQ(object->GetProperty(-3, value.put()), S_OK);
    EXPECT_EQ(Text(value), L"Night Train");
    EXPECT_EQ(object->GetProperty(401, value.put()), S_OK);
    EXPECT_EQ(V_I8(&value.get()), 215000);
    EXPECT_EQ(object->GetProperty(209, value.put()), S_OK);
    EXPECT_EQ(Text(value), L"Vaultone Audio");
    EXPECT_EQ(object->GetProperty(308, value.put()), S_OK);
    EXPECT_EQ(value.type(), VT_DATE);
    EXPECT_EQ(object->GetProperty(400, value.put()), S_OK);
    EXPECT_EQ(V_I8(&value.get()), -5);
    // Present without values: success with nothing.
    EXPECT_EQ(object->GetProperty(214, value.put()), S_OK);
    EXPECT_EQ(value.type(), VT_EMPTY);
    // Absent tag and unknown property.
    EXPECT_EQ(object->GetProperty(212, value.put()), S_OK);
    EXPECT_EQ(Text(value), L"The Conductors");
    EXPECT_EQ(object->GetProperty(218, value.put()), kUnknownProperty);
    EXPECT_EQ(object->GetProperty(12345, value.put()), kUnknownProperty);
    EXPECT_EQ(object->GetProperty(-3, nullptr), E_POINTER);
    LONG info = 9;
    EXPECT_EQ(object->GetPropertyInfo(-3, &info), E_FAIL);
    EXPECT_EQ(info, 0);
}

TEST_F(ContentObjectTest, DerivedProperties) {
    WriteProtectedFile(song_, {{4354, {std::int32_t{16}}}, {4355, {std::int32_t{66000}}}}, {.audioBytes = 4321});
    auto object = OpenFile(song_);
    ASSERT_TRUE(object);
    Variant value;
    EXPECT_EQ(object->GetProperty(115, value.put()), S_OK);
    EXPECT_EQ(V_I4(&value.get()), 4);
    EXPECT_EQ(object->GetProperty(11110, value.put()), S_OK);
    EXPECT_EQ(V_I4(&value.get()), 1);
    EXPECT_EQ(object->GetProperty(11112, value.put()), S_OK);
    EXPECT_EQ(V_I4(&value.get()), 2);
    // From the file-information record: two tags stored; the audio after the block.
    EXPECT_EQ(object->GetProperty(145, value.put()), S_OK);
    EXPECT_EQ(V_I4(&value.get()), 2);
    EXPECT_EQ(object->GetProperty(11134, value.put()), S_OK);
    EXPECT_GT(V_I4(&value.get()), 4321);

    for (LONG id : {115, 11110, 11112}) EXPECT_EQ(object->PutProperty(id, Variant::FromLong(1).get()), kReadOnlyProperty);
}

TEST_F(ContentObjectTest, RecordingKindFollowsTheModeTag) {
    auto kindOf = [&](std::vector<Frame> frames) {
        WriteProtectedFile(song_, frames);
        auto object = OpenFile(song_);
        Variant value;
        HRESULT hr = object->GetProperty(115, value.put());
        return SUCCEEDED(hr) ? V_I4(&value.get()) : hr;
    };
    EXPECT_EQ(kindOf({{4354, {std::int32_t{1}}}, {4364, {std::int32_t{1}}}}), 1);
    EXPECT_EQ(kindOf({{4354, {std::int32_t{1}}}, {4364, {std::int32_t{2}}}}), 2);
    EXPECT_EQ(kindOf({{4354, {std::int32_t{16}}}, {4355, {std::int32_t{44100}}}}), 2);
    EXPECT_EQ(kindOf({{4354, {std::int32_t{18}}}}), 2);
    EXPECT_EQ(kindOf({{4354, {std::int32_t{3}}}}), kUnknownProperty);
    EXPECT_EQ(kindOf({}), kUnknownProperty);
}

TEST_F(ContentObjectTest, MediaKindOfThreeGpFiles) {
    std::wstring video = folder_ / L"clip.3GP";
    std::wstring audio = folder_ / L"voice.3gp";
    WriteProtectedFile(video, {{6151, {std::int32_t{1}}}});
    WriteProtectedFile(audio, {{6151, {std::int32_t{0}}}});
    Variant value;
    EXPECT_EQ(OpenFile(video)->GetProperty(11110, value.put()), S_OK);
    EXPECT_EQ(V_I4(&value.get()), 3);
    EXPECT_EQ(OpenFile(audio)->GetProperty(11110, value.put()), S_OK);
    EXPECT_EQ(V_I4(&value.get()), 1);
}

TEST_F(ContentObjectTest, ListingAppendsDerivedValuesOnce) {
    WriteProtectedFile(song_, {{4615, {std::wstring(L"Title")}},
                               {4362, {std::int32_t{192}}},
                               {9999, {std::int32_t{1}}},
                               {6400, {std::int32_t{5}}},
                               {4354, {std::int32_t{18}}}});
    auto listing = List(*OpenFile(song_));
    EXPECT_EQ(Ids(listing), (std::vector<LONG>{-3, 145, 108, 115, 11110, 11112, 11134}));
    EXPECT_EQ(V_I4(&Find(listing, 145).get()), 192);
    EXPECT_EQ(V_I4(&Find(listing, 108).get()), 272);
}

TEST_F(ContentObjectTest, ListingFallsBackBetweenPictures) {
    WriteProtectedFile(song_, {{4640, {PictureOf(L"image/png", {1})}}, {4650, {PictureOf(L"image/png", {2})}}});
    auto listing = List(*OpenFile(song_));
    EXPECT_EQ(Ids(listing), (std::vector<LONG>{11184, 11182, 11110, 11112, 145, 11134}));
    EXPECT_EQ(PictureBytes(Find(listing, 11184)), std::vector<BYTE>{1});
    EXPECT_EQ(PictureBytes(Find(listing, 11182)), std::vector<BYTE>{1});

    WriteProtectedFile(song_, {{4650, {PictureOf(L"image/png", {2})}}});
    listing = List(*OpenFile(song_));
    EXPECT_EQ(Ids(listing), (std::vector<LONG>{11182, 11184, 11110, 11112, 145, 11134}));
    EXPECT_EQ(PictureBytes(Find(listing, 11182)), std::vector<BYTE>{2});
    EXPECT_EQ(PictureBytes(Find(listing, 11184)), std::vector<BYTE>{2});

    WriteProtectedFile(song_, {{4647, {PictureOf(L"image/gif", {3})}}, {4650, {PictureOf(L"image/png", {})}}});
    listing = List(*OpenFile(song_));
    EXPECT_EQ(Ids(listing), (std::vector<LONG>{11182, 11184, 11110, 11112, 145, 11134}));
    EXPECT_EQ(PictureBytes(Find(listing, 11182)), std::vector<BYTE>{3});
    EXPECT_TRUE(PictureBytes(Find(listing, 11184)).empty());
}

TEST_F(ContentObjectTest, EmptyFileListsNothingAndNullOutputsAreRefused) {
    WriteProtectedFile(song_, {});
    auto object = OpenFile(song_);
    EXPECT_TRUE(List(*object).empty());
    LONG count = 0;
    LONG* ids = nullptr;
    VARIANT* values = nullptr;
    EXPECT_EQ(object->GetAllProperties(nullptr, &ids, &values), E_POINTER);
    EXPECT_EQ(object->GetAllProperties(&count, nullptr, &values), E_POINTER);
    EXPECT_EQ(object->GetAllProperties(&count, &ids, nullptr), E_POINTER);
}

TEST_F(ContentObjectTest, OpeningChecksModeAndProbe) {
    WriteProtectedFile(song_, {{4615, {std::wstring(L"Title")}}});
    ComPtr<IZephCsObject> object;
    ASSERT_EQ(GetObject(*Class(), song_, object), S_OK);
    EXPECT_EQ(object->OpenObject(3), E_INVALIDARG);
    EXPECT_EQ(object->OpenObject(0), E_INVALIDARG);
    EXPECT_EQ(object->CloseObject(), S_OK);
    EXPECT_EQ(object->OpenObject(1), S_OK);
    EXPECT_EQ(object->OpenObject(1), S_OK);  // closes first
    EXPECT_EQ(object->CloseObject(), S_OK);

    std::wstring locked = folder_ / L"locked.vla";
    WriteProtectedFile(locked, {}, {.flags = vlt::kLockedFlag});
    ASSERT_EQ(GetObject(*Class(), locked, object), S_OK);
    EXPECT_EQ(object->OpenObject(1), static_cast<HRESULT>(0x80040403));

    std::wstring damaged = folder_ / L"damaged.vla";
    tandem::test::WriteBytes(damaged, {std::byte{'e'}, std::byte{'o'}, std::byte{'3'}, std::byte{4}, std::byte{0},
                                       std::byte{0}, std::byte{0}, std::byte{0}, std::byte{9}, std::byte{9}});
    ASSERT_EQ(GetObject(*Class(), damaged, object), S_OK);
    EXPECT_EQ(object->OpenObject(1), static_cast<HRESULT>(0x80041400));

    auto unopened = MakeComObject<ZephCsVltFileObject>();
    EXPECT_EQ(unopened->OpenObject(1), E_FAIL);
    Variant value;
    EXPECT_EQ(unopened->GetProperty(-3, value.put()), E_FAIL);
    EXPECT_EQ(unopened->PutProperty(-3, Variant::FromString(L"x").get()), E_FAIL);
}

TEST_F(ContentObjectTest, WritingIsProbedFirst) {
    std::wstring writable = folder_ / L"a.vlt";
    std::wstring marked = folder_ / L"b.vlt";
    std::wstring readOnly = folder_ / L"c.vla";
    WriteProtectedFile(writable, {{4615, {std::wstring(L"Old")}}});
    WriteProtectedFile(marked, {{4376, {std::int32_t{1}}}});
    WriteProtectedFile(readOnly, {}, {.readOnly = true});
    ComPtr<IZephCsClass> source = Class();
    ComPtr<IZephCsObject> object;
    ASSERT_EQ(GetObject(*source, marked, object), S_OK);
    EXPECT_EQ(object->OpenObject(2), E_FAIL);
    EXPECT_EQ(object->OpenObject(1), S_OK);
    ASSERT_EQ(GetObject(*source, readOnly, object), S_OK);
    EXPECT_EQ(object->OpenObject(2), E_FAIL);
    // A ".vla" file without a title keeps none after the probe.
    std::wstring untitled = folder_ / L"d.vla";
    WriteProtectedFile(untitled, {{4616, {std::wstring(L"Artist")}}});
    ASSERT_EQ(GetObject(*source, untitled, object), S_OK);
    EXPECT_EQ(object->OpenObject(2), S_OK);
    EXPECT_EQ(object->CloseObject(), S_OK);
    EXPECT_EQ(StoredFrames(untitled), (std::vector<Frame>{{4616, {std::wstring(L"Artist")}}}));
}

TEST_F(ContentObjectTest, WrittenPropertiesReachTheFile) {
    std::wstring song = folder_ / L"a.vlt";
    WriteProtectedFile(song, {{4615, {std::wstring(L"Old")}}, {6400, {std::int32_t{1}}}});
    auto object = OpenFile(song, 2);
    ASSERT_TRUE(object);
    Variant duration;
    V_VT(duration.ptr()) = VT_I8;
    V_I8(duration.ptr()) = 5'000'000'000;
    EXPECT_EQ(object->PutProperty(401, duration.get()), S_OK);
    EXPECT_EQ(object->PutProperty(-3, Variant::FromString(L"New").get()), S_OK);
    EXPECT_EQ(object->PutProperty(209, Variant::FromString(L"Other Format").get()), S_OK);
    EXPECT_EQ(object->PutProperty(107, Variant::FromLong(256).get()), S_OK);
    EXPECT_EQ(object->PutProperty(-3, Variant::FromLong(1).get()), E_INVALIDARG);
    EXPECT_EQ(object->PutProperty(12345, Variant::FromLong(1).get()), kUnknownProperty);

    auto picture = MakeComObject<vlt::Binary>(PictureOf(L"image/jpeg", {9, 8}));
    auto framework = MakeComObject<ZephCsVltFileBinaryProperty>(ComPtr<IVltBinary>(picture.get()));
    Variant cover;
    V_VT(cover.ptr()) = VT_UNKNOWN;
    V_UNKNOWN(cover.ptr()) = static_cast<IZephCsBinaryProperty*>(framework.detach());
    EXPECT_EQ(object->PutProperty(11182, cover.get()), S_OK);

    ComPtr<IZephCsObject> opened;
    ASSERT_EQ(object.as(opened), S_OK);
    EXPECT_EQ(opened->CloseObject(), S_OK);

    std::map<std::uint32_t, std::vector<vlt::TagValue>> stored;
    for (auto& frame : StoredFrames(song)) stored[frame.tag] = frame.values;
    EXPECT_EQ(stored[4352], std::vector<vlt::TagValue>{std::int32_t{5'000'000}});
    EXPECT_EQ(stored[4615], std::vector<vlt::TagValue>{std::wstring(L"New")});
    EXPECT_EQ(stored[6400], std::vector<vlt::TagValue>{std::monostate{}});
    EXPECT_EQ(stored[4353], std::vector<vlt::TagValue>{std::int32_t{256}});
    ASSERT_EQ(stored[4647].size(), 1u);
    const auto& written = std::get<vlt::Picture>(stored[4647][0]);
    EXPECT_EQ(written.data, PictureOf(L"", {9, 8}).data);
    EXPECT_EQ(std::get<std::wstring>(written.properties[1]), L"image/jpeg");
}

TEST_F(ContentObjectTest, MediaNeedsTheManager) {
    WriteProtectedFile(song_, {});
    ComPtr<IZephCsObject> object;
    ASSERT_EQ(GetObject(*Class(), song_, object), S_OK);
    ComPtr<IZephCsObjectProperties> properties;
    ASSERT_EQ(object.as(properties), S_OK);
    ComPtr<IZephCsMedia> media;
    EXPECT_EQ(properties->GetMedia(IID_IZephCsMedia, media.put_void()), E_FAIL);
    EXPECT_EQ(object->SetObjectCsManager(IID_IZephCsManager, nullptr), E_FAIL);

    auto manager = MakeComObject<zephcs::Manager>();
    ASSERT_EQ(manager->Initialize(0, 4, 0, 0), S_OK);
    EXPECT_EQ(object->SetObjectCsManager(IID_IUnknown, static_cast<IZephCsManager*>(manager.get())), S_OK);
    ASSERT_EQ(properties->GetMedia(IID_IZephCsMedia, media.put_void()), S_OK);
    Variant value;
    EXPECT_EQ(media->GetProperty(500, value.put()), S_OK);
    EXPECT_EQ(Text(value), song_);
    EXPECT_EQ(media->GetProperty(11110, value.put()), S_OK);
    EXPECT_EQ(V_I4(&value.get()), 1);
    EXPECT_EQ(object->SetObjectSource(IID_IZephCsMedia, nullptr), E_POINTER);
}

}  // namespace
}  // namespace tandem::protected_audio::test
