#include "orvak_file_writer.h"

#include <algorithm>
#include <fstream>
#include <stdexcept>

namespace tandem::test {

namespace {

constexpr std::size_t kTagHeaderSize = 10;

void PutBigEndian(std::vector<std::byte>& out, std::uint64_t value, int bytes) {
    for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8) {
        out.push_back(static_cast<std::byte>((value >> shift) & 0xFF));
    }
}

void PutChars(std::vector<std::byte>& out, const std::array<char, 3>& chars) {
    for (char c : chars) out.push_back(static_cast<std::byte>(c));
}

std::array<std::uint8_t, 4> SevenBitGroups(std::size_t size) {
    if (size >= (1u << 28)) throw std::length_error("tag body too large for a 28-bit size");
    return {static_cast<std::uint8_t>((size >> 21) & 0x7F), static_cast<std::uint8_t>((size >> 14) & 0x7F),
            static_cast<std::uint8_t>((size >> 7) & 0x7F), static_cast<std::uint8_t>(size & 0x7F)};
}

void PutTag(std::vector<std::byte>& out, const OrvakTagBlock& tag) {
    PutChars(out, tag.magic);
    PutBigEndian(out, 0x0300, 2);  // version 3.0
    out.push_back(std::byte{0});   // flags
    for (std::uint8_t b : tag.sizeBytes.value_or(SevenBitGroups(tag.body.size()))) {
        out.push_back(static_cast<std::byte>(b));
    }
    out.insert(out.end(), tag.body.begin(), tag.body.end());
}

void PutHeader(std::vector<std::byte>& out, const OrvakFile& file) {
    const std::size_t start = out.size();
    PutChars(out, file.magic);
    out.push_back(std::byte{0});
    PutBigEndian(out, file.headerLength, 2);
    PutBigEndian(out, file.marker, 2);
    out.resize(start + 32, std::byte{0});
    PutBigEndian(out, OrvakCodecWord(file), 4);
    out.resize(start + std::max<std::size_t>(file.headerLength, kOrvakHeaderFields), std::byte{0});
}

std::ofstream OpenForWriting(const std::filesystem::path& path) {
    std::ofstream stream(path, std::ios::binary | std::ios::trunc);
    if (!stream) throw std::runtime_error("cannot create the test file");
    return stream;
}

void Write(std::ofstream& stream, const std::byte* data, std::size_t size) {
    stream.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!stream) throw std::runtime_error("cannot write the test file");
}

}  // namespace

std::uint32_t OrvakCodecWord(const OrvakFile& file) {
    return (std::uint32_t{file.codec} << 24) | ((std::uint32_t{file.rateIndex} & 7) << 13) |
           ((std::uint32_t{file.channelCode} & 7) << 10) | (std::uint32_t{file.frameBits} & 0x3FF);
}

std::uint32_t OrvakFrameSize(const OrvakFile& file) {
    const std::uint32_t size = 8u * (file.frameBits & 0x3FFu);
    return file.codec == 1 ? size + 8 : size;
}

std::uint64_t OrvakHeaderOffset(const OrvakFile& file) {
    if (!file.tag) return 0;
    return kTagHeaderSize + file.tag->body.size();
}

std::uint64_t OrvakAudioOffset(const OrvakFile& file) {
    return OrvakHeaderOffset(file) + std::max<std::size_t>(file.headerLength, kOrvakHeaderFields);
}

std::vector<std::byte> BuildOrvakFile(const OrvakFile& file) {
    std::vector<std::byte> out;
    if (file.tag) PutTag(out, *file.tag);
    PutHeader(out, file);
    out.insert(out.end(), file.audio.begin(), file.audio.end());
    return out;
}

std::byte OrvakPatternByte(std::uint64_t index) noexcept {
    // Varies with every byte and with the block a byte lies in, so a shifted
    // or repeated buffer never compares equal.
    return static_cast<std::byte>((index ^ (index >> 8) ^ (index >> 16) ^ (index >> 24) * 31) & 0xFF);
}

std::vector<std::byte> OrvakPatternAudio(std::size_t size) {
    std::vector<std::byte> audio(size);
    for (std::size_t i = 0; i < size; ++i) audio[i] = OrvakPatternByte(i);
    return audio;
}

void WriteBytes(const std::filesystem::path& path, const std::vector<std::byte>& bytes) {
    std::ofstream stream = OpenForWriting(path);
    Write(stream, bytes.data(), bytes.size());
}

void WriteOrvakFile(const std::filesystem::path& path, const OrvakFile& file) {
    WriteBytes(path, BuildOrvakFile(file));
}

void WriteOrvakFile(const std::filesystem::path& path, const OrvakFile& file, std::uint64_t patternBytes) {
    std::ofstream stream = OpenForWriting(path);
    const std::vector<std::byte> head = BuildOrvakFile(file);
    Write(stream, head.data(), head.size());
    std::vector<std::byte> chunk(1 << 20);
    std::uint64_t index = file.audio.size();
    const std::uint64_t end = index + patternBytes;
    while (index < end) {
        const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), end - index));
        for (std::size_t i = 0; i < count; ++i) chunk[i] = OrvakPatternByte(index + i);
        Write(stream, chunk.data(), count);
        index += count;
    }
}

}  // namespace tandem::test
