#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>

namespace tandem {

// The id a storage carries on its own medium, so that it is recognised under
// another drive letter: "<root>Pelion Entertainment\StorageInfo", one line in
// the thread's ANSI code page.

// The id of the file's first line: one to 64 hexadecimal digits and hyphens;
// anything else is no identity.
std::optional<std::wstring> ParseIdentity(std::span<const std::byte> bytes);

// Raises E_UNEXPECTED when the path cannot be composed.
std::wstring IdentityDirectory(const std::wstring& root);

// The id of the first line; nothing when the file is missing or unreadable or
// its first line is no identity.
std::optional<std::wstring> ReadIdentity(const std::wstring& root);

// Creates the directory when needed (ERROR_WRITE_FAULT when it can neither
// exist nor be created) and writes the id with CR LF.
void WriteIdentity(const std::wstring& root, const std::wstring& id);

// Best effort: a missing or locked file is left as it is.
void DeleteIdentity(const std::wstring& root) noexcept;

}  // namespace tandem
