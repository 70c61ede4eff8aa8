#pragma once

#include <windows.h>

#include <string>

#include "machine_lock.h"

namespace tandem::test {

// A drive letter of a given drive type, backed by a fresh temporary directory,
// defined through Wine's mount manager for the object's lifetime. Test
// processes that want the same letter take turns.
class TestDrive {
public:
    TestDrive(wchar_t letter, UINT driveType);
    TestDrive(const TestDrive&) = delete;
    TestDrive& operator=(const TestDrive&) = delete;
    ~TestDrive();

    wchar_t Letter() const noexcept { return letter_; }
    // "X:\"
    std::wstring Root() const { return std::wstring{letter_, L':', L'\\'}; }
    // The backing directory, as a Windows path that stays valid after the drive is gone.
    const std::wstring& BackingDirectory() const noexcept { return directory_; }
    // Takes the letter away early, as an unplugged medium would.
    void Remove();

private:
    MachineLock letterLock_;
    wchar_t letter_;
    std::wstring directory_;
    bool defined_ = false;
};

// Points the letter at a Unix directory (empty: removes the letter).
void DefineUnixDrive(wchar_t letter, UINT driveType, const std::string& unixDirectory);

}  // namespace tandem::test
