#include "file_info_builder.h"

#include "error.h"
#include "exclusion_rules.h"
#include "paths.h"
#include "unique_resource.h"

namespace tandem {
namespace {

ULONGLONG SizeOf(DWORD high, DWORD low) noexcept { return (static_cast<ULONGLONG>(high) << 32) | low; }

bool IsDotEntry(const wchar_t* name) noexcept { return wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0; }

void AddFolder(FolderInfoManager& folders, const std::wstring& directory, const WIN32_FIND_DATAW& entry,
               DirectoryListing& listing) {
    const std::wstring path = directory + entry.cFileName + L"\\";
    const bool hidden = HasHiddenAttributes(entry.dwFileAttributes) || folders.IsExcluded(path);
    const FileTimes times = ToFileTimes(entry.ftCreationTime, entry.ftLastAccessTime, entry.ftLastWriteTime);
    listing.folders.push_back(folders.GetOrCreate(path, times, hidden));
}

// A file that vanished or that the content source cannot describe is left
// out rather than failing the whole listing.
void AddContent(ContentSource& source, const ExclusionList& files, const FileInfoPtr& folder,
                const std::wstring& directory, const WIN32_FIND_DATAW& entry, DirectoryListing& listing) {
    const std::wstring path = directory + entry.cFileName;
    if (HasHiddenAttributes(entry.dwFileAttributes) || IsFileExcluded(files, path)) return;
    try {
        ContentMediaPtr media = source.OpenMedia(path);
        const LONG category = source.ObjectCategory(*media);
        listing.contents.push_back(MakeShared<TandemContentInfo>(
            folder, entry.cFileName, ToFileTimes(entry.ftCreationTime, entry.ftLastAccessTime, entry.ftLastWriteTime),
            false, std::move(media), category, SizeOf(entry.nFileSizeHigh, entry.nFileSizeLow)));
    } catch (const HResultError&) {
    }
}

}  // namespace

ContentInfoPtr BuildContentInfo(ContentSource& source, FolderInfoManager& folders, const ExclusionList& files,
                                const std::wstring& path) {
    const std::wstring file = WithoutTrailingBackslash(path);
    const size_t slash = file.find_last_of(L'\\');
    if (slash == std::wstring::npos || slash + 1 == file.size()) ThrowHr(E_INVALIDARG);
    if (IsFileExcluded(files, file)) ThrowWin32(ERROR_FILE_NOT_FOUND);
    FileInfoPtr parent = folders.Get(file.substr(0, slash + 1));
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data)) ThrowLastError();
    ContentMediaPtr media = source.OpenMedia(file);
    const LONG category = source.ObjectCategory(*media);
    return MakeShared<TandemContentInfo>(
        std::move(parent), file.substr(slash + 1),
        ToFileTimes(data.ftCreationTime, data.ftLastAccessTime, data.ftLastWriteTime),
        HasHiddenAttributes(data.dwFileAttributes), std::move(media), category,
        SizeOf(data.nFileSizeHigh, data.nFileSizeLow));
}

DirectoryListing ListDirectory(ContentSource& source, FolderInfoManager& folders, const ExclusionList& files,
                               const FileInfoPtr& folder) {
    const std::wstring directory = WithTrailingBackslash(folder->FullPath());
    WIN32_FIND_DATAW entry{};
    UniqueFindHandle find(FindFirstFileW((directory + L"*").c_str(), &entry));
    if (!find) ThrowLastError();
    DirectoryListing listing;
    do {
        if (IsDotEntry(entry.cFileName)) continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            AddFolder(folders, directory, entry, listing);
        else
            AddContent(source, files, folder, directory, entry, listing);
    } while (FindNextFileW(find.get(), &entry));
    if (GetLastError() != ERROR_NO_MORE_FILES) ThrowLastError();
    return listing;
}

}  // namespace tandem
