#include "safe_array.h"

#include "error.h"

namespace tandem {

SafeArrayAccess::SafeArrayAccess(SAFEARRAY* array) : array_(array) { CheckHr(::SafeArrayLock(array)); }

}  // namespace tandem
