#include "storage_types.h"

namespace tandem {

TnStorageTypes StorageTypeOfDrive(UINT driveType) noexcept {
    switch (driveType) {
        case DRIVE_REMOVABLE: return tnStorageType_Removable;
        case DRIVE_FIXED: return tnStorageType_Fixed;
        case DRIVE_REMOTE: return tnStorageType_Remote;
        case DRIVE_CDROM: return tnStorageType_CDROM;
        case DRIVE_RAMDISK: return tnStorageType_RAMDisk;
        default: return tnStorageType_Unknown;
    }
}

}  // namespace tandem
