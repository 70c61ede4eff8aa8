#pragma once

// Replace a file's or directory's access-control list with the guard list:
// local system all rights; administrators deletion and synchronisation only
// (SetAccessGuard) or all rights (SetFullAccessGuard). Non-zero on success;
// 0 with the last error set on failure, the file then left as it was.
#ifdef __cplusplus
extern "C" {
#endif

__declspec(dllexport) int SetAccessGuard(const char* path);
__declspec(dllexport) int SetFullAccessGuard(const char* path);

#ifdef __cplusplus
}
#endif
