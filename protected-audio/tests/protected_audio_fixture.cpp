#include "protected_audio_fixture.h"

#include <fstream>

#include "bstr.h"
#include "library.h"
#include "media.h"
#include "orvak_file_writer.h"
#include "playback.h"
#include "strings.h"
#include "tag_handler.h"

namespace tandem::protected_audio::test {

TempFolder::TempFolder() : path_(std::filesystem::temp_directory_path() / (L"pa-" + NewGuidId())) {
    std::filesystem::create_directories(path_);
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path_, ignored))
        SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
    std::filesystem::remove_all(path_, ignored);
}

namespace {

template <class T>
ClassObjectRegistration Serve(REFCLSID clsid) {
    return RegisterClassObject(clsid, MakeComObject<ClassFactory<T>>().get(), CLSCTX_INPROC_SERVER,
                               REGCLS_MULTIPLEUSE);
}

}  // namespace

LibraryClasses::LibraryClasses(bool withMainObject, bool withSecondPlayback) {
    if (withMainObject) registrations_.push_back(Serve<vlt::Library>(CLSID_VltLibrary));
    for (const CLSID* format : {&CLSID_VltTagFormat1, &CLSID_VltTagFormat2, &CLSID_VltTagFormat3})
        registrations_.push_back(Serve<vlt::TagHandler>(*format));
    registrations_.push_back(Serve<vlt::Playback>(CLSID_VltPlayback));
    if (withSecondPlayback) registrations_.push_back(Serve<vlt::Playback>(CLSID_VltPlayback2));
}

void WriteProtectedFile(const std::wstring& path, const std::vector<vlt::Frame>& frames,
                        const ProtectedFileOptions& options) {
    std::vector<std::byte> block = vlt::SerializeTagBlock({options.flags, frames});
    tandem::test::OrvakFile file;
    file.tag = tandem::test::OrvakTagBlock{{'e', 'o', '3'}, std::vector<std::byte>(block.begin() + 10, block.end()), {}};
    file.audio = tandem::test::OrvakPatternAudio(options.audioBytes);
    std::vector<std::byte> bytes = tandem::test::BuildOrvakFile(file);
    bytes[5] = std::byte{options.flags};
    tandem::test::WriteBytes(path, bytes);
    if (options.readOnly) SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
}

std::vector<vlt::Frame> StoredFrames(const std::wstring& path) {
    return vlt::ParseTagFile(vlt::ReadWholeFile(path)).block.frames;
}

ComPtr<IZephCsMedia> MediaFor(const std::wstring& path) {
    auto media = MakeComObject<zephcs::Media>();
    media->Set(500, Variant::FromString(path));
    return ComPtr<IZephCsMedia>(media.get());
}

std::wstring Text(const Variant& value) {
    return value.type() == VT_BSTR ? std::wstring(BstrView(V_BSTR(&value.get()))) : L"<not text>";
}

void ProtectedAudioTest::WriteSettings(const std::string& text) const {
    std::ofstream out((folder_ / L"ZephCsVltFile.ini").c_str(), std::ios::binary | std::ios::trunc);
    out << text;
}

HRESULT ProtectedAudioTest::CreateClass(ComPtr<IZephCsClass>& out) const {
    ModuleLocation location = location_;
    return CreateComInstance<ZephCsVltFileClass>(nullptr, IID_IZephCsClass, out.put_void(), location);
}

ComPtr<IZephCsClass> ProtectedAudioTest::Class() const {
    ComPtr<IZephCsClass> created;
    EXPECT_EQ(CreateClass(created), S_OK);
    return created;
}

HRESULT ProtectedAudioTest::GetObject(IZephCsClass& sourceClass, const std::wstring& path,
                                      ComPtr<IZephCsObject>& out) const {
    return sourceClass.GetObject(IID_IZephCsMedia, MediaFor(path).get(), IID_IZephCsObject, out.put_void());
}

ComPtr<IZephCsObjectProperties> ProtectedAudioTest::OpenFile(const std::wstring& path, LONG mode) const {
    ComPtr<IZephCsObject> object;
    ComPtr<IZephCsObjectProperties> properties;
    EXPECT_EQ(GetObject(*Class(), path, object), S_OK);
    if (!object) return properties;
    EXPECT_EQ(object->OpenObject(mode), S_OK);
    object.as(properties);
    return properties;
}

}  // namespace tandem::protected_audio::test
