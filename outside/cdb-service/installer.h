#pragma once

namespace tandem::cdbsvc {

// Creates the service (demand start), its parameters key and the command
// object's class registration; Uninstall stops and removes them again.
void Install();
void Uninstall();

}  // namespace tandem::cdbsvc
