#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "change_notifiable.h"
#include "console_user.h"
#include "pending_changes.h"
#include "sync_lock.h"
#include "thread.h"
#include "unique_resource.h"

namespace tandem {

// Lets the changes of one storage settle and hands each settled change to
// the listeners: a file saved in several writes, copied, renamed in place or
// created and deleted again becomes one call, or none.
class CChangeNotificator {
public:
    static constexpr DWORD kSettleDelay = 2000;

    struct Options {
        DWORD settle = kSettleDelay;
        // Set for a network storage: the thread then runs as the console user.
        ConsoleTokenSource* impersonate = nullptr;
        FileProbe* probe = &DefaultFileProbe();
    };

    // The listeners are fixed for the notificator's life and must outlive it.
    CChangeNotificator(std::vector<IChangeNotifiable*> listeners, Options options);
    CChangeNotificator(std::vector<IChangeNotifiable*> listeners) : CChangeNotificator(std::move(listeners), Options{}) {}
    CChangeNotificator(const CChangeNotificator&) = delete;
    CChangeNotificator& operator=(const CChangeNotificator&) = delete;
    ~CChangeNotificator();

    // From a watch: the first length bytes of its notification buffer.
    void AddRecords(LONG directory, const BYTE* buffer, DWORD length, const std::wstring& root,
                    const SharedPtr<TandemPlugin>& plugins);
    // Entries already parsed (used by AddRecords).
    void AddEntries(std::vector<ChangeEntry> entries);

    void Start();
    // Waits for the thread; pending changes stay for the next start.
    void Stop();
    bool IsRunning() const noexcept { return thread_.IsRunning(); }

private:
    void Run();
    DWORD MergeBatch();
    void DeliverOne(const PendingChange& change) noexcept;

    Thread thread_;
    UniqueHandle stop_;
    UniqueHandle data_;
    const Options options_;
    CSyncLock lock_;
    std::vector<ChangeEntry> incoming_;
    PendingChanges pending_;
    const std::vector<IChangeNotifiable*> listeners_;
};

}  // namespace tandem
