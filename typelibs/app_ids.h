#pragma once

// Application identifiers of the type-library modules; fixed forever.
namespace tandem::typelibs {

inline constexpr wchar_t kMarloZephFwAppId[] = L"{79D24708-9409-4D62-8F14-0007859AE06F}";
inline constexpr wchar_t kTandemPluginAppId[] = L"{507EA103-2032-4417-BAA3-CF9BDFFFD961}";

}  // namespace tandem::typelibs
