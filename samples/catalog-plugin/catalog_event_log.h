#pragma once

#include <windows.h>

#include <string>

namespace tandem::catalog {

// Warnings in the application event log under the source "TandemCatalog".
void ReportDamagedCatalog(const std::wstring& file, size_t damagedLines);
void ReportWriteFailure(const std::wstring& file, HRESULT hr);

}  // namespace tandem::catalog
