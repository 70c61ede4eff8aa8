#include "registry_script.h"

#include <optional>

#include "error.h"
#include "registry.h"
#include "registry_script_parser.h"

namespace tandem {

namespace {

const wchar_t kUserClasses[] = L"Software\\Classes";

// A predefined root, or a key opened below one for the user scope.
struct RootKey {
    HKEY handle = nullptr;
    RegKey owned;
};

HKEY PredefinedRoot(ScriptRoot root) noexcept {
    switch (root) {
    case ScriptRoot::LocalMachine: return HKEY_LOCAL_MACHINE;
    case ScriptRoot::CurrentUser: return HKEY_CURRENT_USER;
    case ScriptRoot::ClassesRoot: break;
    }
    return HKEY_CLASSES_ROOT;
}

bool IsUserClasses(ScriptRoot root, RegistrationScope scope) noexcept {
    return root == ScriptRoot::ClassesRoot && scope == RegistrationScope::User;
}

RootKey CreateRoot(ScriptRoot root, RegistrationScope scope) {
    if (!IsUserClasses(root, scope)) return {PredefinedRoot(root), {}};
    RegKey key = CreateKey(HKEY_CURRENT_USER, kUserClasses);
    HKEY handle = key.get();
    return {handle, std::move(key)};
}

std::optional<RootKey> OpenRoot(ScriptRoot root, RegistrationScope scope) {
    if (!IsUserClasses(root, scope)) return RootKey{PredefinedRoot(root), {}};
    auto key = TryOpenKey(HKEY_CURRENT_USER, kUserClasses, kKeyReadWrite);
    if (!key) return std::nullopt;
    HKEY handle = key->get();
    return RootKey{handle, std::move(*key)};
}

void WriteData(HKEY key, const wchar_t* name, const ScriptData& data) {
    if (const auto* text = std::get_if<std::wstring>(&data)) {
        WriteString(key, name, *text);
    } else {
        WriteDword(key, name, std::get<DWORD>(data));
    }
}

void WriteKey(HKEY parent, const ScriptKey& script) {
    if (script.modifier == KeyModifier::ForceRemove) DeleteKeyTree(parent, script.name);
    RegKey key = CreateKey(parent, script.name);
    if (script.defaultValue) WriteData(key.get(), nullptr, *script.defaultValue);
    for (const ScriptValue& value : script.values) WriteData(key.get(), value.name.c_str(), value.data);
    for (const ScriptKey& subkey : script.subkeys) WriteKey(key.get(), subkey);
}

void RemoveValueIfPresent(HKEY key, const std::wstring& name) {
    LONG error = RegDeleteValueW(key, name.c_str());
    if (error != ERROR_FILE_NOT_FOUND) CheckWin32(error);
}

void RemoveKey(HKEY parent, const ScriptKey& script) {
    if (script.modifier != KeyModifier::NoRemove) {
        DeleteKeyTree(parent, script.name);
        return;
    }
    auto key = TryOpenKey(parent, script.name, kKeyReadWrite);
    if (!key) return;
    for (const ScriptValue& value : script.values) RemoveValueIfPresent(key->get(), value.name);
    for (const ScriptKey& subkey : script.subkeys) RemoveKey(key->get(), subkey);
}

std::wstring WideFromUtf8(std::string_view bytes) {
    if (bytes.empty()) return {};
    int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                                     nullptr, 0);
    if (length == 0) ThrowLastError();
    std::wstring text(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), text.data(),
                        length);
    return text;
}

std::wstring DecodeScript(std::string_view bytes) {
    constexpr std::string_view kUtf16Mark("\xFF\xFE", 2);
    constexpr std::string_view kUtf8Mark("\xEF\xBB\xBF", 3);
    std::wstring text;
    if (bytes.starts_with(kUtf16Mark)) {
        if (bytes.size() % 2 != 0) ThrowWin32(ERROR_INVALID_DATA);
        bytes.remove_prefix(kUtf16Mark.size());
        text.resize(bytes.size() / 2);
        bytes.copy(reinterpret_cast<char*>(text.data()), bytes.size());
    } else {
        if (bytes.starts_with(kUtf8Mark)) bytes.remove_prefix(kUtf8Mark.size());
        text = WideFromUtf8(bytes);
    }
    // Resource compilers may store a terminator with the text.
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    return text;
}

}  // namespace

std::wstring LoadRegistryScript(HMODULE module, UINT resourceId) {
    HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(resourceId), L"REGISTRY");
    if (!resource) ThrowLastError();
    HGLOBAL loaded = LoadResource(module, resource);
    if (!loaded) ThrowLastError();
    const char* data = static_cast<const char*>(LockResource(loaded));
    if (!data) ThrowLastError();
    return DecodeScript({data, SizeofResource(module, resource)});
}

void RegisterScript(std::wstring_view script, const ScriptReplacements& replacements, RegistrationScope scope) {
    for (const ScriptRootBlock& block : ScriptParser(script, replacements).Parse()) {
        RootKey root = CreateRoot(block.root, scope);
        for (const ScriptKey& key : block.keys) WriteKey(root.handle, key);
    }
}

void UnregisterScript(std::wstring_view script, const ScriptReplacements& replacements, RegistrationScope scope) {
    for (const ScriptRootBlock& block : ScriptParser(script, replacements).Parse()) {
        auto root = OpenRoot(block.root, scope);
        if (!root) continue;
        for (const ScriptKey& key : block.keys) RemoveKey(root->handle, key);
    }
}

}  // namespace tandem
