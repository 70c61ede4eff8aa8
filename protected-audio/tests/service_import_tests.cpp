// The service's binding meets the built module through the framework, as an
// import of a protected file does.

#include <gtest/gtest.h>

#include <map>

#include "VltLib.h"
#include "bstr.h"
#include "com/class_object_registration.h"
#include "content_info_manager.h"
#include "module_path.h"
#include "protected_audio_class.h"
#include "protected_audio_fixture.h"
#include "strings.h"

namespace tandem::protected_audio::test {
namespace {

using GetClassObjectFunction = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);

// The library stand-in's module, its classes served to the process as an
// installed library's would be.
class InstalledLibrary {
public:
    InstalledLibrary() : module_(LoadLibraryW((ModuleDirectory(nullptr) + L"VltLib.dll").c_str())) {
        if (!module_) ThrowLastError();
        auto getClassObject = reinterpret_cast<GetClassObjectFunction>(
            reinterpret_cast<void*>(GetProcAddress(module_.get(), "DllGetClassObject")));
        if (!getClassObject) ThrowLastError();
        for (const CLSID* clsid : {&CLSID_VltLibrary, &CLSID_VltTagFormat1, &CLSID_VltTagFormat2,
                                   &CLSID_VltTagFormat3, &CLSID_VltPlayback, &CLSID_VltPlayback2}) {
            ComPtr<IUnknown> factory;
            CheckHr(getClassObject(*clsid, IID_IClassFactory, factory.put_void()));
            registrations_.push_back(RegisterClassObject(*clsid, factory.get(), CLSCTX_INPROC_SERVER,
                                                         REGCLS_MULTIPLEUSE));
        }
    }

private:
    UniqueModule module_;
    std::vector<ClassObjectRegistration> registrations_;  // revoked before the module goes
};

std::map<LONG, Variant> Properties(ContentInfoManager& source, const ContentMedia& media) {
    std::map<LONG, Variant> properties;
    for (auto& [id, value] : source.ReadAllProperties(media)) properties[id] = std::move(value);
    return properties;
}

TEST(ServiceImport, MetadataOfAProtectedFileReachesTheServiceWhileTheSourceIsAcquired) {
    tandem::test::ComApartment apartment;
    InstalledLibrary library;
    TempFolder folder;
    std::wstring song = folder / L"Night Train.vla";
    WriteProtectedFile(song, {{4615, {std::wstring(L"Night Train")}},
                              {4616, {std::wstring(L"The Conductors")}},
                              {4352, {std::int32_t{215}}},
                              {6400, {std::int32_t{128}}}});

    std::wstring directory = ModuleDirectory(nullptr);
    ContentInfoManager source({directory, directory + L"ZephCsVltFile.zephcs", kProtectedAudioClassId,
                               [] { return std::wstring(L"Pelion Entertainment\\Thumbnail"); }});
    source.AcquireProtectedAudio();
    ASSERT_EQ(source.ProtectedAudioUseCount(), 1);
    {
        ContentMediaPtr media = source.OpenMedia(song);
        EXPECT_EQ(source.ObjectCategory(*media), 1);
        auto properties = Properties(source, *media);
        EXPECT_EQ(Text(properties[-3]), L"Night Train");
        EXPECT_EQ(Text(properties[212]), L"The Conductors");
        EXPECT_EQ(Text(properties[209]), L"Vaultone Audio");
        EXPECT_EQ(V_I8(&properties[401].get()), 215000);
        EXPECT_EQ(Text(properties[11121]), GuidToString(kProtectedAudioClassId));
    }
    source.ReleaseProtectedAudio();

    // Without the protected-audio source the framework knows only the file.
    auto properties = Properties(source, *source.OpenMedia(song));
    EXPECT_FALSE(properties.contains(-3));
    EXPECT_NE(Text(properties[11121]), GuidToString(kProtectedAudioClassId));
}

}  // namespace
}  // namespace tandem::protected_audio::test
