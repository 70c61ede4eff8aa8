#pragma once

// The element level of the task journal (task_journal.h), for the journal
// itself and its tests.

#include <windows.h>
#include <msxml.h>

#include "com_ptr.h"
#include "command_task.h"
#include "task_journal.h"

namespace tandem {

// A new, empty DOMDocument (MSXML, in-process) that loads synchronously.
ComPtr<IXMLDOMDocument> CreateJournalDocument();

// The journal element of a task, built through its Serialize. Raised when the
// task cannot be written: no folder, or text XML cannot carry (control
// characters, unpaired surrogates). Control tasks have elements too
// ("StartMonitoring", "CheckAccesibility", "Shutdown", "Dummy"); the journal
// never writes them.
ComPtr<IXMLDOMElement> SerializeTaskElement(IXMLDOMDocument* document, const CommandThreadTaskBase& task);

// The task a journal element describes; null when its name is not one of the
// six folder task elements (names compare exactly, case included). Raises
// E_INVALIDARG for missing or malformed attributes, a malformed property list
// or a folder that findFolder does not know.
TaskPtr TaskFromElement(IXMLDOMNode* node, const FolderLookup& findFolder);

}  // namespace tandem
