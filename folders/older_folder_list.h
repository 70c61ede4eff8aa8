#pragma once

#include <string>

namespace tandem {

// The folder list of older software: slots 0..99, each the sub-key named by
// its number in three digits when that exists, else in two digits. Failures
// never reach the caller; the current list does not depend on this one.

// Fills the first free slot unless the path is listed already.
void AddToOlderList(const std::wstring& fullPath, const std::wstring& owner) noexcept;
// Empties the slot that lists the path; slots are never deleted.
void RemoveFromOlderList(const std::wstring& fullPath) noexcept;

}  // namespace tandem
