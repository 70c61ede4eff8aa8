#pragma once

#include <guiddef.h>

// The class the registration tests register from ContentSourceTestModule.zephcs.
inline constexpr CLSID kTestContentSourceClass = {
    0x5d0e7f61, 0x2a9b, 0x4c3e, {0x8f, 0x41, 0x0b, 0x6d, 0x95, 0x27, 0xe3, 0x10}};
