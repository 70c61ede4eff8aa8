#pragma once

#include <string>
#include <vector>

#include "content_source.h"
#include "exclusion_list.h"
#include "file_info.h"
#include "folder_info_manager.h"

namespace tandem {

// The info of a file; an excluded file fails with 0x80070002 as if it were absent.
ContentInfoPtr BuildContentInfo(ContentSource& source, FolderInfoManager& folders, const ExclusionList& files,
                                const std::wstring& path);

struct DirectoryListing {
    std::vector<FileInfoPtr> folders;
    std::vector<ContentInfoPtr> contents;
};

// One folder's entries in listing order. Hidden, system and excluded files
// are left out; folders are kept with their hidden mark.
DirectoryListing ListDirectory(ContentSource& source, FolderInfoManager& folders, const ExclusionList& files,
                               const FileInfoPtr& folder);

}  // namespace tandem
