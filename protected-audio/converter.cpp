#include "converter.h"

#include <utility>

#include "error.h"
#include "error_translation.h"
#include "format_maps.h"
#include "variant.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace tandem::protected_audio {

namespace {

constexpr LONG kPath = 500;
constexpr LONG kCarrier = 11112;

constexpr std::pair<LONG, LONG> kStates[] = {{2, 1}, {3, 2}, {4, 3}, {5, 4}, {6, 5}, {7, 6}, {13, 7}, {14, 8}, {11, 9}};
constexpr std::pair<WPARAM, LONG> kEvents[] = {{1, 5}, {19, 6}, {20, 7}, {8, 8}, {9, 9}, {12, 10}};

const UINT kPlaybackMessage = RegisterWindowMessageW(L"ZephCsVltFileDeviceEvent");

HINSTANCE ModuleInstance() noexcept { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

LRESULT CALLBACK ConverterWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kPlaybackMessage && kPlaybackMessage != 0) {
        if (auto* converter = reinterpret_cast<ZephCsVltFileConverter*>(GetWindowLongPtrW(window, GWLP_USERDATA))) {
            converter->OnNotice(wParam);
            return 0;
        }
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// The window class of the converters, registered for as long as the module is loaded.
class ConverterWindowClass {
public:
    ConverterWindowClass() {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = ConverterWindowProc;
        windowClass.hInstance = ModuleInstance();
        windowClass.lpszClassName = kName;
        atom_ = RegisterClassExW(&windowClass);
    }
    ConverterWindowClass(const ConverterWindowClass&) = delete;
    ConverterWindowClass& operator=(const ConverterWindowClass&) = delete;
    ~ConverterWindowClass() {
        if (atom_) UnregisterClassW(kName, ModuleInstance());
    }

    bool Registered() const noexcept { return atom_ != 0; }

    static constexpr wchar_t kName[] = L"ZephCsVltFileConverterWindow";

private:
    ATOM atom_ = 0;
};

const ConverterWindowClass& WindowClass() {
    static const ConverterWindowClass windowClass;
    return windowClass;
}

}  // namespace

UINT PlaybackMessage() noexcept { return kPlaybackMessage; }

void ZephCsVltFileConverter::FinalConstruct() {
    if (!WindowClass().Registered()) ThrowHr(E_FAIL);
    window_.reset(CreateWindowExW(0, ConverterWindowClass::kName, L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                  ModuleInstance(), nullptr));
    if (!window_) ThrowHr(E_FAIL);
    SetWindowLongPtrW(window_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

void ZephCsVltFileConverter::OnNotice(WPARAM notice) {
    for (auto [library, event] : kEvents) {
        if (library != notice) continue;
        if (callback_) {
            Bstr empty(L"");
            callback_->OnConverterEvent(empty.get(), event, 0, Variant::FromLong(0).get());
        }
        return;
    }
}

STDMETHODIMP ZephCsVltFileConverter::SetConverterCsManager(REFIID, IUnknown* manager) {
    if (!manager) return E_FAIL;
    return manager->QueryInterface(IID_IZephCsManager, manager_.put_void());
}

STDMETHODIMP ZephCsVltFileConverter::SetConverterSource(REFIID, IZephCsMedia* source) {
    source_.reset();
    if (!source) return E_POINTER;
    HRESULT hr = source->Clone(IID_IZephCsMedia, source_.put_void());
    if (FAILED(hr)) return hr;
    Variant path;
    if (SUCCEEDED(source->GetProperty(kPath, path.put())) && path.type() == VT_BSTR)
        sourcePath_ = Bstr(BstrView(V_BSTR(&path.get())));
    return S_OK;
}

STDMETHODIMP ZephCsVltFileConverter::SetConverterDestination(REFIID, IZephCsMedia* destination) {
    if (!destination) return S_OK;
    destination_.reset();
    destination->Clone(IID_IZephCsMedia, destination_.put_void());
    return S_OK;
}

STDMETHODIMP ZephCsVltFileConverter::SetConverterCallback(REFIID, IUnknown* callback) {
    callback_ = nullptr;
    if (!callback) return S_OK;
    ComPtr<IZephCsConverterCallback> held;
    HRESULT hr = callback->QueryInterface(IID_IZephCsConverterCallback, held.put_void());
    if (FAILED(hr)) return hr;
    callback_ = held.get();
    return S_OK;
}

HRESULT ZephCsVltFileConverter::CreatePlayback(const std::wstring& path) {
    std::wstring extension = LowerExtension(path);
    if (extension == L".vla") {
        if (FAILED(CoCreateInstance(CLSID_VltLibrary, nullptr, CLSCTX_INPROC_SERVER, IID_IVltPlaybackFactory,
                                    library_.put_void())) ||
            FAILED(library_->SetOwner(owner_)))
            return E_FAIL;
        USHORT status = 0;
        if (FAILED(library_->CreatePlayback(sourcePath_.get(), IID_IVltPlayback, playback_.put_void(), &status))) {
            // A refusal whose status word names no failure is still a failure.
            HRESULT hr = TranslateProbeFlags(status);
            return FAILED(hr) ? hr : E_FAIL;
        }
    } else if (extension == L".3gp") {
        if (FAILED(CoCreateInstance(CLSID_VltPlayback2, nullptr, CLSCTX_INPROC_SERVER, IID_IVltPlayback,
                                    playback_.put_void())))
            return E_FAIL;
    } else {
        return E_FAIL;
    }
    playback_->QueryInterface(IID_IVltPlaybackAudio, audio_.put_void());
    return S_OK;
}

HRESULT ZephCsVltFileConverter::Open() {
    if (!source_ || !destination_) return E_FAIL;
    Variant path;
    if (FAILED(source_->GetProperty(kPath, path.put())) || path.type() != VT_BSTR) return E_FAIL;
    HRESULT hr = CreatePlayback(std::wstring(BstrView(V_BSTR(&path.get()))));
    if (FAILED(hr)) return hr;
    Variant carrier;
    if (FAILED(destination_->GetProperty(kCarrier, carrier.put())) || carrier.type() != VT_I4) return E_FAIL;
    Bstr file(sourcePath_.view());
    if (FAILED(TranslateLibraryResult(playback_->OpenFile(file.get(), 0)))) {
        playback_->CloseFile();
        return E_FAIL;
    }
    if (FAILED(playback_->SetNotifyWindow(reinterpret_cast<ULONG_PTR>(window_.get()), kPlaybackMessage))) {
        playback_->CloseFile();
        return E_FAIL;
    }
    return S_OK;
}

STDMETHODIMP ZephCsVltFileConverter::OpenConverter(LONG) {
    CloseConverter();
    HRESULT hr = Open();
    if (FAILED(hr)) {
        // Nothing half-open is kept: the player answers E_FAIL until a later open succeeds.
        audio_.reset();
        playback_.reset();
        library_.reset();
    }
    return hr;
}

STDMETHODIMP ZephCsVltFileConverter::CloseConverter() {
    if (!playback_) return S_OK;
    playback_->Stop();
    playback_->CloseFile();
    audio_.reset();
    playback_.reset();
    library_.reset();
    return S_OK;
}

STDMETHODIMP ZephCsVltFileConverter::GetPlayerVersion(LONG* value) {
    if (!playback_) return E_FAIL;
    if (!value) return E_POINTER;
    return playback_->GetVersion(value);
}

STDMETHODIMP ZephCsVltFileConverter::Play() { return playback_ ? playback_->Play() : E_FAIL; }

STDMETHODIMP ZephCsVltFileConverter::Stop() { return playback_ ? playback_->Stop() : E_FAIL; }

STDMETHODIMP ZephCsVltFileConverter::Pause(LONG pause) {
    if (!playback_) return E_FAIL;
    return pause ? playback_->Pause() : playback_->Resume();
}

STDMETHODIMP ZephCsVltFileConverter::Seek(double seconds) { return playback_ ? playback_->Seek(seconds) : E_FAIL; }

STDMETHODIMP ZephCsVltFileConverter::SetRepeat(LONG repeat) {
    return playback_ ? playback_->SetRepeat(repeat) : E_FAIL;
}

STDMETHODIMP ZephCsVltFileConverter::FastForward() { return playback_ ? playback_->FastForward() : E_FAIL; }

STDMETHODIMP ZephCsVltFileConverter::Rewind() { return playback_ ? playback_->Rewind() : E_FAIL; }

STDMETHODIMP ZephCsVltFileConverter::Step() { return playback_ ? playback_->Step() : E_FAIL; }

STDMETHODIMP ZephCsVltFileConverter::SetRange(LONG start, LONG end) {
    return playback_ ? playback_->SetRange(start, end) : E_FAIL;
}

STDMETHODIMP ZephCsVltFileConverter::SetFade(LONG fadeIn, LONG fadeOut) {
    return playback_ ? playback_->SetFade(fadeIn, fadeOut) : E_FAIL;
}

HRESULT ZephCsVltFileConverter::Position(HRESULT (STDMETHODCALLTYPE IVltPlayback::*read)(LONG*), LONGLONG* out) {
    if (!playback_) return E_FAIL;
    if (!out) return E_POINTER;
    LONG value = 0;
    HRESULT hr = (playback_.get()->*read)(&value);
    if (SUCCEEDED(hr)) *out = value;
    return hr;
}

STDMETHODIMP ZephCsVltFileConverter::GetPosition(LONGLONG* position) {
    return Position(&IVltPlayback::GetPosition, position);
}

STDMETHODIMP ZephCsVltFileConverter::GetDuration(LONGLONG* duration) {
    return Position(&IVltPlayback::GetDuration, duration);
}

STDMETHODIMP ZephCsVltFileConverter::SetRate(LONG rate, LONG) { return playback_ ? playback_->SetRate(rate, 1) : E_FAIL; }

STDMETHODIMP ZephCsVltFileConverter::SetMarker(LONG, LONGLONG) { return E_FAIL; }

STDMETHODIMP ZephCsVltFileConverter::GetMarker(LONG, LONGLONG*) { return E_FAIL; }

STDMETHODIMP ZephCsVltFileConverter::ClearMarker(LONG, LONG) { return E_FAIL; }

STDMETHODIMP ZephCsVltFileConverter::GetState(LONG* state) {
    if (!playback_) return E_FAIL;
    if (!state) return E_POINTER;
    LONG library = 0;
    HRESULT hr = playback_->GetState(&library);
    if (FAILED(hr)) return hr;
    for (auto [from, to] : kStates)
        if (from == library) *state = to;
    return hr;
}

ComPtr<IBasicAudio> ZephCsVltFileConverter::Audio() {
    ComPtr<IBasicAudio> audio;
    if (!playback_ || !audio_) return audio;
    ComPtr<IUnknown> object;
    if (SUCCEEDED(audio_->GetBasicAudio(object.put())) && object)
        object->QueryInterface(IID_IBasicAudio, audio.put_void());
    return audio;
}

STDMETHODIMP ZephCsVltFileConverter::SetVolume(LONG volume) {
    ComPtr<IBasicAudio> audio = Audio();
    return audio ? audio->put_Volume(volume) : E_FAIL;
}

STDMETHODIMP ZephCsVltFileConverter::GetVolume(LONG* volume) {
    ComPtr<IBasicAudio> audio = Audio();
    if (!audio) return E_FAIL;
    if (!volume) return E_POINTER;
    long value = 0;
    HRESULT hr = audio->get_Volume(&value);
    *volume = value;
    return hr;
}

STDMETHODIMP ZephCsVltFileConverter::SetBalance(LONG balance) {
    ComPtr<IBasicAudio> audio = Audio();
    return audio ? audio->put_Balance(balance) : E_FAIL;
}

STDMETHODIMP ZephCsVltFileConverter::GetBalance(LONG* balance) {
    ComPtr<IBasicAudio> audio = Audio();
    if (!audio) return E_FAIL;
    if (!balance) return E_POINTER;
    long value = 0;
    HRESULT hr = audio->get_Balance(&value);
    *balance = value;
    return hr;
}

STDMETHODIMP ZephCsVltFileConverter::SetEqualizer(LONG, LONG) { return E_FAIL; }

STDMETHODIMP ZephCsVltFileConverter::GetEqualizer(LONG, LONG*) { return E_FAIL; }

STDMETHODIMP ZephCsVltFileConverter::SetEffect(LONG, LONG) { return E_FAIL; }

STDMETHODIMP ZephCsVltFileConverter::GetEffect(LONG, LONG*) { return E_FAIL; }

STDMETHODIMP ZephCsVltFileConverter::SetPlayerOwner(LONG owner) {
    owner_ = owner;
    return S_OK;
}

}  // namespace tandem::protected_audio
