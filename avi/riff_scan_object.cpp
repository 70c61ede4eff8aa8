#include "riff_scan_object.h"

#include <memory>
#include <new>

#include "avi_scan.h"
#include "file_source.h"
#include "scan_error.h"
#include "tessel_decoder.h"

namespace tandem::riffscan {

void CRiffScan::Destroy() { std::unique_ptr<CRiffScan> self(this); }

IRiffScan* CRiffScan::DeletingDestructor(unsigned int flags) {
    IRiffScan* const address = this;
    if (flags & 1) {
        std::unique_ptr<CRiffScan> self(this);
    } else {
        std::destroy_at(this);
    }
    return address;
}

}  // namespace tandem::riffscan

using namespace tandem::riffscan;

extern "C" int CreateRiffScan(const wchar_t* path, IRiffScan** out) {
    if (out == nullptr || *out != nullptr) return kRiffScanOutOfMemory;
    try {
        FileSource file(path);
        TesselDecoder tessel;
        auto reader = std::make_unique<CRiffScan>(ScanAvi(file, &tessel));
        *out = reader.release();
        return kRiffScanOk;
    } catch (const ScanError& error) {
        return error.code();
    } catch (...) {
        // Nothing but allocation throws anything else.
        return kRiffScanOutOfMemory;
    }
}
