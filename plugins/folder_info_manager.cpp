#include "folder_info_manager.h"

#include <iterator>

#include "error.h"
#include "exclusion_rules.h"
#include "paths.h"

namespace tandem {
namespace {

struct FolderKey {
    std::wstring root;
    std::wstring relative;  // empty for the root, else ending with a backslash
};

FolderKey KeyOf(const std::wstring& path) {
    RootSplit split = SplitRoot(path);
    return {std::move(split.root), WithTrailingBackslash(split.relative)};
}

// Parent below the root and own name (with its backslash) of a relative folder
// path. The parent is always shorter, so walking up ends on any input.
std::pair<std::wstring, std::wstring> SplitLast(const std::wstring& relative) {
    const size_t slash = std::wstring_view(relative).substr(0, relative.size() - 1).find_last_of(L'\\');
    if (slash == std::wstring::npos) return {std::wstring(), relative};
    return {relative.substr(0, slash + 1), relative.substr(slash + 1)};
}

WIN32_FILE_ATTRIBUTE_DATA ReadAttributes(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) ThrowLastError();
    return data;
}

FileTimes TimesOf(const WIN32_FILE_ATTRIBUTE_DATA& data) {
    return ToFileTimes(data.ftCreationTime, data.ftLastAccessTime, data.ftLastWriteTime);
}

}  // namespace

FolderInfoManager::FolderInfoManager(ExclusionList folderExclusions) : exclusions_(std::move(folderExclusions)) {}

bool FolderInfoManager::IsExcluded(const std::wstring& folderPath) const {
    return IsFolderExcluded(exclusions_, folderPath);
}

FileInfoPtr FolderInfoManager::Get(const std::wstring& folderPath) {
    const FolderKey key = KeyOf(folderPath);
    CSyncLockHolder hold(lock_);
    return GetLocked(key.root, key.relative);
}

FileInfoPtr FolderInfoManager::GetOrCreate(const std::wstring& folderPath, const FileTimes& times, bool hidden) {
    const FolderKey key = KeyOf(folderPath);
    CSyncLockHolder hold(lock_);
    PathMap& paths = roots_[key.root];
    if (auto found = paths.find(key.relative); found != paths.end()) {
        found->second->Update(times, hidden);
        return found->second;
    }
    if (key.relative.empty()) return GetLocked(key.root, key.relative);
    auto [parentPath, name] = SplitLast(key.relative);
    auto info = MakeShared<TandemFileInfo>(GetLocked(key.root, parentPath), std::move(name), times, hidden);
    paths.emplace(key.relative, info);
    return info;
}

void FolderInfoManager::DropUnder(const std::wstring& folderPath) {
    const FolderKey key = KeyOf(folderPath);
    CSyncLockHolder hold(lock_);
    auto paths = roots_.find(key.root);
    if (paths == roots_.end()) return;
    std::erase_if(paths->second, [&](const auto& entry) {
        return entry.first.size() >= key.relative.size() &&
               EqualsNoCase(std::wstring_view(entry.first).substr(0, key.relative.size()), key.relative);
    });
}

FileInfoPtr FolderInfoManager::GetLocked(const std::wstring& root, const std::wstring& relative) {
    PathMap& paths = roots_[root];
    if (auto found = paths.find(relative); found != paths.end()) return found->second;
    FileInfoPtr info = MakeInfo(root, relative);
    paths.emplace(relative, info);
    return info;
}

// Storage roots carry hidden and system marks on some file systems; they
// must not hide everything on the storage, so the root is never hidden.
FileInfoPtr FolderInfoManager::MakeInfo(const std::wstring& root, const std::wstring& relative) {
    const auto data = ReadAttributes(root + relative);
    if (relative.empty()) return MakeShared<TandemFileInfo>(nullptr, root, TimesOf(data), false);
    auto [parentPath, name] = SplitLast(relative);
    FileInfoPtr parent = GetLocked(root, parentPath);
    const bool hidden = HasHiddenAttributes(data.dwFileAttributes) || IsExcluded(root + relative);
    return MakeShared<TandemFileInfo>(std::move(parent), std::move(name), TimesOf(data), hidden);
}

}  // namespace tandem
