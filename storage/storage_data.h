#pragma once

#include <string>

namespace tandem {

// Where the service keeps files of its own for a storage (task journals):
// <common application data>\Marlo Corporation\Tandem Content Folder Watcher\<id>\<name>.
// The directories up to the id are created; an unusable path raises E_UNEXPECTED.
std::wstring StorageDataPath(const std::wstring& storageId, const std::wstring& name);

}  // namespace tandem
