#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "bstr.h"
#include "com/com_object.h"
#include "content_info_manager.h"
#include "content_source_test_module.h"
#include "error.h"
#include "module_path.h"
#include "testing/com_apartment.h"
#include "testing/test_drive.h"
#include "thumbnail_path.h"
#include "unique_resource.h"

using namespace tandem;

namespace {

constexpr wchar_t kSubPath[] = L"Pelion Entertainment\\Thumbnail";
constexpr wchar_t kTestModule[] = L"ContentSourceTestModule.zephcs";

ContentInfoManager::Setup TestSetup(const std::wstring& module = kTestModule) {
    std::wstring directory = ModuleDirectory(nullptr);
    return {directory, directory + module, kTestContentSourceClass, [] { return std::wstring(kSubPath); }};
}

void WriteTestFile(const std::wstring& path, std::string_view content) {
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!file) ThrowLastError();
    DWORD written = 0;
    if (!WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr))
        ThrowLastError();
}

std::string ReadTestFile(const std::wstring& path) {
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) ThrowLastError();
    char buffer[256];
    DWORD read = 0;
    if (!ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr)) ThrowLastError();
    return std::string(buffer, read);
}

std::wstring TextOf(const Variant& value) {
    EXPECT_EQ(value.type(), VT_BSTR);
    return value.type() == VT_BSTR ? std::wstring(BstrView(V_BSTR(&value.get()))) : std::wstring();
}

HRESULT FailureOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const HResultError& e) {
        return e.hr();
    }
    return S_OK;
}

// Media whose values the test chooses, for what the stand-in never reports.
class FakeMedia : public ComObjectRoot, public IZephCsMedia {
public:
    using Interfaces = InterfaceTable<IZephCsMedia>;

    std::map<LONG, Variant> values;

    STDMETHODIMP GetProperty(LONG id, VARIANT* value) override {
        VariantInit(value);
        auto found = values.find(id);
        return found == values.end() ? ZEPHCS_E_UNKNOWN_PROPERTY : VariantCopy(value, found->second.ptr());
    }
    STDMETHODIMP GetAllProperties(LONG*, LONG**, VARIANT**) override { return E_NOTIMPL; }
    STDMETHODIMP PutProperty(LONG, VARIANT) override { return E_NOTIMPL; }
    STDMETHODIMP Clone(REFIID, void**) override { return E_NOTIMPL; }
    STDMETHODIMP ClearProperties() override { return E_NOTIMPL; }
    STDMETHODIMP CopyFrom(REFIID, IZephCsMedia*) override { return E_NOTIMPL; }
};

// Something that is not a picture.
class PlainObject : public ComObjectRoot, public IPersist {
public:
    using Interfaces = InterfaceTable<IPersist>;
    STDMETHODIMP GetClassID(CLSID*) override { return E_NOTIMPL; }
};

class ContentInfoManagerTest : public ::testing::Test {
protected:
    test::ComApartment apartment_;
    test::TestDrive drive_{L'U', DRIVE_FIXED};
    ContentInfoManager source_{TestSetup()};
};

TEST_F(ContentInfoManagerTest, DescribesOrdinaryFile) {
    WriteTestFile(L"U:\\notes.txt", "text");
    ContentMediaPtr media = source_.OpenMedia(L"U:\\notes.txt");
    EXPECT_EQ(source_.ObjectCategory(*media), 1);
    EXPECT_EQ(TextOf(source_.ReadProperty(*media, ZEPHCS_PROP_PATH, {})), L"U:\\notes.txt");
    EXPECT_EQ(source_.ReadProperty(*media, 504, {}).type(), VT_EMPTY);
    EXPECT_EQ(source_.ReadProperty(*media, 4242, {}).type(), VT_EMPTY);
    CLSID owner;
    EXPECT_EQ(CLSIDFromString(TextOf(source_.ReadProperty(*media, ZEPHCS_PROP_OWNER_CLASS, {})).c_str(), &owner), S_OK);

    EXPECT_EQ(FailureOf([&] { source_.OpenMedia(L"U:\\missing.txt"); }), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
}

TEST_F(ContentInfoManagerTest, PictureBecomesThumbnailFile) {
    ASSERT_TRUE(CreateDirectoryW(L"U:\\Photos", nullptr));
    ASSERT_TRUE(CreateDirectoryW(L"U:\\Pelion Entertainment", nullptr));
    WriteTestFile(L"U:\\Photos\\a.jpg", "picture bytes");
    ContentMediaPtr media = source_.OpenMedia(L"U:\\Photos\\a.jpg");
    EXPECT_EQ(source_.ObjectCategory(*media), 3);

    std::wstring expected = L"U:\\Pelion Entertainment\\Thumbnail\\" + ThumbnailFileName(L"Photos\\a.jpg", 11182);
    EXPECT_EQ(TextOf(source_.ReadProperty(*media, 504, {})), expected);
    EXPECT_EQ(ReadTestFile(expected), "picture bytes");
    // 506 is another picture id; the stand-in has only the first picture.
    EXPECT_EQ(source_.ReadProperty(*media, 506, {}).type(), VT_EMPTY);

    PropertyList all = source_.ReadAllProperties(*media);
    std::map<LONG, std::wstring> texts;
    for (const auto& [id, value] : all)
        if (value.type() == VT_BSTR) texts[id] = BstrView(V_BSTR(&value.get()));
    EXPECT_EQ(texts[504], expected);
    EXPECT_EQ(texts[ZEPHCS_PROP_PATH], L"U:\\Photos\\a.jpg");
    EXPECT_FALSE(texts.contains(11182));
}

// The thumbnail folder setting is composed at the first thumbnail and kept;
// a later change of the setting waits for the next process.
TEST_F(ContentInfoManagerTest, ThumbnailFolderIsComposedOncePerProcess) {
    ASSERT_TRUE(CreateDirectoryW(L"U:\\Pelion Entertainment", nullptr));
    int asked = 0;
    ContentInfoManager::Setup setup = TestSetup();
    setup.thumbnailSubPath = [&asked] {
        return std::wstring(L"Pelion Entertainment\\") + (asked++ == 0 ? L"First" : L"Changed");
    };
    ContentInfoManager source(std::move(setup));
    WriteTestFile(L"U:\\a.jpg", "a");
    WriteTestFile(L"U:\\b.jpg", "b");
    const std::wstring a = TextOf(source.ReadProperty(*source.OpenMedia(L"U:\\a.jpg"), 504, {}));
    const std::wstring b = TextOf(source.ReadProperty(*source.OpenMedia(L"U:\\b.jpg"), 504, {}));
    EXPECT_EQ(a, L"U:\\Pelion Entertainment\\First\\" + ThumbnailFileName(L"a.jpg", 11182));
    EXPECT_EQ(b, L"U:\\Pelion Entertainment\\First\\" + ThumbnailFileName(L"b.jpg", 11182));
    EXPECT_EQ(asked, 1);
}

TEST_F(ContentInfoManagerTest, ConverterParametersChooseTheOutput) {
    WriteTestFile(L"U:\\a.png", "png");
    ContentMediaPtr media = source_.OpenMedia(L"U:\\a.png");
    PropertyList params;
    params.emplace_back(ZEPHCS_PROP_PATH, Variant::FromString(L"U:\\chosen.jpg"));
    EXPECT_EQ(TextOf(source_.ReadProperty(*media, 504, params)), L"U:\\chosen.jpg");
    EXPECT_EQ(ReadTestFile(L"U:\\chosen.jpg"), "png");
}

TEST_F(ContentInfoManagerTest, ThumbnailFailsWithoutProductFolder) {
    WriteTestFile(L"U:\\a.jpg", "jpg");
    ContentMediaPtr media = source_.OpenMedia(L"U:\\a.jpg");
    EXPECT_EQ(FailureOf([&] { source_.ReadProperty(*media, 504, {}); }), HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
}

TEST_F(ContentInfoManagerTest, ValuesOtherThanPictures) {
    auto fake = MakeComObject<FakeMedia>();
    fake->values[ZEPHCS_PROP_CATEGORY] = Variant::FromString(L"3");
    fake->values[11186] = Variant::FromString(L"kept");
    Variant plain;
    V_VT(plain.ptr()) = VT_UNKNOWN;
    V_UNKNOWN(plain.ptr()) = static_cast<IPersist*>(MakeComObject<PlainObject>().detach());
    fake->values[11183] = plain;
    ZephCsContentMedia media(nullptr, ComPtr<IZephCsMedia>(fake.get()));

    EXPECT_EQ(FailureOf([&] { source_.ObjectCategory(media); }), E_UNEXPECTED);
    EXPECT_EQ(TextOf(source_.ReadProperty(media, 509, {})), L"kept");
    EXPECT_EQ(source_.ReadProperty(media, 506, {}).type(), VT_EMPTY);
}

class ProtectedAudioTest : public ::testing::Test {
protected:
    LONG OpenClasses() {
        using Count = LONG(STDAPICALLTYPE*)();
        auto count = reinterpret_cast<Count>(
            reinterpret_cast<void*>(GetProcAddress(module_.get(), "TestSourceOpenClassCount")));
        return count ? count() : -1;
    }

    test::ComApartment apartment_;
    UniqueModule module_{LoadLibraryW((ModuleDirectory(nullptr) + kTestModule).c_str())};
};

TEST_F(ProtectedAudioTest, RegisteredWhileInUse) {
    ASSERT_TRUE(module_);
    ContentInfoManager source(TestSetup());
    source.AcquireProtectedAudio();
    EXPECT_EQ(source.ProtectedAudioUseCount(), 1);
    EXPECT_EQ(OpenClasses(), 1);
    source.AcquireProtectedAudio();
    EXPECT_EQ(source.ProtectedAudioUseCount(), 2);
    EXPECT_EQ(OpenClasses(), 1);

    source.ReleaseProtectedAudio();
    EXPECT_EQ(source.ProtectedAudioUseCount(), 1);
    EXPECT_EQ(OpenClasses(), 1);
    source.ReleaseProtectedAudio();
    EXPECT_EQ(source.ProtectedAudioUseCount(), 0);
    EXPECT_EQ(OpenClasses(), 0);
    // An unbalanced release changes nothing.
    source.ReleaseProtectedAudio();
    EXPECT_EQ(source.ProtectedAudioUseCount(), 0);

    // Registration starts afresh for the next user.
    source.AcquireProtectedAudio();
    EXPECT_EQ(OpenClasses(), 1);
    source.ReleaseProtectedAudio();
    EXPECT_EQ(OpenClasses(), 0);
}

TEST_F(ProtectedAudioTest, RegistrationMadeElsewhereIsLeftInPlace) {
    ASSERT_TRUE(module_);
    ContentInfoManager owner(TestSetup());
    ContentInfoManager other(TestSetup());
    owner.AcquireProtectedAudio();
    other.AcquireProtectedAudio();
    EXPECT_EQ(other.ProtectedAudioUseCount(), 1);
    EXPECT_EQ(OpenClasses(), 1);

    other.ReleaseProtectedAudio();
    EXPECT_EQ(other.ProtectedAudioUseCount(), 0);
    EXPECT_EQ(OpenClasses(), 1);
    owner.ReleaseProtectedAudio();
    EXPECT_EQ(OpenClasses(), 0);
}

TEST_F(ProtectedAudioTest, FailedRegistrationIsSwallowed) {
    ContentInfoManager source(TestSetup(L"NoSuchModule.zephcs"));
    source.AcquireProtectedAudio();
    EXPECT_EQ(source.ProtectedAudioUseCount(), 0);
    source.ReleaseProtectedAudio();
    EXPECT_EQ(source.ProtectedAudioUseCount(), 0);
}

TEST(ContentInfoManagerSetupTest, ProcessBindingIsShared) {
    test::ComApartment apartment;
    ContentInfoManager& first = ContentInfoManager::Instance();
    EXPECT_EQ(&first, &ContentInfoManager::Instance());
}

TEST(ContentInfoManagerSetupTest, MissingLibraryIsRaised) {
    test::ComApartment apartment;
    auto setup = TestSetup();
    setup.libraryDirectory = L"C:\\no-such-folder\\";
    EXPECT_NE(FailureOf([&] { ContentInfoManager source(setup); }), S_OK);
}

}  // namespace
