#pragma once

#include <windows.h>
#include <control.h>

#include "VltLib.h"
#include "ZephCs.h"
#include "bstr.h"
#include "com/com_object.h"
#include "unique_resource.h"

namespace tandem::protected_audio {

struct WindowTraits {
    using type = HWND;
    static type invalid() noexcept { return nullptr; }
    static bool valid(type h) noexcept { return h != nullptr; }
    static void close(type h) noexcept { DestroyWindow(h); }
};
using UniqueWindow = UniqueResource<WindowTraits>;

// The message number playback objects post their notices with.
UINT PlaybackMessage() noexcept;

// Plays a protected file: playback control and audio level for the
// framework, and the playback object's notices as callback events raised on
// the thread that created the converter.
class ZephCsVltFileConverter : public ComObjectRoot,
                               public IZephCsConverter,
                               public IZephCsPlayer,
                               public IZephCsAudio,
                               public IZephCsPlayerOwner {
public:
    using Interfaces = InterfaceTable<IZephCsConverter, IZephCsPlayer, IZephCsAudio, IZephCsPlayerOwner>;

    // The hidden window that receives the notices; raises E_FAIL without it.
    void FinalConstruct();

    STDMETHODIMP SetConverterCsManager(REFIID iid, IUnknown* manager) override;
    STDMETHODIMP SetConverterSource(REFIID iid, IZephCsMedia* source) override;
    STDMETHODIMP SetConverterDestination(REFIID iid, IZephCsMedia* destination) override;
    STDMETHODIMP SetConverterCallback(REFIID iid, IUnknown* callback) override;
    STDMETHODIMP OpenConverter(LONG option) override;
    STDMETHODIMP CloseConverter() override;

    STDMETHODIMP GetPlayerVersion(LONG* value) override;
    STDMETHODIMP Play() override;
    STDMETHODIMP Stop() override;
    STDMETHODIMP Pause(LONG pause) override;
    STDMETHODIMP Seek(double seconds) override;
    STDMETHODIMP SetRepeat(LONG repeat) override;
    STDMETHODIMP FastForward() override;
    STDMETHODIMP Rewind() override;
    STDMETHODIMP Step() override;
    STDMETHODIMP SetRange(LONG start, LONG end) override;
    STDMETHODIMP SetFade(LONG fadeIn, LONG fadeOut) override;
    STDMETHODIMP GetPosition(LONGLONG* position) override;
    STDMETHODIMP GetDuration(LONGLONG* duration) override;
    STDMETHODIMP SetRate(LONG rate, LONG reserved) override;
    STDMETHODIMP SetMarker(LONG id, LONGLONG position) override;
    STDMETHODIMP GetMarker(LONG id, LONGLONG* position) override;
    STDMETHODIMP ClearMarker(LONG id, LONG reserved) override;
    STDMETHODIMP GetState(LONG* state) override;

    STDMETHODIMP SetVolume(LONG volume) override;
    STDMETHODIMP GetVolume(LONG* volume) override;
    STDMETHODIMP SetBalance(LONG balance) override;
    STDMETHODIMP GetBalance(LONG* balance) override;
    STDMETHODIMP SetEqualizer(LONG band, LONG level) override;
    STDMETHODIMP GetEqualizer(LONG band, LONG* level) override;
    STDMETHODIMP SetEffect(LONG effect, LONG level) override;
    STDMETHODIMP GetEffect(LONG effect, LONG* level) override;

    STDMETHODIMP SetPlayerOwner(LONG owner) override;

    // A notice of the playback object, as its window received it.
    void OnNotice(WPARAM notice);

private:
    HRESULT CreatePlayback(const std::wstring& path);
    HRESULT Open();
    HRESULT Position(HRESULT (STDMETHODCALLTYPE IVltPlayback::*read)(LONG*), LONGLONG* out);
    ComPtr<IBasicAudio> Audio();

    ComPtr<IZephCsManager> manager_;
    IZephCsConverterCallback* callback_ = nullptr;  // kept alive by the caller
    ComPtr<IZephCsMedia> source_;
    ComPtr<IZephCsMedia> destination_;
    Bstr sourcePath_;
    ComPtr<IVltPlaybackFactory> library_;
    ComPtr<IVltPlayback> playback_;
    ComPtr<IVltPlaybackAudio> audio_;
    LONG owner_ = -1;
    // Destroyed first, so no notice reaches a converter being torn down.
    UniqueWindow window_;
};

}  // namespace tandem::protected_audio
