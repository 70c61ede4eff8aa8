#pragma once

#include <windows.h>

#include <string>

#include "content_source.h"
#include "unique_resource.h"

namespace tandem::test {

// Files are media of category 1, or of the category their name starts with ("3-x.jpg").
class FakeMedia : public ContentMedia {
public:
    explicit FakeMedia(std::wstring path) : path(std::move(path)) {}
    std::wstring path;
};

class FakeSource : public ContentSource {
public:
    ContentMediaPtr OpenMedia(const std::wstring& path) override { return MakeShared<FakeMedia>(path); }
    LONG ObjectCategory(const ContentMedia& media) override {
        const std::wstring& path = static_cast<const FakeMedia&>(media).path;
        const wchar_t first = path[path.find_last_of(L'\\') + 1];
        return first >= L'0' && first <= L'9' ? first - L'0' : 1;
    }
    Variant ReadProperty(const ContentMedia&, LONG id, const PropertyList& params) override {
        lastParams = params.size();
        return id == 500 ? Variant::FromString(L"value") : Variant();
    }
    PropertyList ReadAllProperties(const ContentMedia&) override {
        ++reads;
        PropertyList list;
        list.emplace_back(500, Variant::FromString(L"path"));
        list.emplace_back(11110, Variant::FromLong(1));
        return list;
    }
    void AcquireProtectedAudio() noexcept override { ++audioUses; }
    void ReleaseProtectedAudio() noexcept override { --audioUses; }

    size_t lastParams = 0;
    int reads = 0;
    int audioUses = 0;
};

// A unique folder under the temporary directory, removed with its content.
class TempTree {
public:
    TempTree() {
        wchar_t base[MAX_PATH];
        GetTempPathW(MAX_PATH, base);
        root_ = std::wstring(base) + L"tandem-objects-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(GetTickCount64()) + L"\\";
        Folder(L"");
    }
    ~TempTree() { Remove(root_); }
    const std::wstring& Root() const { return root_; }
    std::wstring Folder(const std::wstring& relative, DWORD attributes = 0) {
        const std::wstring path = root_ + relative;
        CreateDirectoryW(path.c_str(), nullptr);
        if (attributes) SetFileAttributesW(path.c_str(), attributes);
        return path;
    }
    std::wstring File(const std::wstring& relative, DWORD size = 3, DWORD attributes = 0) {
        const std::wstring path = root_ + relative;
        UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        std::string data(size, 'x');
        DWORD written = 0;
        WriteFile(file.get(), data.data(), size, &written, nullptr);
        file.reset();
        if (attributes) SetFileAttributesW(path.c_str(), attributes);
        return path;
    }

private:
    static void Remove(const std::wstring& folder) {
        WIN32_FIND_DATAW entry;
        UniqueFindHandle find(FindFirstFileW((folder + L"*").c_str(), &entry));
        if (find) {
            do {
                const std::wstring name = entry.cFileName;
                if (name == L"." || name == L"..") continue;
                const std::wstring path = folder + name;
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    Remove(path + L"\\");
                else
                    DeleteFileW(path.c_str());
            } while (FindNextFileW(find.get(), &entry));
        }
        find.reset();
        RemoveDirectoryW(folder.c_str());
    }
    std::wstring root_;
};

}  // namespace tandem::test
