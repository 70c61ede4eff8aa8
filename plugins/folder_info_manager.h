#pragma once

#include <windows.h>

#include <map>
#include <string>

#include "exclusion_list.h"
#include "file_info.h"
#include "strings.h"
#include "sync_lock.h"

namespace tandem {

// The folder infos seen so far, per storage root and path below it.
class FolderInfoManager {
public:
    explicit FolderInfoManager(ExclusionList folderExclusions);
    FolderInfoManager(const FolderInfoManager&) = delete;
    FolderInfoManager& operator=(const FolderInfoManager&) = delete;

    bool IsExcluded(const std::wstring& folderPath) const;
    // Paths may end with a backslash or not. A folder that cannot be read is raised.
    FileInfoPtr Get(const std::wstring& folderPath);
    // For listings: an existing info takes the times and hidden mark given.
    FileInfoPtr GetOrCreate(const std::wstring& folderPath, const FileTimes& times, bool hidden);
    // Forgets the folder and everything below it.
    void DropUnder(const std::wstring& folderPath);

private:
    using PathMap = std::map<std::wstring, FileInfoPtr, LessNoCase>;

    FileInfoPtr GetLocked(const std::wstring& root, const std::wstring& relative);
    FileInfoPtr MakeInfo(const std::wstring& root, const std::wstring& relative);

    const ExclusionList exclusions_;
    CSyncLock lock_;
    std::map<std::wstring, PathMap, LessNoCase> roots_;
};

}  // namespace tandem
