#include "identity_file.h"

#include <windows.h>

#include <string_view>

#include "error.h"
#include "paths.h"
#include "unique_resource.h"

namespace tandem {

namespace {

constexpr wchar_t kDirectoryName[] = L"Pelion Entertainment";
constexpr wchar_t kFileName[] = L"StorageInfo";
// An id names a registry sub-key, whose names are at most this long.
constexpr size_t kMaxIdLength = 255;
// Enough for the longest id in any multi-byte code page, plus its line end.
constexpr DWORD kMaxLineBytes = kMaxIdLength * 4 + 2;

std::wstring IdentityFile(const std::wstring& root) { return IdentityDirectory(root) + L"\\" + kFileName; }

bool IsUsableId(std::wstring_view id) {
    if (id.empty() || id.size() > kMaxIdLength) return false;
    for (wchar_t c : id) {
        if (c < L' ' || c == L'\\') return false;
    }
    return true;
}

std::wstring FromThreadCodePage(std::string_view bytes) {
    if (bytes.empty()) return {};
    int units = MultiByteToWideChar(CP_THREAD_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (units <= 0) return {};
    std::wstring text(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(CP_THREAD_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), units);
    return text;
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

std::wstring IdentityDirectory(const std::wstring& root) {
    std::wstring directory = WithTrailingBackslash(root) + kDirectoryName;
    if (root.empty() || directory.size() >= MAX_PATH) ThrowHr(E_UNEXPECTED);
    return directory;
}

std::optional<std::wstring> ReadIdentity(const std::wstring& root) {
    UniqueHandle file(CreateFileW(IdentityFile(root).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return std::nullopt;
    std::string bytes(kMaxLineBytes, '\0');
    DWORD read = 0;
    if (!ReadFile(file.get(), bytes.data(), kMaxLineBytes, &read, nullptr)) return std::nullopt;
    bytes.resize(read);
    size_t end = bytes.find_first_of("\r\n");
    // A line that does not end within the limit is no id of ours.
    if (end == std::string::npos && read == kMaxLineBytes) return std::nullopt;
    std::wstring id = FromThreadCodePage(std::string_view(bytes).substr(0, end));
    if (!IsUsableId(id)) return std::nullopt;
    return id;
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
