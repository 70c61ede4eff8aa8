#include "tag_handler.h"

#include <algorithm>
#include <cstring>

#include "binary.h"
#include "bstr.h"
#include "error.h"
#include "task_mem.h"
#include "unique_resource.h"

namespace tandem::vlt {

namespace {

constexpr std::size_t kFileInfoSize = 40;

// The values handed out: task memory the caller frees, each VARIANT cleared by it.
HRESULT HandOut(const std::vector<TagValue>& stored, LONG* count, VARIANT** values) {
    std::vector<Variant> converted;
    converted.reserve(stored.size());
    for (const TagValue& value : stored) converted.push_back(ToVariant(value));
    TaskMemPtr<VARIANT> array(static_cast<VARIANT*>(CoTaskMemAlloc(sizeof(VARIANT) * (stored.size() ? stored.size() : 1))));
    if (!array) return E_OUTOFMEMORY;
    for (std::size_t i = 0; i < converted.size(); ++i) converted[i].release(&array.get()[i]);
    *count = static_cast<LONG>(converted.size());
    *values = array.release();
    return S_OK;
}

void WriteFileBytes(const std::wstring& path, std::span<const std::byte> head, std::span<const std::byte> tail) {
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) ThrowLastError();
    for (auto part : {head, tail}) {
        DWORD written = 0;
        if (!part.empty() && (!WriteFile(file.get(), part.data(), static_cast<DWORD>(part.size()), &written, nullptr) ||
                              written != part.size()))
            ThrowLastError();
    }
}

}  // namespace

std::vector<std::byte> ReadWholeFile(const std::wstring& path) {
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) ThrowLastError();
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) ThrowLastError();
    if (size.QuadPart > 0x7FFFFFFF) ThrowHr(E_OUTOFMEMORY);
    std::vector<std::byte> bytes(static_cast<std::size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty() && (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
                           read != bytes.size()))
        ThrowLastError();
    return bytes;
}

USHORT ProbeFile(const std::wstring& path) {
    std::vector<std::byte> bytes;
    try {
        bytes = ReadWholeFile(path);
    } catch (const HResultError&) {
        return VLT_PROBE_MISSING;
    }
    try {
        ParsedFile parsed = ParseTagFile(bytes);
        if (parsed.block.flags & kLockedFlag) return VLT_PROBE_LOCKED;
        return parsed.blockLength ? VLT_PROBE_PROTECTED : VLT_PROBE_PLAIN;
    } catch (const HResultError&) {
        return VLT_PROBE_DAMAGED;
    }
}

TagHandler::OpenFile& TagHandler::Current() {
    if (!file_) ThrowHr(VLT_E_NOT_OPEN);
    return *file_;
}

STDMETHODIMP TagHandler::Open(BSTR path, LONG mode) {
    if (!path || !*path) return E_INVALIDARG;
    if (mode != VLT_OPEN_READ && mode != VLT_OPEN_WRITE) return E_INVALIDARG;
    return CatchHr([&] {
        OpenFile file;
        file.path = path;
        file.mode = mode;
        DWORD attributes = GetFileAttributesW(path);
        if (attributes == INVALID_FILE_ATTRIBUTES) ThrowLastError();
        file.readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
        if (mode == VLT_OPEN_WRITE && file.readOnly) ThrowHr(VLT_E_READ_ONLY);
        std::vector<std::byte> bytes = ReadWholeFile(file.path);
        ParsedFile parsed = ParseTagFile(bytes);
        if (parsed.block.flags & kLockedFlag) ThrowHr(VLT_E_NOT_OPEN);
        file.block = std::move(parsed.block);
        file.blockLength = parsed.blockLength;
        file.fileSize = bytes.size();
        file.audio.assign(bytes.begin() + static_cast<std::ptrdiff_t>(parsed.blockLength), bytes.end());
        CSyncLockHolder hold(lock_);
        file_ = std::move(file);
    });
}

void TagHandler::Save(const OpenFile& file) {
    WriteFileBytes(file.path, SerializeTagBlock(file.block), file.audio);
}

STDMETHODIMP TagHandler::Close() {
    return CatchHr([&] {
        CSyncLockHolder hold(lock_);
        if (!file_) return S_FALSE;
        std::optional<OpenFile> closing = std::exchange(file_, std::nullopt);
        if (closing->mode == VLT_OPEN_WRITE) Save(*closing);
        return S_OK;
    });
}

STDMETHODIMP TagHandler::GetTag(LONG tag, LONG* count, VARIANT** values) {
    if (!count || !values) return E_POINTER;
    *count = 0;
    *values = nullptr;
    return CatchHr([&] {
        CSyncLockHolder hold(lock_);
        OpenFile& file = Current();
        auto found = std::find_if(file.block.frames.begin(), file.block.frames.end(),
                                  [&](const Frame& f) { return f.tag == static_cast<std::uint32_t>(tag); });
        if (found != file.block.frames.end()) return HandOut(found->values, count, values);
        if (tag == kReadOnlyTag) return HandOut({std::int32_t{file.readOnly ? 1 : 0}}, count, values);
        return VLT_E_NO_TAG;
    });
}

STDMETHODIMP TagHandler::SetTag(LONG tag, LONG count, VARIANT* values) {
    if (count < 0 || (count > 0 && !values) || tag <= 0) return E_INVALIDARG;
    return CatchHr([&] {
        std::vector<TagValue> stored;
        for (LONG i = 0; i < count; ++i) stored.push_back(FromVariant(values[i]));
        CSyncLockHolder hold(lock_);
        OpenFile& file = Current();
        if (file.mode != VLT_OPEN_WRITE) ThrowHr(VLT_E_READ_ONLY);
        auto& frames = file.block.frames;
        auto found = std::find_if(frames.begin(), frames.end(),
                                  [&](const Frame& f) { return f.tag == static_cast<std::uint32_t>(tag); });
        if (count == 0) {
            if (found != frames.end()) frames.erase(found);
        } else if (found != frames.end()) {
            found->values = std::move(stored);
        } else {
            frames.push_back({static_cast<std::uint32_t>(tag), std::move(stored)});
        }
    });
}

STDMETHODIMP TagHandler::GetTagCount(LONG* count) {
    if (!count) return E_POINTER;
    *count = 0;
    return CatchHr([&] {
        CSyncLockHolder hold(lock_);
        *count = static_cast<LONG>(Current().block.frames.size());
    });
}

STDMETHODIMP TagHandler::GetTagAt(LONG index, LONG* tag, LONG* count, VARIANT** values) {
    if (!tag || !count || !values) return E_POINTER;
    *tag = 0;
    *count = 0;
    *values = nullptr;
    return CatchHr([&] {
        CSyncLockHolder hold(lock_);
        const auto& frames = Current().block.frames;
        if (index < 0 || static_cast<std::size_t>(index) >= frames.size()) return E_INVALIDARG;
        *tag = static_cast<LONG>(frames[static_cast<std::size_t>(index)].tag);
        return HandOut(frames[static_cast<std::size_t>(index)].values, count, values);
    });
}

STDMETHODIMP TagHandler::GetFileInfo(LONG* size, BYTE** record) {
    if (!size || !record) return E_POINTER;
    *size = 0;
    *record = nullptr;
    return CatchHr([&] {
        CSyncLockHolder hold(lock_);
        const OpenFile& file = Current();
        TaskMemPtr<BYTE> info(static_cast<BYTE*>(CoTaskMemAlloc(kFileInfoSize)));
        if (!info) ThrowHr(E_OUTOFMEMORY);
        std::memset(info.get(), 0, kFileInfoSize);
        auto blockLength = static_cast<std::uint32_t>(file.blockLength);
        auto audio = static_cast<std::uint32_t>(std::min<std::size_t>(file.audio.size(), 0x7FFFFFFF));
        auto frames = static_cast<std::uint32_t>(file.block.frames.size());
        std::memcpy(info.get(), &file.fileSize, 8);
        std::memcpy(info.get() + 8, &blockLength, 4);
        std::memcpy(info.get() + 32, &audio, 4);
        std::memcpy(info.get() + 36, &frames, 4);
        *size = kFileInfoSize;
        *record = info.release();
    });
}

STDMETHODIMP TagHandler::Probe(BSTR path, USHORT* flags) {
    if (!flags) return E_POINTER;
    *flags = 0;
    if (!path) return E_INVALIDARG;
    return CatchHr([&] { *flags = ProbeFile(path); });
}

STDMETHODIMP TagHandler::SetApplicationId(LONG applicationId) {
    CSyncLockHolder hold(lock_);
    applicationId_ = applicationId;
    return S_OK;
}

}  // namespace tandem::vlt
