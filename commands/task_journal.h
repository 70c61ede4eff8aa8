#pragma once

#include <functional>
#include <string>
#include <vector>

#include "command_task.h"
#include "command_thread_host.h"
#include "registered_folder.h"
#include "shared_ptr.h"

namespace tandem {

// The task journal files: each worker keeps its pending folder
// tasks across restarts in an XML file of the storage's data directory,
// written and read with the MSXML DOM. Call on a thread that joined COM.

// Null when no registered folder has the id.
using FolderLookup = std::function<SharedPtr<RegisteredFolder>(const std::wstring& folderId)>;

// "Task.xml" for the main worker, "UnRegister.xml" for the unregister worker,
// in the storage's data directory, which is created on the way; raises
// E_UNEXPECTED or the directory-creation error.
std::wstring TaskJournalPath(const std::wstring& storageId, CommandWorker worker);

// The tasks written last time, in order. A missing, unreadable or malformed
// file gives no tasks; an element that is not one of the six folder task
// elements, has missing or malformed attributes, or names a folder findFolder
// does not know is dropped alone. Only the path composition raises; the file
// is left as it is.
std::vector<TaskPtr> LoadTaskJournal(const std::wstring& storageId, CommandWorker worker, const FolderLookup& findFolder);

// Replaces the journal with these tasks, in order. Control tasks and tasks
// that cannot be written are left out; an empty list writes an empty "Tasks"
// element. A failure is raised and leaves the previous file, or none.
void SaveTaskJournal(const std::wstring& storageId, CommandWorker worker, const std::vector<TaskPtr>& tasks);

}  // namespace tandem
