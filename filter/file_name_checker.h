#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace tandem {

// One compiled exclusion pattern. relativePath is the path below the storage
// root; name its last component. Folders carry a trailing backslash in both.
class FileNameCheckerBase {
public:
    virtual ~FileNameCheckerBase() = default;
    virtual bool IsMatch(std::wstring_view relativePath, std::wstring_view name) const = 0;
};

// Checkers are immutable and shared by the threads that consult a list.
using FileNameCheckerPtr = std::shared_ptr<const FileNameCheckerBase>;

// Compile one pattern of the file grammar and of the folder grammar.
FileNameCheckerPtr MakeFileChecker(std::wstring_view pattern);
FileNameCheckerPtr MakeFolderChecker(std::wstring_view pattern);

}  // namespace tandem
