#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "com/registry_script.h"
#include "server_classes.h"

namespace tandem {

inline constexpr wchar_t kTandemAppId[] = L"{93AACA54-AA97-458B-84FD-BE1009D152D0}";

// The application id's keys under HKCR\AppID (or the user's classes).
void RegisterAppId(HMODULE module, RegistrationScope scope);
void UnregisterAppId(HMODULE module, RegistrationScope scope);

// "LocalService" under the application id marks the server as service-hosted.
void SetLocalService(const std::wstring& serviceName);
void ClearLocalService();
// Raises when the application id's key cannot be opened.
std::optional<std::wstring> ReadLocalService();

// The machine's empty storage and folder lists and the watcher's settings key,
// each made only when missing, so a fresh machine's service can start; they
// hold the users' data and outlive unregistration.
void CreateProductKeys();

// The classes' scripts and the type library in the module's resources.
void RegisterServerClasses(HMODULE module, const std::vector<ServerClass>& classes, RegistrationScope scope);
void UnregisterServerClasses(HMODULE module, const std::vector<ServerClass>& classes, RegistrationScope scope);

}  // namespace tandem
