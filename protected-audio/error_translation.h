#pragma once

#include <windows.h>

namespace tandem::protected_audio {

// The framework's code for a result of the protected-audio library.
HRESULT TranslateLibraryResult(HRESULT hr) noexcept;

// The result a probe's flag word stands for: a failure when bit 0x8000 is
// set, S_OK otherwise.
HRESULT TranslateProbeFlags(USHORT flags) noexcept;

inline constexpr USHORT kProbeFailedBit = 0x8000;

// Framework codes of the object's own checks.
inline constexpr HRESULT kUnknownProperty = static_cast<HRESULT>(0x80040408);
inline constexpr HRESULT kReadOnlyProperty = static_cast<HRESULT>(0x80040409);
inline constexpr HRESULT kNotThisSource = static_cast<HRESULT>(0x80040400);

}  // namespace tandem::protected_audio
