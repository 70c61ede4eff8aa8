#pragma once

#include "com/type_library.h"

namespace tandem {

// The watcher interfaces, from MarloZephFw.dll beside the running program.
TypeLibrary& WatcherLibrary();
// The service's classes: the program's own type-library resource, or
// MarloTandem.tlb beside a program that has none. The watcher library is
// loaded first so the classes' references into it resolve unregistered.
TypeLibrary& ServiceClassLibrary();

}  // namespace tandem
