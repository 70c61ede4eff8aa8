#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "change_notifiable.h"

namespace tandem {

// Appends one entry per FILE_NOTIFY_INFORMATION record of the buffer, the
// name joined to root. The chain ends at a zero offset, at an offset that
// does not move forward, or at a record that would run past length; records
// without a name are skipped.
void ParseNotifyBuffer(const BYTE* buffer, DWORD length, const std::wstring& root, LONG directory,
                       const SharedPtr<TandemPlugin>& plugins, std::vector<ChangeEntry>& out);

}  // namespace tandem
