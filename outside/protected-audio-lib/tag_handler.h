#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "VltLib.h"
#include "com/com_object.h"
#include "sync_lock.h"
#include "tag_block.h"

namespace tandem::vlt {

// The tag the content source reads to tell whether a file may be written;
// reported from the file's attributes when the block does not store it.
inline constexpr LONG kReadOnlyTag = 4376;

// Reads the tag block of a file when opened and writes it back on closing a
// file opened for writing; the audio after the block is kept as it was.
class TagHandler : public ComObjectRoot, public IVltTagHandler, public IVltTagHandler2 {
public:
    using Interfaces = InterfaceTable<IVltTagHandler, IVltTagHandler2>;

    STDMETHODIMP Open(BSTR path, LONG mode) override;
    STDMETHODIMP Close() override;
    STDMETHODIMP GetTag(LONG tag, LONG* count, VARIANT** values) override;
    STDMETHODIMP SetTag(LONG tag, LONG count, VARIANT* values) override;
    STDMETHODIMP GetTagCount(LONG* count) override;
    STDMETHODIMP GetTagAt(LONG index, LONG* tag, LONG* count, VARIANT** values) override;
    STDMETHODIMP GetFileInfo(LONG* size, BYTE** record) override;

    STDMETHODIMP Probe(BSTR path, USHORT* flags) override;
    STDMETHODIMP SetApplicationId(LONG applicationId) override;

private:
    struct OpenFile {
        std::wstring path;
        LONG mode = 0;
        bool readOnly = false;
        TagBlock block;
        std::vector<std::byte> audio;
        std::uint64_t fileSize = 0;
        std::size_t blockLength = 0;
    };

    OpenFile& Current();
    void Save(const OpenFile& file);

    CSyncLock lock_;
    std::optional<OpenFile> file_;
    LONG applicationId_ = 0;
};

// The flag word the library reports for a file (VLT_PROBE_*).
USHORT ProbeFile(const std::wstring& path);

// The whole content of a file; raises the file system's error.
std::vector<std::byte> ReadWholeFile(const std::wstring& path);

}  // namespace tandem::vlt
