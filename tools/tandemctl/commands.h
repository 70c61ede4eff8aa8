#pragma once

#include "MarloTandem.h"
#include "MarloZephFw.h"
#include "arguments.h"
#include "com_ptr.h"

namespace tandem::ctl {

// Each command returns the program's exit code and raises CommandError.
int RegisterCommand(const ParsedCommand& command);
int UnregisterCommand(const ParsedCommand& command);
int UpdateCommand(const ParsedCommand& command);
int RefreshCommand(const ParsedCommand& command);
int ListCommand(const ParsedCommand& command);
int StatusCommand(const ParsedCommand& command);
int StoragesCommand(const ParsedCommand& command);
int AddStorageCommand(const ParsedCommand& command);
int RemoveStorageCommand(const ParsedCommand& command);
int WatchCommand(const ParsedCommand& command);
int CatalogCommand(const ParsedCommand& command);
int PropsCommand(const ParsedCommand& command);
int InstallCommand(const ParsedCommand& command);
int UninstallCommand(const ParsedCommand& command);
int PluginCommand(const ParsedCommand& command);

// The running service's objects; a service that is not there is a CommandError.
ComPtr<IFolderWatcher3> ConnectWatcher();
ComPtr<ITnStorageManager> ConnectStorageManager();

}  // namespace tandem::ctl
