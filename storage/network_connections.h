#pragma once

#include <windows.h>

#include <string>

namespace tandem {

// The network-connection calls of the platform. Credentials reach shares only
// through this seam, so the connection rules can be exercised without a network.
class NetworkConnections {
public:
    virtual ~NetworkConnections() = default;
    // Adds a disk connection; localName null connects without a device. Returns the Windows result.
    // Secrets are passed as the caller's own buffers so that no copy outlives them.
    virtual DWORD AddConnection(const wchar_t* localName, const wchar_t* remoteName, const wchar_t* userId,
                                const wchar_t* password) = 0;
    virtual DWORD CancelConnection(const wchar_t* remoteName) = 0;
    // The remote name behind a local device name. Returns the Windows result.
    virtual DWORD GetConnection(const std::wstring& localName, std::wstring& remoteName) = 0;
};

class WindowsNetworkConnections final : public NetworkConnections {
public:
    DWORD AddConnection(const wchar_t* localName, const wchar_t* remoteName, const wchar_t* userId,
                        const wchar_t* password) override;
    DWORD CancelConnection(const wchar_t* remoteName) override;
    DWORD GetConnection(const std::wstring& localName, std::wstring& remoteName) override;
};

NetworkConnections& DefaultNetworkConnections();

}  // namespace tandem
