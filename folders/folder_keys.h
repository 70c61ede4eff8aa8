#pragma once

namespace tandem {

constexpr wchar_t kWatcherKey[] = L"SOFTWARE\\Marlo Corporation\\Tandem Content Folder Watcher";
constexpr wchar_t kFolderListKey[] = L"SOFTWARE\\Marlo Corporation\\Tandem Content Folder Watcher\\Folder List";
// Kept for older software of the suite; written only for folders on fixed disks.
constexpr wchar_t kOlderFolderListKey[] =
    L"SOFTWARE\\Marlo Corporation\\Pelion Entertainment Platform\\1.0\\ZephFw\\Folder List";

}  // namespace tandem
