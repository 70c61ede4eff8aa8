#pragma once

#include <windows.h>

#include <string>

#include "riff_writer.h"

namespace tandem::riffscan::test {

// A fresh folder under the temporary folder, removed with what it holds.
class TempFolder {
public:
    TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder();

    const std::wstring& Path() const noexcept { return path_; }
    // Writes the bytes to a file of the folder; returns its full path.
    std::wstring Write(const std::wstring& name, const Bytes& bytes) const;

private:
    std::wstring path_;
};

}  // namespace tandem::riffscan::test
