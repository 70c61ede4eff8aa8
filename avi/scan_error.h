#pragma once

#include <exception>

#include "riff_scan.h"

namespace tandem::riffscan {

// A scan that cannot go on, with the code the factory returns for it.
class ScanError : public std::exception {
public:
    explicit ScanError(RiffScanCode code) noexcept : code_(code) {}
    RiffScanCode code() const noexcept { return code_; }
    const char* what() const noexcept override { return "AVI scan failed"; }

private:
    RiffScanCode code_;
};

}  // namespace tandem::riffscan
