#include "tag_block.h"

#include <cstring>

#include "VltLib.h"
#include "error.h"

namespace tandem::vlt {

namespace {

constexpr std::size_t kHeaderLength = 10;
constexpr std::uint32_t kMaxSynchsafe = 0x0FFFFFFF;
enum Kind : std::uint8_t { kEmpty, kInteger, kDate, kText, kPicture };

// Reads from a span that never reaches past its end.
class Reader {
public:
    explicit Reader(std::span<const std::byte> bytes) : bytes_(bytes) {}

    bool AtEnd() const noexcept { return bytes_.empty(); }

    std::span<const std::byte> Take(std::size_t count) {
        if (count > bytes_.size()) ThrowHr(VLT_E_BAD_BLOCK);
        auto taken = bytes_.first(count);
        bytes_ = bytes_.subspan(count);
        return taken;
    }
    std::uint8_t Byte() { return std::to_integer<std::uint8_t>(Take(1)[0]); }
    std::uint32_t Little32() {
        auto b = Take(4);
        std::uint32_t value = 0;
        for (int i = 3; i >= 0; --i) value = (value << 8) | std::to_integer<std::uint32_t>(b[i]);
        return value;
    }
    std::uint32_t Big32() {
        auto b = Take(4);
        std::uint32_t value = 0;
        for (auto byte : b) value = (value << 8) | std::to_integer<std::uint32_t>(byte);
        return value;
    }
    std::uint32_t Synchsafe() {
        std::uint32_t value = 0;
        for (auto byte : Take(4)) {
            auto bits = std::to_integer<std::uint32_t>(byte);
            if (bits & 0x80) ThrowHr(VLT_E_BAD_BLOCK);
            value = (value << 7) | bits;
        }
        return value;
    }

private:
    std::span<const std::byte> bytes_;
};

class Writer {
public:
    void Byte(std::uint8_t value) { out_.push_back(std::byte{value}); }
    void Little32(std::uint32_t value) {
        for (int i = 0; i < 4; ++i) Byte(static_cast<std::uint8_t>(value >> (8 * i)));
    }
    void Big32(std::uint32_t value) {
        for (int i = 3; i >= 0; --i) Byte(static_cast<std::uint8_t>(value >> (8 * i)));
    }
    void Synchsafe(std::size_t value) {
        if (value > kMaxSynchsafe) ThrowHr(E_OUTOFMEMORY);
        for (int i = 3; i >= 0; --i) Byte(static_cast<std::uint8_t>((value >> (7 * i)) & 0x7F));
    }
    void Bytes(std::span<const std::byte> bytes) { out_.insert(out_.end(), bytes.begin(), bytes.end()); }
    std::size_t Size() const noexcept { return out_.size(); }
    std::vector<std::byte>& Out() noexcept { return out_; }

private:
    std::vector<std::byte> out_;
};

ScalarValue ReadScalar(Reader& in, std::uint8_t kind) {
    switch (kind) {
    case kEmpty: return std::monostate{};
    case kInteger: return static_cast<std::int32_t>(in.Little32());
    case kDate: {
        auto b = in.Take(8);
        Date date;
        std::memcpy(&date.value, b.data(), 8);
        return date;
    }
    case kText: {
        std::uint32_t length = in.Little32();
        if (length % 2) ThrowHr(VLT_E_BAD_BLOCK);
        auto b = in.Take(length);
        std::wstring text(length / 2, L'\0');
        std::memcpy(text.data(), b.data(), length);
        return text;
    }
    default: ThrowHr(VLT_E_BAD_BLOCK);
    }
}

TagValue ReadValue(Reader& in) {
    std::uint8_t kind = in.Byte();
    if (kind != kPicture) {
        return std::visit([](auto&& v) -> TagValue { return std::move(v); }, ReadScalar(in, kind));
    }
    Picture picture;
    for (auto& property : picture.properties) {
        std::uint8_t inner = in.Byte();
        if (inner == kPicture) ThrowHr(VLT_E_BAD_BLOCK);
        property = ReadScalar(in, inner);
    }
    auto data = in.Take(in.Little32());
    picture.data.assign(data.begin(), data.end());
    return picture;
}

void WriteScalar(Writer& out, const ScalarValue& value) {
    std::visit(
        [&](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate>) {
                out.Byte(kEmpty);
            } else if constexpr (std::is_same_v<T, std::int32_t>) {
                out.Byte(kInteger);
                out.Little32(static_cast<std::uint32_t>(v));
            } else if constexpr (std::is_same_v<T, Date>) {
                out.Byte(kDate);
                out.Bytes(std::as_bytes(std::span(&v.value, 1)));
            } else {
                out.Byte(kText);
                out.Little32(static_cast<std::uint32_t>(v.size() * 2));
                out.Bytes(std::as_bytes(std::span(v)));
            }
        },
        value);
}

void WriteValue(Writer& out, const TagValue& value) {
    if (const auto* picture = std::get_if<Picture>(&value)) {
        out.Byte(kPicture);
        for (const auto& property : picture->properties) WriteScalar(out, property);
        out.Little32(static_cast<std::uint32_t>(picture->data.size()));
        out.Bytes(picture->data);
        return;
    }
    std::visit(
        [&](const auto& v) {
            if constexpr (!std::is_same_v<std::decay_t<decltype(v)>, Picture>) WriteScalar(out, ScalarValue(v));
        },
        value);
}

Frame ReadFrame(std::uint32_t tag, std::span<const std::byte> body) {
    Frame frame{tag, {}};
    Reader in(body);
    while (!in.AtEnd()) frame.values.push_back(ReadValue(in));
    return frame;
}

}  // namespace

ParsedFile ParseTagFile(std::span<const std::byte> bytes) {
    ParsedFile parsed;
    constexpr char kMagic[3] = {'e', 'o', '3'};
    if (bytes.size() < 3 || std::memcmp(bytes.data(), kMagic, 3) != 0) return parsed;
    Reader header(bytes);
    header.Take(3);
    std::uint8_t version = header.Byte();
    if (version != 3 && version != 4) ThrowHr(VLT_E_BAD_BLOCK);
    header.Byte();
    parsed.block.flags = header.Byte();
    std::uint32_t size = header.Synchsafe();
    Reader frames(header.Take(size));
    parsed.blockLength = kHeaderLength + size;
    while (!frames.AtEnd()) {
        std::uint32_t tag = frames.Big32();
        if (tag == 0) break;
        std::uint32_t length = frames.Synchsafe();
        frames.Take(2);
        parsed.block.frames.push_back(ReadFrame(tag, frames.Take(length)));
    }
    return parsed;
}

std::vector<std::byte> SerializeTagBlock(const TagBlock& block) {
    Writer out;
    for (char c : {'e', 'o', '3'}) out.Byte(static_cast<std::uint8_t>(c));
    out.Byte(4);
    out.Byte(0);
    out.Byte(block.flags);
    out.Synchsafe(0);
    for (const Frame& frame : block.frames) {
        Writer body;
        for (const TagValue& value : frame.values) WriteValue(body, value);
        out.Big32(frame.tag);
        out.Synchsafe(body.Size());
        out.Byte(0);
        out.Byte(0);
        out.Bytes(body.Out());
    }
    std::size_t size = out.Size() - kHeaderLength;
    Writer header;
    header.Synchsafe(size);
    std::memcpy(out.Out().data() + 6, header.Out().data(), 4);
    return std::move(out.Out());
}

}  // namespace tandem::vlt
