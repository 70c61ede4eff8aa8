#pragma once

#include <windows.h>

#include <array>
#include <string>
#include <string_view>

namespace tandem {

using Md5Digest = std::array<BYTE, 16>;

// MD5 of the bytes, through the system's Cryptdll.dll.
Md5Digest Md5(const void* data, size_t size);

// The thumbnail file name of a picture property: its digest over the path
// below the storage root and the property id, as 32 hex digits plus ".jpg".
std::wstring ThumbnailFileName(std::wstring_view pathBelowRoot, LONG propertyId);

// Where the picture property of a file is written as a thumbnail:
// <root><subPath>\<file name>. The last folder of subPath is created hidden
// when missing; the folders above it must exist.
std::wstring ThumbnailPath(std::wstring_view contentPath, LONG propertyId, std::wstring_view subPath);

}  // namespace tandem
