#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "error.h"
#include "registry.h"
#include "network_connections.h"
#include "storage_events.h"
#include "storage_info.h"
#include "storage_worker.h"

namespace tandem::test {

// Records connection calls; answers from scripted results.
class FakeNetwork : public NetworkConnections {
public:
    struct Add {
        std::wstring local;  // "(none)" when no local name was given
        std::wstring remote, user, password;
    };

    DWORD AddConnection(const wchar_t* localName, const wchar_t* remoteName, const wchar_t* userId,
                        const wchar_t* password) override {
        adds.push_back({localName ? localName : L"(none)", remoteName, userId, password});
        if (addResults.empty()) return NO_ERROR;
        DWORD result = addResults.front();
        addResults.erase(addResults.begin());
        return result;
    }
    DWORD CancelConnection(const wchar_t* remoteName) override {
        cancels.push_back(remoteName);
        return NO_ERROR;
    }
    DWORD GetConnection(const std::wstring& localName, std::wstring& remoteName) override {
        lookups.push_back(localName);
        if (mappedTo.empty()) return ERROR_NOT_CONNECTED;
        remoteName = mappedTo;
        return NO_ERROR;
    }

    std::vector<DWORD> addResults;
    std::wstring mappedTo;
    std::vector<Add> adds;
    std::vector<std::wstring> cancels;
    std::vector<std::wstring> lookups;
};

// Counts what the storage asks of its worker.
class FakeWorker : public StorageWorker {
public:
    struct Counts {
        int starts = 0;
        int stops = 0;
        bool failStart = false;
    };
    explicit FakeWorker(Counts& counts) : counts_(counts) {}
    void Start() override {
        if (counts_.failStart) ThrowHr(E_FAIL);
        ++counts_.starts;
    }
    void Stop() override { ++counts_.stops; }
    bool IsRunning() const override { return counts_.starts > counts_.stops; }

private:
    Counts& counts_;
};

// DPAPI finds its providers under HKLM, which a registry sandbox hides: the
// real key is opened before the sandbox and copied into it afterwards.
class CryptographyProviders {
public:
    static constexpr wchar_t kKey[] = L"SOFTWARE\\Microsoft\\Cryptography";
    CryptographyProviders() : real_(OpenKey(HKEY_LOCAL_MACHINE, kKey)) {}
    void CopyIntoSandbox() const {
        RegKey copy = CreateKey(HKEY_LOCAL_MACHINE, kKey);
        CheckWin32(RegCopyTreeW(real_.get(), nullptr, copy.get()));
    }

private:
    RegKey real_;
};

class RecordingStorageSink : public StorageEventSink {
public:
    void OnStorageEvent(TnStorageEventTypes type, const SharedPtr<StorageInfo>& storage) override {
        events.emplace_back(type, storage->UniqueID());
    }
    std::vector<std::pair<TnStorageEventTypes, std::wstring>> events;
};

}  // namespace tandem::test
