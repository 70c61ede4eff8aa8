#include "format_maps.h"

#include "VltLib.h"
#include "error.h"

namespace tandem::protected_audio {

std::wstring LowerExtension(std::wstring_view path) {
    std::wstring_view name = path.substr(path.find_last_of(L"\\/") == std::wstring_view::npos
                                             ? 0
                                             : path.find_last_of(L"\\/") + 1);
    auto dot = name.rfind(L'.');
    if (dot == std::wstring_view::npos) return {};
    std::wstring extension(name.substr(dot));
    CharLowerBuffW(extension.data(), static_cast<DWORD>(extension.size()));
    return extension;
}

void FormatMaps::InstallDefaults() {
    AddExtension(L".vlt", CLSID_VltTagFormat1);
    AddExtension(L".vla", CLSID_VltTagFormat2);
    AddExtension(L".vlm", CLSID_VltTagFormat1);
    AddExtension(L".3gp", CLSID_VltTagFormat3);
}

bool FormatMaps::AddExtension(std::wstring_view extension, const CLSID& clsid) {
    std::wstring key(extension);
    CharLowerBuffW(key.data(), static_cast<DWORD>(key.size()));
    return extensions_.emplace(std::move(key), clsid).second;
}

bool FormatMaps::AddPrefix(std::wstring_view prefix, const CLSID& clsid) {
    return prefixes_.emplace(std::wstring(prefix), clsid).second;
}

void FormatMaps::AddLibrary(const CLSID& clsid, std::wstring file) {
    libraries_.emplace(clsid, std::move(file));
    libraryClasses_.insert(clsid);
}

CLSID FormatMaps::Lookup(std::wstring_view path) const {
    for (const auto& [prefix, clsid] : prefixes_)
        if (path.substr(0, prefix.size()) == prefix) return clsid;
    auto found = extensions_.find(LowerExtension(path));
    if (found == extensions_.end()) ThrowHr(E_FAIL);
    return found->second;
}

const std::wstring* FormatMaps::LibraryOf(const CLSID& clsid) const {
    if (!libraryClasses_.contains(clsid)) return nullptr;
    auto found = libraries_.find(clsid);
    return found == libraries_.end() ? nullptr : &found->second;
}

}  // namespace tandem::protected_audio
