#include "content_object.h"

#include <array>
#include <cstring>

#include "error.h"
#include "error_translation.h"
#include "property_table.h"
#include "task_mem.h"

namespace tandem::protected_audio {

namespace {

constexpr LONG kPath = 500;
constexpr LONG kRecordingKind = 115;
constexpr LONG kMediaKind = 11110;
constexpr LONG kCarrier = 11112;
constexpr LONG kBitRate = 145;
constexpr LONG kSamplingRate = 11134;
constexpr LONG kFirstPicture = 11182;
constexpr LONG kFrontPicture = 11184;

constexpr LONG kModeTag = 4354;
constexpr LONG kChannelsTag = 4364;
constexpr LONG kRateTag = 4355;
constexpr LONG kSamplingRateTag = 4361;
constexpr LONG kBitRateTag = 4362;
constexpr LONG kKindTag = 6151;
constexpr LONG kReadOnlyTag = 4376;
constexpr LONG kTitleTag = 4615;
constexpr LONG kCoverTag = 4650;
constexpr LONG kFrontTag = 4640;
constexpr LONG kFirstTag = 4647;

constexpr size_t kSamplingRateOffset = 32;
constexpr size_t kBitRateOffset = 36;

// Tag values are handed to the handler as one array.
static_assert(sizeof(Variant) == sizeof(VARIANT));

void CheckLibrary(HRESULT hr) {
    if (FAILED(hr)) ThrowHr(TranslateLibraryResult(hr));
}

// Takes over a task-memory array of VARIANTs.
std::vector<Variant> Adopt(LONG count, VARIANT* values) {
    TaskMemPtr<VARIANT> array(values);
    std::vector<Variant> adopted(values ? static_cast<size_t>(std::max<LONG>(count, 0)) : 0);
    for (size_t i = 0; i < adopted.size(); ++i) *adopted[i].ptr() = values[i];
    return adopted;
}

LONG FirstLong(const std::vector<Variant>& values) {
    if (values.empty() || values[0].type() != VT_I4) ThrowHr(kUnknownProperty);
    return V_I4(&values[0].get());
}

bool IsDerived(LONG id) {
    return id == kRecordingKind || id == kMediaKind || id == kCarrier || id == kBitRate || id == kSamplingRate;
}

}  // namespace

HRESULT ZephCsVltFileObject::Initialize(const ClassContext& context, IZephCsMedia* source) noexcept {
    if (!source) return E_INVALIDARG;
    return CatchHr([&] {
        CSyncLockHolder hold(lock_);
        context_ = context;
        handler_.reset();
        opened_ = false;
        CheckHr(SetObjectSource(IID_IZephCsMedia, source));
        if (path_.empty()) ThrowHr(E_FAIL);
        ComPtr<IUnknown> handler = CreateTagHandler(context_, path_.str(), IID_IVltTagHandler);
        CheckHr(handler.as(handler_));
    });
}

STDMETHODIMP ZephCsVltFileObject::SetObjectCsManager(REFIID, IUnknown* manager) {
    CSyncLockHolder hold(lock_);
    manager_.reset();
    if (manager) manager->QueryInterface(IID_IZephCsManager, manager_.put_void());
    return manager_ ? S_OK : E_FAIL;
}

STDMETHODIMP ZephCsVltFileObject::SetObjectSource(REFIID, IZephCsMedia* source) {
    if (!source) return E_POINTER;
    CSyncLockHolder hold(lock_);
    path_ = Bstr();
    Variant path;
    HRESULT hr = source->GetProperty(kPath, path.put());
    if (SUCCEEDED(hr) && path.type() == VT_BSTR) path_ = Bstr(BstrView(V_BSTR(&path.get())));
    return hr;
}

IVltTagHandler& ZephCsVltFileObject::Handler() const {
    if (!handler_) ThrowHr(E_FAIL);
    return *handler_;
}

std::optional<ZephCsVltFileObject::Values> ZephCsVltFileObject::TryReadTag(IVltTagHandler& handler, LONG tag) const {
    LONG count = 0;
    VARIANT* values = nullptr;
    HRESULT hr = handler.GetTag(tag, &count, &values);
    Values read = Adopt(count, values);
    if (FAILED(hr) || read.empty()) return std::nullopt;
    return read;
}

ZephCsVltFileObject::Values ZephCsVltFileObject::ReadTag(LONG tag) const {
    LONG count = 0;
    VARIANT* values = nullptr;
    HRESULT hr = Handler().GetTag(tag, &count, &values);
    Values read = Adopt(count, values);
    CheckLibrary(hr);
    return read;
}

STDMETHODIMP ZephCsVltFileObject::OpenObject(LONG mode) {
    return CatchHr([&] {
        CSyncLockHolder hold(lock_);
        IVltTagHandler& handler = Handler();
        if (mode != VLT_OPEN_READ && mode != VLT_OPEN_WRITE) return E_INVALIDARG;
        CheckHr(CloseObject());
        if (path_.empty()) return E_FAIL;
        ComPtr<IVltTagHandler2> prober;
        if (FAILED(handler.QueryInterface(IID_IVltTagHandler2, prober.put_void()))) return E_FAIL;
        USHORT flags = 0;
        CheckLibrary(prober->Probe(path_.get(), &flags));
        if (flags & kProbeFailedBit) return TranslateProbeFlags(flags);
        if (mode == VLT_OPEN_WRITE) ProbeWritable();
        HRESULT hr = handler.Open(path_.get(), mode);
        CheckLibrary(hr);
        opened_ = true;
        return hr;
    });
}

// A second handler tries what writing needs before the file is opened for it.
void ZephCsVltFileObject::ProbeWritable() const {
    HRESULT hr = CatchHr([&] {
        CLSID format = context_.maps.Lookup(path_.view());
        if (!IsEqualCLSID(format, CLSID_VltTagFormat1) && !IsEqualCLSID(format, CLSID_VltTagFormat2)) return S_OK;
        ComPtr<IVltTagHandler> probe;
        CheckHr(CreateTagHandler(context_, path_.str(), IID_IVltTagHandler).as(probe));
        bool first = IsEqualCLSID(format, CLSID_VltTagFormat1);
        CheckHr(probe->Open(path_.get(), first ? VLT_OPEN_READ : VLT_OPEN_WRITE));
        HRESULT result = CatchHr([&] {
            if (first) {
                LONG count = 0;
                VARIANT* values = nullptr;
                HRESULT read = probe->GetTag(kReadOnlyTag, &count, &values);
                Values flag = Adopt(count, values);
                CheckHr(read);
                if (!flag.empty() && flag[0].type() == VT_I4 && V_I4(&flag[0].get()) != 0) ThrowHr(E_FAIL);
                return;
            }
            if (auto title = TryReadTag(*probe, kTitleTag)) {
                CheckHr(probe->SetTag(kTitleTag, static_cast<LONG>(title->size()), title->front().ptr()));
            } else {
                Variant empty = Variant::FromString(L"");
                CheckHr(probe->SetTag(kTitleTag, 1, empty.ptr()));
                CheckHr(probe->SetTag(kTitleTag, 0, nullptr));
            }
        });
        HRESULT closed = probe->Close();
        CheckHr(result);
        return closed;
    });
    if (FAILED(hr)) ThrowHr(E_FAIL);
}

STDMETHODIMP ZephCsVltFileObject::CloseObject() {
    CSyncLockHolder hold(lock_);
    if (!opened_) return S_OK;
    if (!handler_) return E_FAIL;
    HRESULT hr = handler_->Close();
    if (SUCCEEDED(hr)) opened_ = false;
    return TranslateLibraryResult(hr);
}

Variant ZephCsVltFileObject::RecordingKind() const {
    LONG mode = FirstLong(ReadTag(kModeTag));
    switch (mode) {
    case 1: return Variant::FromLong(FirstLong(ReadTag(kChannelsTag)) == 1 ? 1 : 2);
    case 16: return Variant::FromLong(FirstLong(ReadTag(kRateTag)) == 66000 ? 4 : 2);
    case 18: return Variant::FromLong(2);
    default: ThrowHr(kUnknownProperty);
    }
}

// A ".3gp" file without its kind tag counts as an ordinary file.
Variant ZephCsVltFileObject::MediaKind() const {
    if (LowerExtension(path_.view()) != L".3gp") return Variant::FromLong(1);
    auto kind = TryReadTag(Handler(), kKindTag);
    bool video = kind && kind->front().type() == VT_I4 && V_I4(&kind->front().get()) == 1;
    return Variant::FromLong(video ? 3 : 1);
}

Variant ZephCsVltFileObject::FromTagOrRecord(LONG tag, size_t offset) const {
    if (auto values = TryReadTag(Handler(), tag)) return ToPropertyValue(RowOfTag(tag), values->front().get());
    LONG size = 0;
    BYTE* record = nullptr;
    HRESULT hr = Handler().GetFileInfo(&size, &record);
    TaskMemPtr<BYTE> owned(record);
    CheckLibrary(hr);
    if (!record || size < 0 || static_cast<size_t>(size) < offset + sizeof(LONG)) ThrowHr(E_FAIL);
    LONG value = 0;
    std::memcpy(&value, record + offset, sizeof(value));
    return Variant::FromLong(value);
}

Variant ZephCsVltFileObject::Derived(LONG id) const {
    switch (id) {
    case kRecordingKind: return RecordingKind();
    case kMediaKind: return MediaKind();
    case kCarrier: return Variant::FromLong(2);
    case kBitRate: return FromTagOrRecord(kBitRateTag, kBitRateOffset);
    default: return FromTagOrRecord(kSamplingRateTag, kSamplingRateOffset);
    }
}

Variant ZephCsVltFileObject::TableProperty(LONG id) const {
    const PropertyRow& row = RowOfProperty(id);
    Values values = ReadTag(row.tag);
    if (values.empty()) return Variant();
    return ToPropertyValue(row, values.front().get());
}

STDMETHODIMP ZephCsVltFileObject::GetProperty(LONG id, VARIANT* value) {
    if (!value) return E_POINTER;
    std::memset(value, 0, sizeof(VARIANT));
    return CatchHr([&] {
        CSyncLockHolder hold(lock_);
        Variant read = IsDerived(id) ? Derived(id) : TableProperty(id);
        read.release(value);
    });
}

STDMETHODIMP ZephCsVltFileObject::PutProperty(LONG id, VARIANT value) {
    if (id == kRecordingKind || id == kMediaKind || id == kCarrier) return kReadOnlyProperty;
    return CatchHr([&] {
        CSyncLockHolder hold(lock_);
        Variant tag = ToTagValue(RowOfProperty(id), value);
        return TranslateLibraryResult(Handler().SetTag(RowOfProperty(id).tag, 1, tag.ptr()));
    });
}

STDMETHODIMP ZephCsVltFileObject::GetPropertyInfo(LONG, LONG* info) {
    if (info) *info = 0;
    return E_FAIL;
}

STDMETHODIMP ZephCsVltFileObject::GetMedia(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    return CatchHr([&] {
        CSyncLockHolder hold(lock_);
        if (!manager_) return E_FAIL;
        ComPtr<IZephCsMedia> media;
        CheckHr(manager_->CreateBlankMedia(media.put()));
        CheckHr(media->PutProperty(kMediaKind, Variant::FromLong(1).get()));
        CheckHr(media->PutProperty(kCarrier, Variant::FromLong(2).get()));
        CheckHr(media->PutProperty(kPath, Variant::FromString(path_.view()).get()));
        return media->QueryInterface(iid, out);
    });
}

void ZephCsVltFileObject::AppendPictureFallbacks(Listing& listing, const std::optional<Values>& cover,
                                                 const std::optional<Values>& front, bool hasFirst) const {
    if (!hasFirst && (front || cover)) {
        const Values& source = front ? *front : *cover;
        listing.emplace_back(kFirstPicture, ToPropertyValue(RowOfProperty(kFirstPicture), source.front().get()));
    }
    if (!front && cover)
        listing.emplace_back(kFrontPicture, ToPropertyValue(RowOfProperty(kFrontPicture), cover->front().get()));
}

ZephCsVltFileObject::Listing ZephCsVltFileObject::List() const {
    IVltTagHandler& handler = Handler();
    constexpr std::array<LONG, 5> kDerived{kRecordingKind, kMediaKind, kCarrier, kBitRate, kSamplingRate};
    std::array<std::optional<Variant>, 5> derived;
    for (size_t i = 0; i < kDerived.size(); ++i) {
        try {
            derived[i] = Derived(kDerived[i]);
        } catch (const HResultError&) {
        }
    }
    LONG count = 0;
    CheckLibrary(handler.GetTagCount(&count));
    Listing listing;
    if (count <= 0) return listing;

    std::optional<Values> cover = TryReadTag(handler, kCoverTag);
    std::optional<Values> front = TryReadTag(handler, kFrontTag);
    bool hasFirst = TryReadTag(handler, kFirstTag).has_value();
    listing.reserve(static_cast<size_t>(count) + kDerived.size() + 2);
    for (LONG index = 0; index < count; ++index) {
        LONG tag = 0;
        LONG valueCount = 0;
        VARIANT* values = nullptr;
        HRESULT hr = handler.GetTagAt(index, &tag, &valueCount, &values);
        Values read = Adopt(valueCount, values);
        CheckLibrary(hr);
        if (tag == kSamplingRateTag) derived[4].reset();
        if (tag == kBitRateTag) derived[3].reset();
        if (read.empty() || !HasTag(tag)) continue;
        try {
            const PropertyRow& row = RowOfTag(tag);
            listing.emplace_back(row.property, ToPropertyValue(row, read.front().get()));
        } catch (const HResultError&) {
        }
    }
    AppendPictureFallbacks(listing, cover, front, hasFirst);
    for (size_t i = 0; i < kDerived.size(); ++i)
        if (derived[i]) listing.emplace_back(kDerived[i], std::move(*derived[i]));
    return listing;
}

STDMETHODIMP ZephCsVltFileObject::GetAllProperties(LONG* count, LONG** ids, VARIANT** values) {
    if (!count || !ids || !values) return E_POINTER;
    *count = 0;
    *ids = nullptr;
    *values = nullptr;
    return CatchHr([&] {
        CSyncLockHolder hold(lock_);
        Listing listing = List();
        if (listing.empty()) return;
        TaskMemPtr<LONG> idArray(static_cast<LONG*>(CoTaskMemAlloc(sizeof(LONG) * listing.size())));
        TaskMemPtr<VARIANT> valueArray(static_cast<VARIANT*>(CoTaskMemAlloc(sizeof(VARIANT) * listing.size())));
        if (!idArray || !valueArray) ThrowHr(E_OUTOFMEMORY);
        for (size_t i = 0; i < listing.size(); ++i) {
            idArray.get()[i] = listing[i].first;
            listing[i].second.release(&valueArray.get()[i]);
        }
        *count = static_cast<LONG>(listing.size());
        *ids = idArray.release();
        *values = valueArray.release();
    });
}

}  // namespace tandem::protected_audio
