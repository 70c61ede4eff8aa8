#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "network_connections.h"

namespace tandem {

// The protected user name and password of a network share, and whether this
// object has connected the share. Plaintext exists only while it is used.
class Credentials {
public:
    // Protects remote name, user id and password under the calling identity.
    // A drive root must be a mapped network drive; else its lookup error is raised.
    static std::unique_ptr<Credentials> Create(const std::wstring& root, const std::wstring& userId,
                                               const std::wstring& password, NetworkConnections& network);

    Credentials(std::vector<BYTE> token, NetworkConnections& network) noexcept;
    Credentials(const Credentials&) = delete;
    Credentials& operator=(const Credentials&) = delete;
    // Disconnects a share connected by this object and wipes the token.
    ~Credentials();

    // The protected blob as stored in the storage list.
    const std::vector<BYTE>& Token() const noexcept { return token_; }
    bool IsConnected() const noexcept { return connected_.load() != 0; }

    // Connects the share unless this object already did; a share whose local
    // device is taken is connected without one.
    void ConnectShare();
    void DisconnectShare();
    // Exact (case-sensitive) comparison with the stored user id and password.
    bool Matches(std::wstring_view userId, std::wstring_view password) const;

private:
    std::vector<BYTE> token_;
    std::atomic<LONG> connected_{0};
    NetworkConnections& network_;
};

}  // namespace tandem
