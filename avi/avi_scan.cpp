#include "avi_scan.h"

#include "avi_headers.h"

namespace tandem::riffscan {

ScanValues ScanAvi(ByteSource& source, DvDecoder* decoder) {
    const AviHeaders headers = ReadAviHeaders(source);
    const StreamChoice choice = ChooseStreams(headers);
    ScanValues values = DeriveValues(headers, choice);
    ProbeDv(source, choice, decoder, values);
    return values;
}

}  // namespace tandem::riffscan
