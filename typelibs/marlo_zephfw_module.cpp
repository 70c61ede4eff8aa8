#include "app_ids.h"
#include "typelib_module.h"

namespace tandem::typelibs {

const ModuleIdentity kThisModule{kMarloZephFwAppId};

}  // namespace tandem::typelibs
