#pragma once

#include <windows.h>

#include "MarloZephFw.h"

namespace tandem {

// The storage type of a drive type as GetDriveTypeW reports it.
TnStorageTypes StorageTypeOfDrive(UINT driveType) noexcept;

}  // namespace tandem
