#include <gtest/gtest.h>

#include "ZephCsVltFile.h"
#include "bstr.h"
#include "error_translation.h"
#include "format_maps.h"
#include "protected_audio_fixture.h"
#include "strings.h"

namespace tandem::protected_audio::test {
namespace {

std::string Narrow(const std::wstring& ascii) { return std::string(ascii.begin(), ascii.end()); }

const std::string kFormat2 = "{9B54C1E0-2F7D-4A83-B6E5-0C1D9A3F5E83}";
const std::string kFormat3 = "{9B54C1E0-2F7D-4A83-B6E5-0C1D9A3F5E84}";

TEST(FormatMaps, PrefixesAreTriedInCodeUnitOrderAndBeatExtensions) {
    FormatMaps maps;
    maps.InstallDefaults();
    EXPECT_TRUE(maps.AddPrefix(L"C:\\AB", CLSID_VltTagFormat3));
    EXPECT_TRUE(maps.AddPrefix(L"C:\\A", CLSID_VltTagFormat1));
    EXPECT_FALSE(maps.AddPrefix(L"C:\\A", CLSID_VltTagFormat2));
    EXPECT_FALSE(maps.AddExtension(L".VLA", CLSID_VltTagFormat3));

    EXPECT_TRUE(IsEqualCLSID(maps.Lookup(L"C:\\ABC\\x.vla"), CLSID_VltTagFormat1));
    // Prefixes compare case-sensitively; the extension decides then.
    EXPECT_TRUE(IsEqualCLSID(maps.Lookup(L"c:\\abc\\x.vla"), CLSID_VltTagFormat2));
    EXPECT_TRUE(IsEqualCLSID(maps.Lookup(L"D:\\Music\\Song.VLA"), CLSID_VltTagFormat2));
    EXPECT_TRUE(IsEqualCLSID(maps.Lookup(L"D:\\Music\\clip.3GP"), CLSID_VltTagFormat3));
}

TEST(FormatMaps, ExtensionsComeFromTheFileNameOnly) {
    FormatMaps maps;
    maps.InstallDefaults();
    EXPECT_EQ(LowerExtension(L"D:\\a.vla\\track"), L"");
    EXPECT_EQ(LowerExtension(L"D:\\Music\\Song.Mix.VLM"), L".vlm");
    EXPECT_TRUE(IsEqualCLSID(maps.Lookup(L"Song.vlm"), CLSID_VltTagFormat1));
    for (const wchar_t* path : {L"D:\\a.vla\\track", L"D:\\Music\\Song.mp3", L""}) {
        try {
            maps.Lookup(path);
            ADD_FAILURE() << "a format for " << std::string(path, path + wcslen(path));
        } catch (const HResultError& e) {
            EXPECT_EQ(e.hr(), E_FAIL);
        }
    }
}

TEST_F(ProtectedAudioTest, ClassReportsKindAndCarrierOnly) {
    ComPtr<IZephCsClass> source = Class();
    Variant value;
    EXPECT_EQ(source->GetProperty(11110, value.put()), S_OK);
    EXPECT_EQ(value.type(), VT_I4);
    EXPECT_EQ(V_I4(&value.get()), 1);
    EXPECT_EQ(source->GetProperty(11112, value.put()), S_OK);
    EXPECT_EQ(V_I4(&value.get()), 2);
    EXPECT_EQ(source->GetProperty(500, value.put()), E_FAIL);
    EXPECT_EQ(value.type(), VT_EMPTY);
    EXPECT_EQ(source->OpenClass(7), S_OK);
    EXPECT_EQ(source->CloseClass(), S_OK);

    void* out = &value;
    EXPECT_EQ(source->GetReader(IID_IZephCsMedia, nullptr, IID_IUnknown, &out), E_FAIL);
    EXPECT_EQ(source->GetWriter(IID_IZephCsMedia, nullptr, IID_IUnknown, &out), static_cast<HRESULT>(0x80040400));
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(source->GetObject(IID_IZephCsMedia, nullptr, IID_IZephCsObject, &out), E_POINTER);
}

TEST_F(ProtectedAudioTest, WithoutAMainObjectTheClassIsNotCreated) {
    classes_.reset();
    classes_.emplace(false);
    ComPtr<IZephCsClass> source;
    EXPECT_EQ(CreateClass(source), REGDB_E_CLASSNOTREG);
    EXPECT_FALSE(source);
}

TEST_F(ProtectedAudioTest, WithoutSettingsTheBuiltInMapServes) {
    std::wstring song = folder_ / L"Song.VLA";
    WriteProtectedFile(song, {{4615, {std::wstring(L"Title")}}});
    ComPtr<IZephCsObject> object;
    EXPECT_EQ(GetObject(*Class(), song, object), S_OK);
    EXPECT_EQ(GetObject(*Class(), folder_ / L"Song.mp3", object), E_FAIL);
    EXPECT_EQ(GetObject(*Class(), L"", object), E_FAIL);
}

TEST_F(ProtectedAudioTest, IgnoringTheDefaultMapLeavesPathsWithoutAFormat) {
    WriteSettings("[Settings]\r\nIgnoreDefaultMap=1\r\n");
    std::wstring song = folder_ / L"a.vla";
    WriteProtectedFile(song, {});
    ComPtr<IZephCsObject> object;
    EXPECT_EQ(GetObject(*Class(), song, object), E_FAIL);
}

TEST_F(ProtectedAudioTest, ExtensionRowsCountOnlyWithoutTheDefaultMap) {
    // The stand-in's third format reads ".vla" files as well; its probe skips
    // the write test, which tells the formats apart on a read-only file.
    std::wstring song = folder_ / L"a.vla";
    WriteProtectedFile(song, {}, {.readOnly = true});
    auto openForWriting = [&] {
        ComPtr<IZephCsObject> object;
        EXPECT_EQ(GetObject(*Class(), song, object), S_OK);
        return object ? object->OpenObject(2) : E_UNEXPECTED;
    };
    WriteSettings("[ExtMap]\r\n.VLA=" + kFormat3 + "\r\n");
    EXPECT_EQ(openForWriting(), E_FAIL);  // the built-in second format probed and refused

    WriteSettings("[Settings]\r\nIgnoreDefaultMap=1\r\n[ExtMap]\r\n.VLA=" + kFormat3 + "\r\n");
    EXPECT_EQ(openForWriting(), static_cast<HRESULT>(0x80040409));  // the third: the handler refuses
}

TEST_F(ProtectedAudioTest, MalformedRowsAreSkipped) {
    WriteSettings("[Settings]\r\nIgnoreDefaultMap=yes\r\nApplicationId=12abc\r\n"
                  "[ExtMap]\r\n.vla=not-a-class\r\n.vlt\r\n.vlz={9B54C1E0-2F7D-4A83-B6E5-0C1D9A3F5E83\r\n"
                  ".vlq=" + kFormat2 + "\r\n"
                  "[RightTruncationMap]\r\nC:\\=Music.Class\r\n"
                  "[Plugin]\r\nnot-a-class=Other.dll\r\n");
    // "yes" reads as 0: the built-in rows are installed and win.
    std::wstring song = folder_ / L"a.vla";
    std::wstring other = folder_ / L"b.vlq";
    std::wstring broken = folder_ / L"c.vlz";
    for (const auto& path : {song, other, broken}) WriteProtectedFile(path, {});
    ComPtr<IZephCsClass> source = Class();
    ComPtr<IZephCsObject> object;
    EXPECT_EQ(GetObject(*source, song, object), S_OK);
    EXPECT_EQ(GetObject(*source, other, object), S_OK);
    EXPECT_EQ(GetObject(*source, broken, object), E_FAIL);
}

TEST_F(ProtectedAudioTest, SettingsFileOfGarbageReadsAsEmpty) {
    std::string garbage;
    for (int i = 0; i < 4096; ++i) garbage.push_back(static_cast<char>((i * 7919) & 0xFF));
    WriteSettings(garbage);
    std::wstring song = folder_ / L"a.vla";
    WriteProtectedFile(song, {});
    ComPtr<IZephCsObject> object;
    EXPECT_EQ(GetObject(*Class(), song, object), S_OK);
}

TEST_F(ProtectedAudioTest, HugeSectionsAreTreatedAsEmpty) {
    // Key names of 70,000 characters in all do not fit the largest buffer.
    std::string huge = "[Settings]\r\nIgnoreDefaultMap=1\r\n[ExtMap]\r\n";
    for (int i = 0; i < 2000; ++i) huge += ".x" + std::to_string(100000 + i) + std::string(26, 'k') + "=" + kFormat2 + "\r\n";
    huge += ".vla=" + kFormat2 + "\r\n";
    // A section of some thousands of characters is read whole after growing the buffer.
    huge += "[RightTruncationMap]\r\n";
    for (int i = 0; i < 150; ++i) huge += "Z:\\prefix" + std::to_string(1000 + i) + std::string(20, 'p') + "=" + kFormat2 + "\r\n";
    huge += Narrow(folder_.Path().wstring()) + "=" + kFormat2 + "\r\n";
    WriteSettings(huge);

    std::wstring song = folder_ / L"a.vla";
    WriteProtectedFile(song, {});
    ComPtr<IZephCsObject> object;
    EXPECT_EQ(GetObject(*Class(), song, object), S_OK);  // through the prefix row, the last of its section
    EXPECT_EQ(GetObject(*Class(), L"Y:\\a.vla", object), E_FAIL);  // the extension map stayed empty
}

TEST_F(ProtectedAudioTest, PluginLibrariesLoadFromTheModulesFolder) {
    TempFolder elsewhere;
    std::filesystem::copy_file(std::filesystem::current_path() / L"VltLib.dll", elsewhere.Path() / L"VltLib.dll");
    std::wstring song = folder_ / L"a.vlx";
    WriteProtectedFile(song, {{4615, {std::wstring(L"Through the library")}}});
    WriteSettings("[ExtMap]\r\n.vlx={9B54C1E0-2F7D-4A83-B6E5-0C1D9A3F5E8F}\r\n"
                  "[Plugin]\r\n{9B54C1E0-2F7D-4A83-B6E5-0C1D9A3F5E8F}=VltLib.dll\r\n");

    // Only the current directory holds the library: not found.
    std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(elsewhere.Path());
    ComPtr<IZephCsObject> object;
    HRESULT fromCurrent = GetObject(*Class(), song, object);

    // Beside the module it is found, though the class is unknown to COM.
    std::filesystem::copy_file(elsewhere.Path() / L"VltLib.dll", folder_.Path() / L"VltLib.dll");
    HRESULT fromModuleFolder = GetObject(*Class(), song, object);
    std::filesystem::current_path(previous);

    EXPECT_EQ(fromCurrent, E_FAIL);
    // Found and asked for a class it does not serve, then unloaded again.
    EXPECT_EQ(fromModuleFolder, CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(GetModuleHandleW((folder_ / L"VltLib.dll").c_str()), nullptr);
}

TEST_F(ProtectedAudioTest, ConverterAdmission) {
    ComPtr<IZephCsClass> source = Class();
    auto destination = MediaFor(L"");
    destination->PutProperty(11112, Variant::FromLong(3).get());
    auto convert = [&](const std::wstring& path, auto&& prepare) {
        auto media = MediaFor(path);
        prepare(*media);
        ComPtr<IZephCsConverter> converter;
        return source->GetConverter(IID_IZephCsMedia, media.get(), IID_IZephCsMedia, destination.get(),
                                    IID_IZephCsConverter, converter.put_void());
    };
    auto nothing = [](IZephCsMedia&) {};
    EXPECT_EQ(convert(L"D:\\a.vla", nothing), S_OK);
    EXPECT_EQ(convert(L"D:\\a.3GP", nothing), S_OK);
    EXPECT_EQ(convert(L"D:\\a.vlt", nothing), E_FAIL);
    EXPECT_EQ(convert(L"D:\\a.vla", [](IZephCsMedia& m) { m.PutProperty(11112, Variant::FromLong(1).get()); }), E_FAIL);
    EXPECT_EQ(convert(L"D:\\a.vla", [](IZephCsMedia& m) { m.PutProperty(11112, Variant::FromLong(2).get()); }), S_OK);
    EXPECT_EQ(convert(L"D:\\a.vla",
                      [](IZephCsMedia& m) {
                          m.PutProperty(11121, Variant::FromString(GuidToString(CLSID_ZephCsVltFileClass)).get());
                      }),
              S_OK);
    EXPECT_EQ(convert(L"D:\\a.vla",
                      [](IZephCsMedia& m) {
                          m.PutProperty(11121, Variant::FromString(GuidToString(CLSID_ZephCsVltFileObject)).get());
                      }),
              static_cast<HRESULT>(0x80040400));

    auto noPath = MediaFor(L"");
    noPath->ClearProperties();
    ComPtr<IZephCsConverter> converter;
    EXPECT_EQ(source->GetConverter(IID_IZephCsMedia, noPath.get(), IID_IZephCsMedia, destination.get(),
                                   IID_IZephCsConverter, converter.put_void()),
              E_FAIL);
    EXPECT_EQ(source->GetConverter(IID_IZephCsMedia, nullptr, IID_IZephCsMedia, destination.get(),
                                   IID_IZephCsConverter, converter.put_void()),
              E_FAIL);
    auto untyped = MediaFor(L"");
    EXPECT_EQ(source->GetConverter(IID_IZephCsMedia, MediaFor(L"D:\\a.vla").get(), IID_IZephCsMedia, untyped.get(),
                                   IID_IZephCsConverter, converter.put_void()),
              E_FAIL);
}

}  // namespace
}  // namespace tandem::protected_audio::test
