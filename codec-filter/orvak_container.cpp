#include "orvak_container.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cwctype>

#include "orvak_guids.h"

namespace tandem::orvak {

namespace {

constexpr double kUnitsPerSample = 10'000'000.0 / kSampleRate;

std::uint32_t BigEndian(std::span<const std::byte> bytes) noexcept {
    std::uint32_t value = 0;
    for (std::byte b : bytes) value = (value << 8) | std::to_integer<std::uint32_t>(b);
    return value;
}

bool HasMagic(std::span<const std::byte> bytes, std::string_view magic) noexcept {
    return bytes.size() >= magic.size() &&
           std::equal(magic.begin(), magic.end(), bytes.begin(),
                      [](char c, std::byte b) { return static_cast<std::byte>(c) == b; });
}

bool EqualsIgnoringCase(std::wstring_view a, std::wstring_view b) noexcept {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) {
               return std::towlower(x) == std::towlower(y);
           });
}

template <class T>
void Put(std::array<std::byte, kFormatBlockSize>& block, std::size_t offset, const T& value) noexcept {
    std::memcpy(block.data() + offset, &value, sizeof value);
}

}  // namespace

std::uint32_t Header::FrameSize() const noexcept {
    const std::uint32_t size = 8 * (codecWord & 0x3FF);
    return Codec() == 1 ? size + 8 : size;
}

bool HasOrvakExtension(std::wstring_view fileName) noexcept {
    const auto dot = fileName.find_last_of(L'.');
    if (dot == std::wstring_view::npos) return false;
    const std::wstring_view extension = fileName.substr(dot);
    if (extension.find_first_of(L"\\/") != std::wstring_view::npos) return false;
    return EqualsIgnoringCase(extension, L".vla") || EqualsIgnoringCase(extension, L".ov3");
}

std::optional<std::uint64_t> FindHeader(std::span<const std::byte> lead) noexcept {
    if (HasMagic(lead, "EO3")) return 0;
    if (!HasMagic(lead, "ID3") && !HasMagic(lead, "eo3")) return std::nullopt;
    if (lead.size() < kLeadSize) return std::nullopt;
    std::uint64_t tagSize = 0;
    for (std::byte b : lead.subspan(6, 4)) tagSize = (tagSize << 7) | std::to_integer<std::uint64_t>(b & std::byte{0x7F});
    return tagSize + kLeadSize;
}

std::optional<Header> ParseHeader(std::span<const std::byte> bytes, std::uint64_t headerStart,
                                  std::uint64_t streamLength) noexcept {
    if (bytes.size() < kHeaderSize || !HasMagic(bytes, "EO3")) return std::nullopt;
    Header header;
    std::copy_n(bytes.begin(), kHeaderSize, header.bytes.begin());
    header.codecWord = BigEndian(bytes.subspan(32, 4));
    const std::uint32_t headerLength = BigEndian(bytes.subspan(4, 2));
    if (BigEndian(bytes.subspan(6, 2)) != 0xFFFF) return std::nullopt;
    if (header.Codec() > 1 || header.RateIndex() != 1) return std::nullopt;
    // Without a frame size no time can be computed, and a header shorter than
    // its own fields would hand those fields on as audio.
    if (header.FrameSize() == 0 || headerLength < kHeaderSize) return std::nullopt;
    header.dataOffset = headerStart + headerLength;
    if (header.dataOffset > streamLength) return std::nullopt;
    return header;
}

std::int64_t BytesToMediaTime(const Header& header, std::int64_t bytes) noexcept {
    const std::uint32_t frameSize = header.FrameSize();
    if (frameSize == 0 || bytes <= 0) return 0;
    const std::int64_t frames = bytes / frameSize;
    const double time = static_cast<double>(frames) * (header.SamplesPerFrame() * kUnitsPerSecond / double{kSampleRate});
    return time > 0 ? static_cast<std::int64_t>(time) : 0;
}

std::int64_t MediaTimeToPosition(const Header& header, std::int64_t time, std::int64_t streamLength) noexcept {
    const auto dataOffset = static_cast<std::int64_t>(header.dataOffset);
    const std::uint32_t frameSize = header.FrameSize();
    if (time <= 0 || frameSize == 0) return dataOffset;
    const double bytes = static_cast<double>(time) / (header.SamplesPerFrame() * kUnitsPerSample) * frameSize;
    const double limit = static_cast<double>(std::max<std::int64_t>(streamLength - dataOffset, 0));
    const auto audioBytes = static_cast<std::int64_t>(std::min(bytes, limit));
    return dataOffset + audioBytes / frameSize * frameSize;
}

ReadStart AlignRead(std::int64_t wanted, std::int64_t alignment) noexcept {
    const std::int64_t skip = alignment > 1 ? wanted % alignment : 0;
    return {wanted - skip, skip};
}

std::optional<std::array<std::byte, kFormatBlockSize>> MakeFormatBlock(const Header& header) noexcept {
    const auto channels = static_cast<std::uint16_t>(header.Channels());
    std::uint32_t mask = 0;
    if (channels == 2) {
        mask = 3;
    } else if (channels == 5) {
        mask = 63;
    } else {
        return std::nullopt;
    }
    std::array<std::byte, kFormatBlockSize> block{};
    Put(block, 0, std::uint16_t{0xFFFE});
    Put(block, 2, channels);
    Put(block, 4, kSampleRate);
    Put(block, 20, mask);
    Put(block, 24, kOrvakSubFormat);
    Put(block, 40, std::uint16_t{1});
    Put(block, 44, header.codecWord);
    return block;
}

}  // namespace tandem::orvak
