#include "thumbnail_path.h"

#include <shlwapi.h>

#include <vector>

#include "error.h"
#include "unique_resource.h"

namespace tandem {

namespace {

struct Md5Context {
    ULONG count[2];
    ULONG state[4];
    BYTE buffer[64];
    BYTE digest[16];
};

// Cryptdll.dll, loaded on first use and kept for the process's lifetime.
class Md5Library {
public:
    static const Md5Library& Instance() {
        static const Md5Library library;
        return library;
    }

    void (WINAPI* init)(Md5Context*) = nullptr;
    void (WINAPI* update)(Md5Context*, const BYTE*, UINT) = nullptr;
    void (WINAPI* final)(Md5Context*) = nullptr;

private:
    // Only the system folder is searched: a planted copy beside the service
    // must not be loaded.
    Md5Library() : module_(LoadLibraryExW(L"Cryptdll.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        if (!module_) ThrowLastError();
        Bind(init, "MD5Init");
        Bind(update, "MD5Update");
        Bind(final, "MD5Final");
    }

    template <class F>
    void Bind(F& function, const char* name) {
        function = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module_.get(), name)));
        if (!function) ThrowLastError();
    }

    UniqueModule module_;
};

// Creates the last folder of the path, hidden, when it is missing.
void EnsureHiddenFolder(const std::wstring& folder) {
    if (GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES) return;
    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) ThrowLastError();
    DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesW(folder.c_str(), attributes | FILE_ATTRIBUTE_HIDDEN);
}

}  // namespace

Md5Digest Md5(const void* data, size_t size) {
    if (size > MAXUINT) ThrowHr(E_INVALIDARG);
    const Md5Library& library = Md5Library::Instance();
    Md5Context context{};
    library.init(&context);
    library.update(&context, static_cast<const BYTE*>(data), static_cast<UINT>(size));
    library.final(&context);
    Md5Digest digest;
    std::copy(std::begin(context.digest), std::end(context.digest), digest.begin());
    return digest;
}

std::wstring ThumbnailFileName(std::wstring_view pathBelowRoot, LONG propertyId) {
    std::vector<BYTE> bytes;
    bytes.reserve(pathBelowRoot.size() * 2 + 4);
    for (wchar_t unit : pathBelowRoot) {
        bytes.push_back(static_cast<BYTE>(unit & 0xFF));
        bytes.push_back(static_cast<BYTE>((unit >> 8) & 0xFF));
    }
    auto id = static_cast<ULONG>(propertyId);
    for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<BYTE>((id >> shift) & 0xFF));

    constexpr wchar_t kHex[] = L"0123456789ABCDEF";
    std::wstring name;
    for (BYTE b : Md5(bytes.data(), bytes.size())) {
        name.push_back(kHex[b >> 4]);
        name.push_back(kHex[b & 0x0F]);
    }
    return name + L".jpg";
}

std::wstring ThumbnailPath(std::wstring_view contentPath, LONG propertyId, std::wstring_view subPath) {
    std::wstring path(contentPath);
    const wchar_t* rest = PathSkipRootW(path.c_str());
    size_t rootLength = rest ? static_cast<size_t>(rest - path.c_str()) : 0;
    std::wstring directory;
    if (rootLength > 0) {
        directory = path.substr(0, rootLength);
        if (directory.back() != L'\\') directory.push_back(L'\\');
        directory += subPath;
        EnsureHiddenFolder(directory);
    }
    return directory + L"\\" + ThumbnailFileName(std::wstring_view(path).substr(rootLength), propertyId);
}

}  // namespace tandem
