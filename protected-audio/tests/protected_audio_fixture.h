#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "VltLib.h"
#include "ZephCs.h"
#include "class_object.h"
#include "com/class_object_registration.h"
#include "com_ptr.h"
#include "tag_block.h"
#include "testing/com_apartment.h"
#include "variant.h"

namespace tandem::protected_audio::test {

// A scratch folder that goes with the test.
class TempFolder {
public:
    TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder();

    const std::filesystem::path& Path() const noexcept { return path_; }
    std::wstring operator/(const std::wstring& name) const { return (path_ / name).wstring(); }

private:
    std::filesystem::path path_;
};

// The library stand-in's classes, served in process.
class LibraryClasses {
public:
    explicit LibraryClasses(bool withMainObject = true, bool withSecondPlayback = true);

private:
    std::vector<ClassObjectRegistration> registrations_;
};

struct ProtectedFileOptions {
    std::uint8_t flags = 0;          // tag-block flags: vlt::kLockedFlag marks the file unreadable
    std::size_t audioBytes = 17600;  // a tenth of a second
    bool readOnly = false;
};

// A protected file: the tag block, then an Orvak container.
void WriteProtectedFile(const std::wstring& path, const std::vector<vlt::Frame>& frames,
                        const ProtectedFileOptions& options = {});
// The frames stored in a file, read back without the content source.
std::vector<vlt::Frame> StoredFrames(const std::wstring& path);

// A framework media object holding the given path as property 500.
ComPtr<IZephCsMedia> MediaFor(const std::wstring& path);

std::wstring Text(const Variant& value);

// The content source as the framework meets it, started from a module path
// in a scratch folder, with its settings file beside it.
class ProtectedAudioTest : public ::testing::Test {
protected:
    void WriteSettings(const std::string& text) const;
    std::wstring ModulePath() const { return folder_ / L"ZephCsVltFile.zephcs"; }
    HRESULT CreateClass(ComPtr<IZephCsClass>& out) const;
    ComPtr<IZephCsClass> Class() const;
    // A content object for the file, or the failure of GetObject.
    HRESULT GetObject(IZephCsClass& sourceClass, const std::wstring& path, ComPtr<IZephCsObject>& out) const;
    ComPtr<IZephCsObjectProperties> OpenFile(const std::wstring& path, LONG mode = 1) const;

    tandem::test::ComApartment apartment_;
    std::optional<LibraryClasses> classes_{std::in_place};
    TempFolder folder_;
    ModuleLocation location_{ModulePath()};
};

}  // namespace tandem::protected_audio::test
