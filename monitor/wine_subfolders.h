#pragma once

#include <string>
#include <vector>

namespace tandem {

bool RunningUnderWine() noexcept;

// Wine reports changes inside a sub-folder of a recursive watch only once it
// has seen that sub-folder opened: each folder (and, recursively, the
// folders below it) is opened once. Does nothing outside Wine.
void RevealSubFoldersToWine(const std::vector<std::wstring>& folders, bool recursive) noexcept;

}  // namespace tandem
