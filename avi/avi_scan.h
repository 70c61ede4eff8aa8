#pragma once

#include "byte_source.h"
#include "dv_probe.h"
#include "scan_values.h"

namespace tandem::riffscan {

// The whole scan of one file: header lists, derived values, first DV frame.
// Throws ScanError with the factory's code.
ScanValues ScanAvi(ByteSource& source, DvDecoder* decoder);

}  // namespace tandem::riffscan
