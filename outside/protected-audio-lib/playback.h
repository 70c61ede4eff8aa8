#pragma once

#include <windows.h>
#include <control.h>

#include <string>

#include "VltLib.h"
#include "com/com_object.h"
#include "sync_lock.h"

// The platform header declares the interface without its identifier for __uuidof.
__CRT_UUID_DECL(IBasicAudio, 0x56a868b3, 0x0ad4, 0x11ce, 0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7, 0x70)

namespace tandem::vlt {

// Library states and notification codes of a playback object.
enum PlaybackState : LONG {
    kStateClosed = 1, kStateStopped = 2, kStatePlaying = 3, kStatePaused = 4,
    kStateForward = 5, kStateRewind = 6, kStateStepping = 13, kStateFinished = 11
};
enum PlaybackNotice : WPARAM {
    kNoticeOpened = 1, kNoticePosition = 2, kNoticePaused = 8, kNoticeResumed = 9,
    kNoticeFinished = 12, kNoticeStarted = 19, kNoticeStopped = 20
};

// Playback of one file as a small state machine; every change is posted to
// the registered window as its message, with the notice in wParam.
class Playback : public ComObjectRoot, public IVltPlayback, public IVltPlaybackAudio, public IBasicAudio {
public:
    using Interfaces = InterfaceTable<IVltPlayback, IVltPlaybackAudio, IBasicAudio>;

    STDMETHODIMP GetVersion(LONG* version) override;
    STDMETHODIMP Reserved2() override { return S_OK; }
    STDMETHODIMP Reserved3() override { return S_OK; }
    STDMETHODIMP OpenFile(BSTR path, LONG flags) override;
    STDMETHODIMP CloseFile() override;
    STDMETHODIMP Play() override;
    STDMETHODIMP Stop() override;
    STDMETHODIMP Pause() override;
    STDMETHODIMP Resume() override;
    STDMETHODIMP Seek(double seconds) override;
    STDMETHODIMP SetRepeat(LONG repeat) override;
    STDMETHODIMP FastForward() override;
    STDMETHODIMP Rewind() override;
    STDMETHODIMP Step() override;
    STDMETHODIMP SetRange(LONG start, LONG end) override;
    STDMETHODIMP SetFade(LONG fadeIn, LONG fadeOut) override;
    STDMETHODIMP GetPosition(LONG* position) override;
    STDMETHODIMP GetDuration(LONG* duration) override;
    STDMETHODIMP SetRate(LONG rate, LONG scale) override;
    STDMETHODIMP GetState(LONG* state) override;
    STDMETHODIMP SetNotifyWindow(ULONG_PTR window, UINT message) override;

    STDMETHODIMP GetBasicAudio(IUnknown** audio) override;

    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP put_Volume(long volume) override;
    STDMETHODIMP get_Volume(long* volume) override;
    STDMETHODIMP put_Balance(long balance) override;
    STDMETHODIMP get_Balance(long* balance) override;

private:
    // Moves to state when the object is in one of the states it may come from.
    HRESULT Move(std::initializer_list<LONG> from, LONG to, WPARAM notice);
    void Notify(WPARAM notice);

    CSyncLock lock_;
    LONG state_ = kStateClosed;
    std::wstring path_;
    LONG duration_ = 0;
    LONG position_ = 0;
    LONG repeat_ = 0;
    LONG rate_ = 1;
    HWND window_ = nullptr;
    UINT message_ = 0;
    long volume_ = 0;
    long balance_ = 0;
};

}  // namespace tandem::vlt
