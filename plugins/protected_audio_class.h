#pragma once

#include <guiddef.h>

namespace tandem {

// The content-source class of the protected-audio module
// ("ZephCsVltFile.zephcs"), which that module publishes.
inline constexpr CLSID kProtectedAudioClassId = {
    0xc3a5e0d2, 0x7b41, 0x4f6a, {0x9e, 0x18, 0x5d, 0x2c, 0x8b, 0x0f, 0x6a, 0x11}};

}  // namespace tandem
