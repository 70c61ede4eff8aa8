#include "catalog_files.h"

#include <shlobj.h>

#include <cstdio>

#include "error.h"
#include "unique_resource.h"

namespace tandem::catalog {

std::wstring DefaultCatalogDirectory() {
    wchar_t appData[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathW(nullptr, appData, CSIDL_COMMON_APPDATA, FALSE)) ThrowHr(E_UNEXPECTED);
    const std::wstring directory = std::wstring(appData) + L"\\Marlo Corporation\\Tandem Catalog";
    const int result = SHCreateDirectoryExW(nullptr, directory.c_str(), nullptr);
    if (result != ERROR_SUCCESS && result != ERROR_FILE_EXISTS && result != ERROR_ALREADY_EXISTS)
        ThrowWin32(static_cast<DWORD>(result));
    return directory + L"\\";
}

std::wstring CatalogFileName(const std::wstring& directory, const std::wstring& root) {
    // FNV-1a over the UTF-16 units of the upper-case path.
    std::wstring upper = root;
    CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size()));
    unsigned long long hash = 14695981039346656037ull;
    for (wchar_t c : upper) {
        hash ^= static_cast<unsigned short>(c);
        hash *= 1099511628211ull;
    }
    wchar_t name[32];
    std::swprintf(name, 32, L"%016llX.catalog", hash);
    return directory + name;
}

std::vector<std::wstring> CatalogFiles(const std::wstring& directory) {
    std::vector<std::wstring> files;
    WIN32_FIND_DATAW found{};
    UniqueFindHandle find(FindFirstFileW((directory + L"*.catalog").c_str(), &found));
    if (!find) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return files;
        ThrowWin32(error);
    }
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) files.push_back(directory + found.cFileName);
    } while (FindNextFileW(find.get(), &found));
    return files;
}

std::optional<std::vector<std::byte>> ReadWholeFile(const std::wstring& path) {
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return std::nullopt;
        ThrowWin32(error);
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) ThrowLastError();
    std::vector<std::byte> bytes(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD read = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
        if (!ReadFile(file.get(), bytes.data() + done, chunk, &read, nullptr)) ThrowLastError();
        if (read == 0) break;
        done += read;
    }
    bytes.resize(done);
    return bytes;
}

void ReplaceFile(const std::wstring& path, const std::string& content) {
    const std::wstring beside = path + L".new";
    {
        UniqueHandle file(
            CreateFileW(beside.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) ThrowLastError();
        size_t done = 0;
        while (done < content.size()) {
            DWORD written = 0;
            const DWORD chunk = static_cast<DWORD>(std::min<size_t>(content.size() - done, 1u << 30));
            if (!WriteFile(file.get(), content.data() + done, chunk, &written, nullptr)) ThrowLastError();
            done += written;
        }
        if (!FlushFileBuffers(file.get())) ThrowLastError();
    }
    if (!MoveFileExW(beside.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        ThrowLastError();
}

void RemoveFile(const std::wstring& path) {
    if (!DeleteFileW(path.c_str())) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) ThrowWin32(error);
    }
}

}  // namespace tandem::catalog
