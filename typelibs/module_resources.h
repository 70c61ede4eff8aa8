#pragma once

// Resources every type-library module carries beside its type library (1).
#define IDS_MODULE_NAME 100
#define IDR_MODULE_REGISTRY 101
