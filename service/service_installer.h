#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "unique_resource.h"

namespace tandem {

// Where installation problems are told. Registration runs from installers
// with nobody to close a box, so the service's own sink writes to standard
// error instead of raising a modal message box.
class RegistrationMessages {
public:
    virtual ~RegistrationMessages() = default;
    virtual void Show(std::wstring_view text, std::wstring_view caption) = 0;
};

class ConsoleRegistrationMessages final : public RegistrationMessages {
public:
    void Show(std::wstring_view text, std::wstring_view caption) override;
};

struct ServiceIdentity {
    std::wstring name;
    std::wstring displayName;
    std::wstring modulePath;
};

std::wstring EventSourceKey(const std::wstring& serviceName);

bool IsServiceInstalled(const std::wstring& name);
// Nothing happens when the service exists. Failures are told and raised.
void InstallService(const ServiceIdentity& service, RegistrationMessages& messages);
// Stops and deletes the service and its event source; a missing service is
// no failure, one that will not stop is told and deleted all the same.
void RemoveService(const std::wstring& name, RegistrationMessages& messages);

}  // namespace tandem
