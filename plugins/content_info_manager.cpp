#include "content_info_manager.h"

#include <atomic>
#include <mutex>
#include <vector>

#include "bstr.h"
#include "error.h"
#include "module_path.h"
#include "protected_audio_class.h"
#include "task_mem.h"
#include "thumbnail_path.h"
#include "watcher_settings.h"

namespace tandem {

namespace {

constexpr LONG kOutputFormat = 107;
constexpr LONG kWidth = 123;
constexpr LONG kHeight = 124;
constexpr LONG kPictureCategory = 3;
constexpr LONG kConvertMedia = 2;

// Picture ids as plug-ins know them, and as the framework does.
constexpr std::pair<LONG, LONG> kPictureIds[] = {
    {504, 11182}, {506, 11183}, {507, 11184}, {508, 11185}, {509, 11186}};

LONG ToFrameworkId(LONG id) {
    for (auto [plugin, framework] : kPictureIds)
        if (plugin == id) return framework;
    return id;
}

LONG ToPluginId(LONG id) {
    for (auto [plugin, framework] : kPictureIds)
        if (framework == id) return plugin;
    return id;
}

using GetClassObjectFunction = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);

SharedPtr<const UniqueModule> LoadFrameworkLibrary(const std::wstring& directory) {
    auto library = MakeShared<UniqueModule>(
        LoadLibraryExW((directory + L"ZephCs.dll").c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!*library) ThrowLastError();
    return library;
}

ComPtr<IZephCsManager> CreateFrameworkManager(HMODULE library) {
    auto getClassObject = reinterpret_cast<GetClassObjectFunction>(
        reinterpret_cast<void*>(GetProcAddress(library, "DllGetClassObject")));
    if (!getClassObject) ThrowLastError();
    ComPtr<IClassFactory> factory;
    CheckHr(getClassObject(CLSID_ZephCsManager, IID_IClassFactory, factory.put_void()));
    ComPtr<IZephCsManager> manager;
    CheckHr(factory->CreateInstance(nullptr, IID_IZephCsManager, manager.put_void()));
    CheckHr(manager->Initialize(0, 4, 0, 0));
    return manager;
}

IZephCsMedia& MediaOf(const ContentMedia& media) {
    auto* bound = dynamic_cast<const ZephCsContentMedia*>(&media);
    if (!bound) ThrowHr(E_INVALIDARG);
    return bound->Media();
}

// VT_EMPTY for a property the media does not have.
Variant TryRead(IZephCsMedia& media, LONG id) {
    Variant value;
    HRESULT hr = media.GetProperty(id, value.put());
    if (hr == ZEPHCS_E_UNKNOWN_PROPERTY) return Variant();
    CheckHr(hr);
    return value;
}

void Put(IZephCsMedia& media, LONG id, const Variant& value) {
    CheckHr(media.PutProperty(id, value.get()));
}

void PutIfMissing(IZephCsMedia& media, LONG id, VARTYPE type, LONG fallback) {
    if (TryRead(media, id).type() != type) Put(media, id, Variant::FromLong(fallback));
}

LONG ReadCategory(IZephCsMedia& media) {
    Variant value;
    CheckHr(media.GetProperty(ZEPHCS_PROP_CATEGORY, value.put()));
    if (value.type() != VT_I4) ThrowHr(E_UNEXPECTED);
    return V_I4(&value.get());
}

std::wstring ReadPath(IZephCsMedia& media) {
    Variant value;
    CheckHr(media.GetProperty(ZEPHCS_PROP_PATH, value.put()));
    if (value.type() != VT_BSTR) ThrowHr(E_UNEXPECTED);
    return std::wstring(BstrView(V_BSTR(&value.get())));
}

bool OffersBinaryProperty(const Variant& value) {
    IUnknown* object = V_UNKNOWN(&value.get());
    if (!object) return false;
    ComPtr<IZephCsBinaryProperty> binary;
    return SUCCEEDED(object->QueryInterface(IID_IZephCsBinaryProperty, binary.put_void()));
}

CSyncLock instanceLock;
std::atomic<std::shared_ptr<ContentInfoManager>> instance;

ContentInfoManager::Setup DefaultSetup() {
    std::wstring directory = ModuleDirectory(nullptr);
    return {directory, directory + L"ZephCsVltFile.zephcs", kProtectedAudioClassId,
            [] { return WatcherSettings::Load().ThumbnailSubPath(); }};
}

}  // namespace

ContentInfoManager& ContentInfoManager::Instance() {
    if (auto current = instance.load()) return *current;
    std::lock_guard guard(instanceLock);
    if (auto current = instance.load()) return *current;
    auto created = MakeShared<ContentInfoManager>(DefaultSetup());
    instance.store(created);
    return *created;
}

ContentInfoManager::ContentInfoManager(Setup setup)
    : setup_(std::move(setup)),
      library_(LoadFrameworkLibrary(setup_.libraryDirectory)),
      manager_(CreateFrameworkManager(library_->get())) {}

ContentMediaPtr ContentInfoManager::OpenMedia(const std::wstring& path) {
    ComPtr<IZephCsMedia> media;
    CheckHr(manager_->CreateMedia(Bstr(path).get(), media.put()));
    return MakeShared<ZephCsContentMedia>(library_, std::move(media));
}

LONG ContentInfoManager::ObjectCategory(const ContentMedia& media) { return ReadCategory(MediaOf(media)); }

Variant ContentInfoManager::ReadProperty(const ContentMedia& media, LONG id, const PropertyList& converterParams) {
    IZephCsMedia& bound = MediaOf(media);
    LONG frameworkId = ToFrameworkId(id);
    return Present(bound, frameworkId, TryRead(bound, frameworkId), converterParams);
}

PropertyList ContentInfoManager::ReadAllProperties(const ContentMedia& media) {
    IZephCsMedia& bound = MediaOf(media);
    LONG count = 0;
    LONG* ids = nullptr;
    VARIANT* values = nullptr;
    CheckHr(bound.GetAllProperties(&count, &ids, &values));
    TaskMemPtr<LONG> idArray(ids);
    TaskMemPtr<VARIANT> valueArray(values);
    if (count < 0 || (count > 0 && (!ids || !values))) ThrowHr(E_UNEXPECTED);
    // Every value is taken over first, so none leaks when a conversion fails.
    std::vector<Variant> owned(static_cast<size_t>(count));
    for (LONG i = 0; i < count; ++i) *owned[i].ptr() = values[i];

    PropertyList result;
    for (LONG i = 0; i < count; ++i)
        result.emplace_back(ToPluginId(ids[i]), Present(bound, ids[i], std::move(owned[i]), {}));
    return result;
}

Variant ContentInfoManager::Present(IZephCsMedia& media, LONG frameworkId, Variant value,
                                    const PropertyList& converterParams) {
    if (value.type() != VT_UNKNOWN && value.type() != VT_DISPATCH) return value;
    if (!OffersBinaryProperty(value)) return Variant();
    return Variant::FromString(ConvertThumbnail(media, frameworkId, value, converterParams));
}

std::wstring ContentInfoManager::ThumbnailSubPath() {
    // A failed read is not kept, so the next thumbnail asks again.
    CSyncLockHolder hold(thumbnailLock_);
    if (!thumbnailSubPath_) thumbnailSubPath_ = setup_.thumbnailSubPath();
    return *thumbnailSubPath_;
}

std::wstring ContentInfoManager::ConvertThumbnail(IZephCsMedia& media, LONG frameworkId, const Variant& picture,
                                                  const PropertyList& converterParams) {
    ComPtr<IZephCsMedia> source = BlankMedia();
    Put(*source, ZEPHCS_PROP_CATEGORY, Variant::FromLong(kConvertMedia));
    Put(*source, ZEPHCS_PROP_CONVERT_SOURCE, picture);
    ComPtr<IZephCsMedia> destination = BlankMedia();
    Put(*destination, ZEPHCS_PROP_CATEGORY, Variant::FromLong(kConvertMedia));
    Put(*destination, ZEPHCS_PROP_CARRIER, Variant::FromLong(kConvertMedia));
    for (const auto& [id, value] : converterParams) Put(*destination, id, value);

    Variant output = TryRead(*destination, ZEPHCS_PROP_PATH);
    if (output.type() != VT_BSTR) {
        output = Variant::FromString(ThumbnailPath(ReadPath(media), frameworkId, ThumbnailSubPath()));
        Put(*destination, ZEPHCS_PROP_PATH, output);
    }
    PutIfMissing(*destination, kOutputFormat, VT_I4, 512);
    bool pictureFile = ReadCategory(media) == kPictureCategory;
    PutIfMissing(*destination, kWidth, VT_I4, pictureFile ? 80 : 100);
    PutIfMissing(*destination, kHeight, VT_I4, pictureFile ? 60 : 100);

    ComPtr<IZephCsConverter> converter;
    CheckHr(manager_->CreateConverter(source.get(), destination.get(), converter.put()));
    HRESULT converted = converter->OpenConverter(0);
    converter->CloseConverter();
    CheckHr(converted);
    return std::wstring(BstrView(V_BSTR(&output.get())));
}

ComPtr<IZephCsMedia> ContentInfoManager::BlankMedia() {
    ComPtr<IZephCsMedia> media;
    CheckHr(manager_->CreateBlankMedia(media.put()));
    return media;
}

void ContentInfoManager::AcquireProtectedAudio() noexcept {
    CatchHr([&] {
        CSyncLockHolder hold(audioLock_);
        if (audioUses_ == 0) {
            audioRegisteredHere_ = manager_->IsClassListed(setup_.protectedAudioClass) != S_OK;
            if (audioRegisteredHere_)
                CheckHr(manager_->RegisterClass(setup_.protectedAudioClass, Bstr(setup_.protectedAudioModule).get(),
                                                ZEPHCS_REGISTER_MODULE));
        }
        ++audioUses_;
    });
}

void ContentInfoManager::ReleaseProtectedAudio() noexcept {
    CSyncLockHolder hold(audioLock_);
    if (audioUses_ == 0) return;
    // A registration made by someone else is theirs to withdraw.
    if (--audioUses_ == 0 && audioRegisteredHere_) manager_->UnregisterClass(setup_.protectedAudioClass);
}

LONG ContentInfoManager::ProtectedAudioUseCount() const noexcept {
    CSyncLockHolder hold(audioLock_);
    return audioUses_;
}

}  // namespace tandem
