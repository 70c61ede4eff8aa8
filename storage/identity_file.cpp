#include "identity_file.h"

#include <windows.h>

#include <algorithm>
#include <string_view>

#include "error.h"
#include "paths.h"
#include "unique_resource.h"

namespace tandem {

namespace {

constexpr wchar_t kDirectoryName[] = L"Pelion Entertainment";
constexpr wchar_t kFileName[] = L"StorageInfo";
// Generated ids are 43 characters; the margin leaves room for older layouts.
constexpr size_t kMaxIdLength = 64;
// One id with its line end; anything longer is not a line we wrote.
constexpr DWORD kMaxLineBytes = kMaxIdLength + 2;

std::wstring IdentityFile(const std::wstring& root) { return IdentityDirectory(root) + L"\\" + kFileName; }

// An id becomes a registry key name and a directory of the service's data
// folder, and the file comes from any medium: only what the service itself
// writes (hexadecimal digits and hyphens) is taken.
bool IsIdByte(std::byte b) noexcept {
    const auto c = static_cast<unsigned char>(b);
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f') || c == '-';
}

std::string ToThreadCodePage(const std::wstring& text) {
    int bytes = WideCharToMultiByte(CP_THREAD_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                    nullptr, nullptr);
    if (bytes <= 0) ThrowLastError();
    std::string result(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_THREAD_ACP, 0, text.c_str(), static_cast<int>(text.size()), result.data(), bytes, nullptr,
                        nullptr);
    return result;
}

void EnsureDirectory(const std::wstring& directory) {
    if (CreateDirectoryW(directory.c_str(), nullptr)) return;
    DWORD attributes = GetFileAttributesW(directory.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        ThrowWin32(ERROR_WRITE_FAULT);
}

}  // namespace

std::optional<std::wstring> ParseIdentity(std::span<const std::byte> bytes) {
    const auto end = std::find_if(bytes.begin(), bytes.end(),
                                  [](std::byte b) { return b == std::byte{'\r'} || b == std::byte{'\n'}; });
    const auto line = bytes.first(static_cast<size_t>(end - bytes.begin()));
    if (line.empty() || line.size() > kMaxIdLength || !std::all_of(line.begin(), line.end(), IsIdByte))
        return std::nullopt;
    // These characters are the same in every ANSI code page.
    std::wstring id;
    for (std::byte b : line) id.push_back(static_cast<wchar_t>(b));
    return id;
}

std::wstring IdentityDirectory(const std::wstring& root) {
    std::wstring directory = WithTrailingBackslash(root) + kDirectoryName;
    if (root.empty() || directory.size() >= MAX_PATH) ThrowHr(E_UNEXPECTED);
    return directory;
}

std::optional<std::wstring> ReadIdentity(const std::wstring& root) {
    UniqueHandle file(CreateFileW(IdentityFile(root).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return std::nullopt;
    // One byte more than a line may hold, so that an overlong line is seen.
    std::byte bytes[kMaxLineBytes + 1];
    DWORD read = 0;
    if (!ReadFile(file.get(), bytes, sizeof bytes, &read, nullptr)) return std::nullopt;
    return ParseIdentity(std::span<const std::byte>(bytes, read));
}

void WriteIdentity(const std::wstring& root, const std::wstring& id) {
    EnsureDirectory(IdentityDirectory(root));
    UniqueHandle file(CreateFileW(IdentityFile(root).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) ThrowLastError();
    std::string line = ToThreadCodePage(id) + "\r\n";
    DWORD written = 0;
    if (!WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr)) ThrowLastError();
}

void DeleteIdentity(const std::wstring& root) noexcept {
    CatchHr([&] { DeleteFileW(IdentityFile(root).c_str()); });
}

}  // namespace tandem
