#include "network_connections.h"

#include <winnetwk.h>

namespace tandem {

DWORD WindowsNetworkConnections::AddConnection(const wchar_t* localName, const wchar_t* remoteName,
                                               const wchar_t* userId, const wchar_t* password) {
    NETRESOURCEW resource = {};
    resource.dwType = RESOURCETYPE_DISK;
    resource.lpLocalName = const_cast<wchar_t*>(localName);
    resource.lpRemoteName = const_cast<wchar_t*>(remoteName);
    return WNetAddConnection2W(&resource, password, userId, 0);
}

DWORD WindowsNetworkConnections::CancelConnection(const wchar_t* remoteName) {
    return WNetCancelConnection2W(remoteName, 0, FALSE);
}

DWORD WindowsNetworkConnections::GetConnection(const std::wstring& localName, std::wstring& remoteName) {
    wchar_t buffer[MAX_PATH] = {};
    DWORD length = MAX_PATH;
    DWORD result = WNetGetConnectionW(localName.c_str(), buffer, &length);
    if (result == NO_ERROR) remoteName = buffer;
    return result;
}

NetworkConnections& DefaultNetworkConnections() {
    static WindowsNetworkConnections connections;
    return connections;
}

}  // namespace tandem
