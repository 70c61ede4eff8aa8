#include <gtest/gtest.h>

#include "bstr.h"
#include "converter.h"
#include "protected_audio_fixture.h"

namespace tandem::protected_audio::test {
namespace {

// Records the events a converter raises.
class EventRecorder : public ComObjectRoot, public IZephCsConverterCallback {
public:
    using Interfaces = InterfaceTable<IZephCsConverterCallback>;

    STDMETHODIMP OnConverterEvent(BSTR text, LONG code, LONG param, VARIANT value) override {
        EXPECT_EQ(SysStringLen(text), 0u);
        EXPECT_EQ(param, 0);
        EXPECT_EQ(V_VT(&value), VT_I4);
        events.push_back(code);
        return S_OK;
    }

    std::vector<LONG> events;
};

// A playback object that reports what the test sets.
class FakePlayback : public ComObjectRoot, public IVltPlayback {
public:
    using Interfaces = InterfaceTable<IVltPlayback>;

    static inline LONG state = 1;
    static inline LONG position = -1;

    STDMETHODIMP GetVersion(LONG* version) override {
        *version = 7;
        return S_OK;
    }
    STDMETHODIMP Reserved2() override { return S_OK; }
    STDMETHODIMP Reserved3() override { return S_OK; }
    STDMETHODIMP OpenFile(BSTR, LONG) override { return S_OK; }
    STDMETHODIMP CloseFile() override { return S_OK; }
    STDMETHODIMP Play() override { return S_OK; }
    STDMETHODIMP Stop() override { return S_OK; }
    STDMETHODIMP Pause() override { return S_OK; }
    STDMETHODIMP Resume() override { return S_OK; }
    STDMETHODIMP Seek(double) override { return S_OK; }
    STDMETHODIMP SetRepeat(LONG) override { return S_OK; }
    STDMETHODIMP FastForward() override { return S_OK; }
    STDMETHODIMP Rewind() override { return S_OK; }
    STDMETHODIMP Step() override { return S_OK; }
    STDMETHODIMP SetRange(LONG, LONG) override { return S_OK; }
    STDMETHODIMP SetFade(LONG, LONG) override { return S_OK; }
    STDMETHODIMP GetPosition(LONG* value) override {
        *value = position;
        return S_OK;
    }
    STDMETHODIMP GetDuration(LONG* value) override {
        *value = position * 2;
        return S_OK;
    }
    STDMETHODIMP SetRate(LONG rate, LONG scale) override { return rate == 3 && scale == 1 ? S_OK : E_INVALIDARG; }
    STDMETHODIMP GetState(LONG* value) override {
        *value = state;
        return S_OK;
    }
    STDMETHODIMP SetNotifyWindow(ULONG_PTR, UINT) override { return S_OK; }
};

class ConverterTest : public ProtectedAudioTest {
protected:
    ComPtr<IZephCsConverter> Converter(const std::wstring& path) {
        auto destination = MediaFor(L"");
        destination->PutProperty(11112, Variant::FromLong(3).get());
        ComPtr<IZephCsConverter> converter;
        EXPECT_EQ(Class()->GetConverter(IID_IZephCsMedia, MediaFor(path).get(), IID_IZephCsMedia, destination.get(),
                                        IID_IZephCsConverter, converter.put_void()),
                  S_OK);
        return converter;
    }

    // Delivers what the playback object posted to the converter's window.
    static void Pump() {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }

    template <class T>
    static ComPtr<T> As(const ComPtr<IZephCsConverter>& converter) {
        ComPtr<T> other;
        EXPECT_EQ(converter.as(other), S_OK);
        return other;
    }

    std::wstring song_ = folder_ / L"Song.vla";
};

TEST_F(ConverterTest, NoticesBecomeEventsOnTheCreatingThread) {
    WriteProtectedFile(song_, {}, {.audioBytes = 176 * 1000});
    auto converter = Converter(song_);
    auto recorder = MakeComObject<EventRecorder>();
    ASSERT_EQ(converter->SetConverterCallback(IID_IUnknown, static_cast<IZephCsConverterCallback*>(recorder.get())),
              S_OK);
    ASSERT_EQ(converter->OpenConverter(0), S_OK);
    Pump();
    EXPECT_EQ(recorder->events, std::vector<LONG>{5});

    auto player = As<IZephCsPlayer>(converter);
    recorder->events.clear();
    EXPECT_EQ(player->Play(), S_OK);
    EXPECT_EQ(player->Seek(0.25), S_OK);  // notice 2: no event
    EXPECT_EQ(player->Pause(1), S_OK);
    EXPECT_EQ(player->Pause(0), S_OK);
    EXPECT_EQ(player->Seek(5), S_OK);  // past the end: notice 12
    Pump();
    EXPECT_EQ(recorder->events, (std::vector<LONG>{6, 8, 9, 10}));

    LONG state = -5;
    EXPECT_EQ(player->GetState(&state), S_OK);
    EXPECT_EQ(state, 9);
    LONGLONG position = 0;
    EXPECT_EQ(player->GetPosition(&position), S_OK);
    EXPECT_EQ(position, 1000);
    EXPECT_EQ(player->GetPosition(nullptr), E_POINTER);

    EXPECT_EQ(converter->SetConverterCallback(IID_IUnknown, nullptr), S_OK);
    EXPECT_EQ(player->Stop(), S_OK);
    Pump();
    EXPECT_EQ(recorder->events.size(), 4u);
    EXPECT_EQ(converter->CloseConverter(), S_OK);
    EXPECT_EQ(player->Play(), E_FAIL);
}

TEST_F(ConverterTest, AudioLevelGoesToThePlaybackObject) {
    WriteProtectedFile(song_, {});
    auto converter = Converter(song_);
    auto audio = As<IZephCsAudio>(converter);
    EXPECT_EQ(audio->SetVolume(-100), E_FAIL);
    ASSERT_EQ(converter->OpenConverter(0), S_OK);
    EXPECT_EQ(audio->SetVolume(-100), S_OK);
    EXPECT_EQ(audio->SetBalance(250), S_OK);
    EXPECT_EQ(audio->SetVolume(5), E_INVALIDARG);
    LONG volume = 0, balance = 0, level = 0;
    EXPECT_EQ(audio->GetVolume(&volume), S_OK);
    EXPECT_EQ(audio->GetBalance(&balance), S_OK);
    EXPECT_EQ(volume, -100);
    EXPECT_EQ(balance, 250);
    EXPECT_EQ(audio->SetEqualizer(1, 2), E_FAIL);
    EXPECT_EQ(audio->GetEffect(1, &level), E_FAIL);
    EXPECT_EQ(As<IZephCsPlayerOwner>(converter)->SetPlayerOwner(42), S_OK);
}

TEST_F(ConverterTest, StatesWithoutARowLeaveTheValueAndPositionsAreSignExtended) {
    classes_.reset();
    classes_.emplace(true, false);
    auto fake = RegisterClassObject(CLSID_VltPlayback2, MakeComObject<ClassFactory<FakePlayback>>().get(),
                                    CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE);
    std::wstring clip = folder_ / L"clip.3gp";
    WriteProtectedFile(clip, {});
    auto converter = Converter(clip);
    ASSERT_EQ(converter->OpenConverter(0), S_OK);
    auto player = As<IZephCsPlayer>(converter);

    FakePlayback::state = 1;
    LONG state = 77;
    EXPECT_EQ(player->GetState(&state), S_OK);
    EXPECT_EQ(state, 77);
    FakePlayback::state = 13;
    EXPECT_EQ(player->GetState(&state), S_OK);
    EXPECT_EQ(state, 7);

    FakePlayback::position = -1;
    LONGLONG position = 0;
    EXPECT_EQ(player->GetPosition(&position), S_OK);
    EXPECT_EQ(position, -1);
    EXPECT_EQ(player->GetDuration(&position), S_OK);
    EXPECT_EQ(position, -2);
    EXPECT_EQ(player->SetRate(3, 99), S_OK);
    LONG version = 0;
    EXPECT_EQ(player->GetPlayerVersion(&version), S_OK);
    EXPECT_EQ(version, 7);
    EXPECT_EQ(player->SetMarker(1, 2), E_FAIL);
    EXPECT_EQ(player->GetMarker(1, &position), E_FAIL);
    EXPECT_EQ(player->ClearMarker(1, 2), E_FAIL);
    // No audio interface on this playback object.
    EXPECT_EQ(As<IZephCsAudio>(converter)->SetVolume(0), E_FAIL);
    EXPECT_EQ(converter->CloseConverter(), S_OK);
}

TEST_F(ConverterTest, OpeningRefusals) {
    WriteProtectedFile(song_, {});
    auto converter = MakeComObject<ZephCsVltFileConverter>();
    EXPECT_EQ(converter->OpenConverter(0), E_FAIL);
    EXPECT_EQ(converter->SetConverterCsManager(IID_IUnknown, nullptr), E_FAIL);

    auto destination = MediaFor(L"");
    destination->PutProperty(11112, Variant::FromLong(3).get());
    ASSERT_EQ(converter->SetConverterDestination(IID_IZephCsMedia, destination.get()), S_OK);
    EXPECT_EQ(converter->SetConverterDestination(IID_IZephCsMedia, nullptr), S_OK);

    std::wstring other = folder_ / L"Song.vlt";
    WriteProtectedFile(other, {});
    ASSERT_EQ(converter->SetConverterSource(IID_IZephCsMedia, MediaFor(other).get()), S_OK);
    EXPECT_EQ(converter->OpenConverter(0), E_FAIL);

    // The earlier destination is still held.
    ASSERT_EQ(converter->SetConverterSource(IID_IZephCsMedia, MediaFor(song_).get()), S_OK);
    EXPECT_EQ(converter->OpenConverter(0), S_OK);

    std::wstring locked = folder_ / L"locked.vla";
    WriteProtectedFile(locked, {}, {.flags = vlt::kLockedFlag});
    ASSERT_EQ(converter->SetConverterSource(IID_IZephCsMedia, MediaFor(locked).get()), S_OK);
    EXPECT_EQ(converter->OpenConverter(0), static_cast<HRESULT>(0x80040403));
    EXPECT_EQ(converter->Play(), E_FAIL);

    ASSERT_EQ(converter->SetConverterSource(IID_IZephCsMedia, MediaFor(folder_ / L"gone.vla").get()), S_OK);
    EXPECT_EQ(converter->OpenConverter(0), static_cast<HRESULT>(0x80040402));

    // A callback object without the callback interface is refused.
    auto notCallback = MediaFor(L"");
    EXPECT_EQ(converter->SetConverterCallback(IID_IUnknown, notCallback.get()), E_NOINTERFACE);
}

}  // namespace
}  // namespace tandem::protected_audio::test
