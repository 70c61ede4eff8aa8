#pragma once

#include <windows.h>

#include <memory>
#include <string>

namespace tandem {

// While it lives, the thread acts as the caller of the COM call in progress.
class CallerImpersonation {
public:
    virtual ~CallerImpersonation() = default;
};

// Impersonates the client of the call in progress; null when the thread is in
// no call from another apartment (the service's own code, which needs no
// check). A client that refuses impersonation fails the call with its error.
std::unique_ptr<CallerImpersonation> ImpersonateComCaller();

// Opens and closes path as a directory, the way the monitor will open it.
// Failures raised with the last error.
void OpenDirectory(const std::wstring& path);

// As OpenDirectory, but only what the caller could open itself: made under
// the caller's impersonation, which ends here. A caller that allows
// identification only is checked against the folder's access list with its
// token, and the folder then opened as the service.
void OpenDirectoryAsCaller(const std::wstring& path, std::unique_ptr<CallerImpersonation> caller);

// Whether token (of any impersonation level) may list path's entries;
// failures raised.
bool MayListDirectory(HANDLE token, const std::wstring& path);

}  // namespace tandem
