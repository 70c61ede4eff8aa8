#include "storage_data.h"

#include <windows.h>
#include <shlobj.h>

#include "error.h"

namespace tandem {

std::wstring StorageDataPath(const std::wstring& storageId, const std::wstring& name) {
    wchar_t appData[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathW(nullptr, appData, CSIDL_COMMON_APPDATA, FALSE)) ThrowHr(E_UNEXPECTED);
    std::wstring directory =
        std::wstring(appData) + L"\\Marlo Corporation\\Tandem Content Folder Watcher\\" + storageId;
    std::wstring path = directory + L"\\" + name;
    if (storageId.empty() || name.empty() || path.size() >= MAX_PATH) ThrowHr(E_UNEXPECTED);
    int result = SHCreateDirectoryExW(nullptr, directory.c_str(), nullptr);
    if (result != ERROR_SUCCESS && result != ERROR_FILE_EXISTS && result != ERROR_ALREADY_EXISTS)
        ThrowWin32(static_cast<DWORD>(result));
    return path;
}

}  // namespace tandem
