#pragma once

namespace tandem::cdbsvc {

// Runs the service under the service control manager until it is stopped;
// the process's exit code.
int RunService();

}  // namespace tandem::cdbsvc
