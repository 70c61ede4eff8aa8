#pragma once

// Streams and scans the tests share.

#include <windows.h>

#include <mmreg.h>
#include <ks.h>
#include <ksmedia.h>

#include <cstring>

#include "avi_scan.h"
#include "riff_writer.h"
#include "scan_error.h"

namespace tandem::riffscan::test {

inline Stream VideoStream(std::uint32_t length = 100, std::uint32_t handler = FourCc("MJPG")) {
    return {Strh({.type = FourCc("vids"), .handler = handler, .length = length, .quality = 7500}),
            BitmapInfo(320, 240, FourCc("MJPG")), std::nullopt};
}

inline Stream AudioStream(std::uint32_t length = 88200) {
    return {Strh({.type = FourCc("auds"), .handler = 0, .length = length, .quality = 0}), Wave(1, 2, 44100, 16),
            std::nullopt};
}

inline Bytes GuidBytes(const GUID& guid) {
    Bytes bytes(sizeof guid);
    std::memcpy(bytes.data(), &guid, sizeof guid);
    return bytes;
}

inline ScanValues Scan(const Bytes& file, DvDecoder* dv = nullptr) {
    SpanSource source(file);
    return ScanAvi(source, dv);
}

inline RiffScanCode CodeOf(const Bytes& file, DvDecoder* dv = nullptr) {
    try {
        Scan(file, dv);
        return kRiffScanOk;
    } catch (const ScanError& error) {
        return error.code();
    }
}

}  // namespace tandem::riffscan::test
