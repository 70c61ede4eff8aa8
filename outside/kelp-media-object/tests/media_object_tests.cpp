#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "exif_writer.h"
#include "kelp_media_object.h"
#include "unique_resource.h"

namespace kelp::test {
namespace {

// The library as the service loads it: by name, through its export.
class MediaObjectTest : public ::testing::Test {
protected:
    MediaObjectTest() : module_(LoadLibraryW(kModuleName)) {
        if (module_)
            create_ = reinterpret_cast<CreateMediaObjectFunction>(
                reinterpret_cast<void*>(GetProcAddress(module_.get(), kCreateMediaObjectExport)));
    }

    void SetUp() override { ASSERT_NE(create_, nullptr); }

    struct Opened {
        std::int32_t result;
        std::int32_t mediaType = -1;
        std::int32_t information = -1;
        std::array<std::byte, kInformationSize> record{};
    };

    Opened Open(const std::wstring& path) {
        Opened opened;
        MediaObject* object = reinterpret_cast<MediaObject*>(1);
        opened.result = create_(path.c_str(), &object, 0, 0, 0);
        if (opened.result != 0) {
            EXPECT_EQ(object, nullptr);
            return opened;
        }
        EXPECT_NE(object, nullptr);
        if (!object) return opened;
        opened.mediaType = object->MediaType();
        opened.information = object->GetInformation(0, 0, 0, 0, 0, opened.record.data());
        EXPECT_EQ(object->Release(), 0);
        return opened;
    }

    tandem::UniqueModule module_;
    CreateMediaObjectFunction create_ = nullptr;
};

TEST_F(MediaObjectTest, APhotographFillsTheRecordBehindItsFlag) {
    GpsFields fields;
    fields.latitudeRef = "S";
    fields.latitude = Dms(33, 52, 4.5);
    fields.mapDatum = "WGS-84";
    const TempFile photo(L"photo.jpg", JpegWithExif(GpsTiff(fields, ByteOrder::Big).Build()));
    const Opened opened = Open(photo.path());
    ASSERT_EQ(opened.result, 0);
    EXPECT_EQ(opened.mediaType, kMediaJpeg);
    EXPECT_EQ(opened.information, 0);
    EXPECT_NE(opened.record[kHasGpsOffset], std::byte{0});
    EXPECT_EQ(opened.record[kGpsBlockOffset + kLatitudeRefOffset], std::byte{'S'});
    EXPECT_EQ(opened.record[kGpsBlockOffset + kLatitudeOffset], std::byte{33});
    EXPECT_EQ(std::memcmp(opened.record.data() + kGpsBlockOffset + kMapDatumOffset, "WGS-84", 7), 0);
    // Nothing outside the GPS block is written.
    for (std::size_t i = 0; i < kHasGpsOffset; ++i) ASSERT_EQ(opened.record[i], std::byte{0}) << i;
}

TEST_F(MediaObjectTest, FilesWithoutGpsOpenWithTheFlagClear) {
    const TempFile tiff(L"plain.tif", TiffWriter(ByteOrder::Little).Build());
    const Opened fromTiff = Open(tiff.path());
    ASSERT_EQ(fromTiff.result, 0);
    EXPECT_EQ(fromTiff.mediaType, kMediaTiff);
    EXPECT_EQ(fromTiff.record[kHasGpsOffset], std::byte{0});

    const TempFile empty(L"empty.jpg", {});
    const Opened fromEmpty = Open(empty.path());
    ASSERT_EQ(fromEmpty.result, 0);
    EXPECT_EQ(fromEmpty.mediaType, kMediaUnknown);
    EXPECT_EQ(fromEmpty.record[kHasGpsOffset], std::byte{0});
}

TEST_F(MediaObjectTest, AMissingFileFailsWithoutAnObject) {
    const Opened opened = Open(L"C:\\no such folder\\photo.jpg");
    EXPECT_NE(opened.result, 0);
    MediaObject* object = nullptr;
    EXPECT_NE(create_(L"x", nullptr, 0, 0, 0), 0);
    EXPECT_NE(create_(nullptr, &object, 0, 0, 0), 0);
    EXPECT_EQ(object, nullptr);
}

}  // namespace
}  // namespace kelp::test
