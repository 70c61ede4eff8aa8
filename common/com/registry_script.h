#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tandem {

// Where HKCR of a script lands: HKEY_CLASSES_ROOT, or the current user's
// HKEY_CURRENT_USER\Software\Classes. HKLM and HKCU are taken as written.
enum class RegistrationScope { Machine, User };

// %NAME% in names and values is replaced by the value paired with NAME
// (exact match); %% stands for a literal %.
using ScriptReplacements = std::vector<std::pair<std::wstring, std::wstring>>;

// Raised for a malformed script or an unknown %NAME%; nothing is written then.
inline constexpr HRESULT TANDEM_E_REGISTRY_SCRIPT = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0xA201);

// The text of a resource of type "REGISTRY": UTF-8 (an optional byte-order
// mark skipped), or UTF-16 when it starts with the little-endian mark.
std::wstring LoadRegistryScript(HMODULE module, UINT resourceId);

// Writes every key and value of the script. ForceRemove keys are deleted
// with their subtree before they are written.
void RegisterScript(std::wstring_view script, const ScriptReplacements& replacements, RegistrationScope scope);

// Deletes every key of the script with its subtree, except NoRemove keys:
// of those only the named values the script sets go, and their subkeys are
// visited in turn. Keys that are not there are passed over.
void UnregisterScript(std::wstring_view script, const ScriptReplacements& replacements, RegistrationScope scope);

}  // namespace tandem
