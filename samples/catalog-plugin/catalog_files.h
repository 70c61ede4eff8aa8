#pragma once

#include <windows.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "catalog_format.h"

namespace tandem::catalog {

// "<common application data>\Marlo Corporation\Tandem Catalog\", made when missing.
std::wstring DefaultCatalogDirectory();

// The file of a folder's catalog in directory: named by a hash of the folder's
// path in upper case, so a folder keeps its file whatever case it is given in.
std::wstring CatalogFileName(const std::wstring& directory, const std::wstring& root);

// Every "*.catalog" file of directory (none when it does not exist).
std::vector<std::wstring> CatalogFiles(const std::wstring& directory);

// The whole file; nothing when it is not there.
std::optional<std::vector<std::byte>> ReadWholeFile(const std::wstring& path);

// Written beside the file, flushed and moved over it, so the file is either the
// old or the new one whenever the process is killed.
void ReplaceFile(const std::wstring& path, const std::string& content);

// A file that is not there is no failure.
void RemoveFile(const std::wstring& path);

}  // namespace tandem::catalog
