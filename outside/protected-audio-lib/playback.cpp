#include "playback.h"

#include <algorithm>

#include "error.h"
#include "tag_block.h"
#include "tag_handler.h"

namespace tandem::vlt {

namespace {

// Bytes of audio per millisecond the stand-in assumes: 44.1 kHz, 16-bit stereo.
constexpr std::size_t kBytesPerMillisecond = 176;

}  // namespace

void Playback::Notify(WPARAM notice) {
    if (window_) PostMessageW(window_, message_, notice, 0);
}

HRESULT Playback::Move(std::initializer_list<LONG> from, LONG to, WPARAM notice) {
    CSyncLockHolder hold(lock_);
    if (std::find(from.begin(), from.end(), state_) == from.end()) return VLT_E_NOT_OPEN;
    state_ = to;
    Notify(notice);
    return S_OK;
}

STDMETHODIMP Playback::GetVersion(LONG* version) {
    if (!version) return E_POINTER;
    *version = 0x0100;
    return S_OK;
}

STDMETHODIMP Playback::OpenFile(BSTR path, LONG) {
    if (!path || !*path) return E_INVALIDARG;
    return CatchHr([&] {
        std::vector<std::byte> bytes = ReadWholeFile(path);
        ParsedFile parsed = ParseTagFile(bytes);
        if (parsed.block.flags & kLockedFlag) ThrowHr(VLT_E_NOT_OPEN);
        CSyncLockHolder hold(lock_);
        if (state_ != kStateClosed) ThrowHr(VLT_E_NOT_OPEN);
        path_ = path;
        duration_ = static_cast<LONG>(std::min<std::size_t>((bytes.size() - parsed.blockLength) / kBytesPerMillisecond,
                                                            0x7FFFFFFF));
        position_ = 0;
        state_ = kStateStopped;
        Notify(kNoticeOpened);
    });
}

STDMETHODIMP Playback::CloseFile() {
    CSyncLockHolder hold(lock_);
    state_ = kStateClosed;
    path_.clear();
    return S_OK;
}

STDMETHODIMP Playback::Play() {
    return Move({kStateStopped, kStatePaused, kStateForward, kStateRewind, kStateFinished, kStateStepping},
                kStatePlaying, kNoticeStarted);
}

STDMETHODIMP Playback::Stop() {
    HRESULT hr = Move({kStatePlaying, kStatePaused, kStateForward, kStateRewind, kStateFinished, kStateStepping,
                       kStateStopped},
                      kStateStopped, kNoticeStopped);
    CSyncLockHolder hold(lock_);
    if (SUCCEEDED(hr)) position_ = 0;
    return hr;
}

STDMETHODIMP Playback::Pause() { return Move({kStatePlaying}, kStatePaused, kNoticePaused); }

STDMETHODIMP Playback::Resume() { return Move({kStatePaused}, kStatePlaying, kNoticeResumed); }

STDMETHODIMP Playback::Seek(double seconds) {
    if (!(seconds >= 0)) return E_INVALIDARG;
    CSyncLockHolder hold(lock_);
    if (state_ == kStateClosed) return VLT_E_NOT_OPEN;
    double milliseconds = seconds * 1000;
    if (milliseconds >= duration_) {
        position_ = duration_;
        state_ = kStateFinished;
        Notify(kNoticeFinished);
    } else {
        position_ = static_cast<LONG>(milliseconds);
        Notify(kNoticePosition);
    }
    return S_OK;
}

STDMETHODIMP Playback::SetRepeat(LONG repeat) {
    CSyncLockHolder hold(lock_);
    repeat_ = repeat;
    return S_OK;
}

STDMETHODIMP Playback::FastForward() { return Move({kStatePlaying, kStateRewind}, kStateForward, kNoticePosition); }

STDMETHODIMP Playback::Rewind() { return Move({kStatePlaying, kStateForward}, kStateRewind, kNoticePosition); }

STDMETHODIMP Playback::Step() { return Move({kStatePaused, kStateStopped}, kStateStepping, kNoticePosition); }

STDMETHODIMP Playback::SetRange(LONG start, LONG end) { return start >= 0 && end >= start ? S_OK : E_INVALIDARG; }

STDMETHODIMP Playback::SetFade(LONG fadeIn, LONG fadeOut) { return fadeIn >= 0 && fadeOut >= 0 ? S_OK : E_INVALIDARG; }

STDMETHODIMP Playback::GetPosition(LONG* position) {
    if (!position) return E_POINTER;
    CSyncLockHolder hold(lock_);
    *position = position_;
    return state_ == kStateClosed ? VLT_E_NOT_OPEN : S_OK;
}

STDMETHODIMP Playback::GetDuration(LONG* duration) {
    if (!duration) return E_POINTER;
    CSyncLockHolder hold(lock_);
    *duration = state_ == kStateClosed ? -1 : duration_;
    return state_ == kStateClosed ? VLT_E_NOT_OPEN : S_OK;
}

STDMETHODIMP Playback::SetRate(LONG rate, LONG) {
    if (rate <= 0) return E_INVALIDARG;
    CSyncLockHolder hold(lock_);
    rate_ = rate;
    return S_OK;
}

STDMETHODIMP Playback::GetState(LONG* state) {
    if (!state) return E_POINTER;
    CSyncLockHolder hold(lock_);
    *state = state_;
    return S_OK;
}

STDMETHODIMP Playback::SetNotifyWindow(ULONG_PTR window, UINT message) {
    HWND target = reinterpret_cast<HWND>(window);
    if (target && !IsWindow(target)) return E_INVALIDARG;
    CSyncLockHolder hold(lock_);
    window_ = target;
    message_ = message;
    // A window registered after the file was opened learns of the open file.
    if (state_ != kStateClosed) Notify(kNoticeOpened);
    return S_OK;
}

STDMETHODIMP Playback::GetBasicAudio(IUnknown** audio) {
    if (!audio) return E_POINTER;
    *audio = static_cast<IBasicAudio*>(this);
    (*audio)->AddRef();
    return S_OK;
}

STDMETHODIMP Playback::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}

STDMETHODIMP Playback::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info) *info = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP Playback::put_Volume(long volume) {
    if (volume < -10000 || volume > 0) return E_INVALIDARG;
    CSyncLockHolder hold(lock_);
    volume_ = volume;
    return S_OK;
}

STDMETHODIMP Playback::get_Volume(long* volume) {
    if (!volume) return E_POINTER;
    CSyncLockHolder hold(lock_);
    *volume = volume_;
    return S_OK;
}

STDMETHODIMP Playback::put_Balance(long balance) {
    if (balance < -10000 || balance > 10000) return E_INVALIDARG;
    CSyncLockHolder hold(lock_);
    balance_ = balance;
    return S_OK;
}

STDMETHODIMP Playback::get_Balance(long* balance) {
    if (!balance) return E_POINTER;
    CSyncLockHolder hold(lock_);
    *balance = balance_;
    return S_OK;
}

}  // namespace tandem::vlt
