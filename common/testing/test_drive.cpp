#include "test_drive.h"

#include <winioctl.h>

#include <vector>

#include "../error.h"
#include "../strings.h"
#include "../unique_resource.h"

namespace tandem::test {

namespace {

// Wine's own mount-manager extension (include/ddk/mountmgr.h).
constexpr DWORD kDefineUnixDrive = CTL_CODE('m', 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);

struct UnixDriveRequest {
    ULONG size;
    ULONG type;
    ULONG fs_type;
    DWORD serial;
    ULONGLONG unix_dev;
    WCHAR letter;
    USHORT mount_point_offset;
    USHORT device_offset;
    USHORT label_offset;
};

std::string UnixPathOf(const std::wstring& windowsPath) {
    using ToUnix = char*(CDECL*)(const wchar_t*);
    auto toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!toUnix) ThrowHr(E_NOTIMPL);
    char* unixPath = toUnix(windowsPath.c_str());
    if (!unixPath) ThrowHr(E_FAIL);
    std::string result(unixPath);
    HeapFree(GetProcessHeap(), 0, unixPath);
    return result;
}

std::wstring NewTemporaryDirectory() {
    wchar_t temp[MAX_PATH];
    if (!GetTempPathW(MAX_PATH, temp)) ThrowLastError();
    std::wstring directory = std::wstring(temp) + L"tandem-drive-" + NewGuidId();
    if (!CreateDirectoryW(directory.c_str(), nullptr)) ThrowLastError();
    return directory;
}

void RemoveTree(const std::wstring& directory) {
    WIN32_FIND_DATAW data;
    UniqueFindHandle find(FindFirstFileW((directory + L"\\*").c_str(), &data));
    if (find) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring path = directory + L"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(find.get(), &data));
    }
    find.reset();
    RemoveDirectoryW(directory.c_str());
}

}  // namespace

void DefineUnixDrive(wchar_t letter, UINT driveType, const std::string& unixDirectory) {
    std::vector<BYTE> buffer(sizeof(UnixDriveRequest) + unixDirectory.size() + 1);
    auto* request = reinterpret_cast<UnixDriveRequest*>(buffer.data());
    request->size = static_cast<ULONG>(buffer.size());
    request->type = driveType;
    request->letter = letter;
    if (!unixDirectory.empty()) {
        request->mount_point_offset = sizeof(UnixDriveRequest);
        std::copy(unixDirectory.begin(), unixDirectory.end(), buffer.begin() + sizeof(UnixDriveRequest));
    }
    UniqueHandle manager(CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!manager) ThrowLastError();
    DWORD returned = 0;
    if (!DeviceIoControl(manager.get(), kDefineUnixDrive, buffer.data(), static_cast<DWORD>(buffer.size()), nullptr,
                         0, &returned, nullptr))
        ThrowLastError();
}

TestDrive::TestDrive(wchar_t letter, UINT driveType)
    : letterLock_((L"Local\\TandemTestDrive" + std::wstring(1, letter)).c_str()),
      letter_(letter),
      directory_(NewTemporaryDirectory()) {
    try {
        DefineUnixDrive(letter_, driveType, UnixPathOf(directory_));
        defined_ = true;
    } catch (...) {
        RemoveTree(directory_);
        throw;
    }
}

TestDrive::~TestDrive() {
    Remove();
    RemoveTree(directory_);
}

void TestDrive::Remove() {
    if (!defined_) return;
    CatchHr([&] { DefineUnixDrive(letter_, DRIVE_NO_ROOT_DIR, {}); });
    defined_ = false;
}

}  // namespace tandem::test
