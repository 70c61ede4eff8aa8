#pragma once

#include <windows.h>
#include <oaidl.h>

#include <map>
#include <string>

#include "safe_array.h"

namespace tandem {

// Property identifier to string: a folder's default properties.
using PropertyMap = std::map<LONG, std::wstring>;

// A VT_RECORD array of TandemProperty, one element per entry in identifier
// order, each value a VT_BSTR copy. An empty map gives an empty array, never
// a null one.
SafeArray MakePropertyArray(IRecordInfo* record, const PropertyMap& properties);

}  // namespace tandem
