#include "service_automation.h"

#include "change_notificators.h"
#include "command_thread.h"
#include "error.h"
#include "service_singletons.h"

namespace tandem {

namespace {

// Storages of the service always run on command threads; one without is not ready.
CommandThread& ThreadOf(const StorageInfo& storage) {
    CommandThread* const thread = CommandThreadOf(storage);
    if (!thread) ThrowHr(E_UNEXPECTED);
    return *thread;
}

}  // namespace

StorageManager& ServiceAutomation::Storages() { return singletons_.Storages(); }

RegisteredFolderManager& ServiceAutomation::Folders() { return singletons_.Folders(); }

EventListenerManager& ServiceAutomation::StorageManagerEvents() { return singletons_.Listeners().storageManager; }

EventListenerManager& ServiceAutomation::FolderWatcherEvents() { return singletons_.Listeners().folderWatcher; }

EventListenerManager& ServiceAutomation::RegisteredFolderEvents() { return singletons_.Listeners().registeredFolder; }

bool ServiceAutomation::IsStorageBusy(StorageInfo& storage) {
    const CommandThread* const thread = CommandThreadOf(storage);
    return thread && thread->IsBusy();
}

void ServiceAutomation::PostRefreshFolder(StorageInfo& storage, const SharedPtr<RegisteredFolder>& folder,
                                          const std::wstring& path) {
    ThreadOf(storage).PostRefreshFolder(folder, path);
}

void ServiceAutomation::CancelFolderTasks(StorageInfo& storage, LONG operation,
                                          const SharedPtr<RegisteredFolder>& folder, const std::wstring& path) {
    ThreadOf(storage).CancelFolderTasks(operation, folder, path);
}

}  // namespace tandem
