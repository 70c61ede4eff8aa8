#include <gtest/gtest.h>

#include <fstream>

#include "bstr.h"
#include "playback.h"
#include "strings.h"
#include "tag_block.h"
#include "unique_resource.h"

namespace tandem::vlt {
namespace {

struct WindowTraits {
    using type = HWND;
    static type invalid() noexcept { return nullptr; }
    static bool valid(type h) noexcept { return h != nullptr; }
    static void close(type h) noexcept { DestroyWindow(h); }
};

class PlaybackTest : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t folder[MAX_PATH];
        GetTempPathW(MAX_PATH, folder);
        path_ = std::wstring(folder) + L"playback-" + NewGuidId() + L".vla";
        auto block = SerializeTagBlock({0, {{4615, {std::wstring(L"Song")}}}});
        std::ofstream out(path_.c_str(), std::ios::binary);
        out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(block.size()));
        out << std::string(176 * 2000, 'a');  // two seconds of audio
        window_.reset(CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr));
        ASSERT_TRUE(window_);
    }
    void TearDown() override { DeleteFileW(path_.c_str()); }

    std::vector<WPARAM> Notices() {
        std::vector<WPARAM> notices;
        MSG msg;
        while (PeekMessageW(&msg, window_.get(), kMessage, kMessage, PM_REMOVE)) notices.push_back(msg.wParam);
        return notices;
    }
    LONG State() {
        LONG state = 0;
        EXPECT_EQ(playback_->GetState(&state), S_OK);
        return state;
    }

    static constexpr UINT kMessage = WM_APP + 7;
    std::wstring path_;
    UniqueResource<WindowTraits> window_;
    ComPtr<ComObject<Playback>> playback_ = MakeComObject<Playback>();
};

TEST_F(PlaybackTest, OperationsMoveTheStateAndPostTheirNotices) {
    ASSERT_EQ(playback_->SetNotifyWindow(reinterpret_cast<ULONG_PTR>(window_.get()), kMessage), S_OK);
    EXPECT_EQ(State(), kStateClosed);
    EXPECT_EQ(playback_->Play(), VLT_E_NOT_OPEN);

    ASSERT_EQ(playback_->OpenFile(Bstr(path_).get(), 0), S_OK);
    LONG duration = 0;
    EXPECT_EQ(playback_->GetDuration(&duration), S_OK);
    EXPECT_EQ(duration, 2000);
    EXPECT_EQ(playback_->Play(), S_OK);
    EXPECT_EQ(playback_->Pause(), S_OK);
    EXPECT_EQ(State(), kStatePaused);
    EXPECT_EQ(playback_->Resume(), S_OK);
    EXPECT_EQ(playback_->Seek(0.5), S_OK);
    LONG position = 0;
    EXPECT_EQ(playback_->GetPosition(&position), S_OK);
    EXPECT_EQ(position, 500);
    EXPECT_EQ(playback_->Seek(3), S_OK);
    EXPECT_EQ(State(), kStateFinished);
    EXPECT_EQ(playback_->Stop(), S_OK);

    EXPECT_EQ(Notices(), (std::vector<WPARAM>{kNoticeOpened, kNoticeStarted, kNoticePaused, kNoticeResumed,
                                              kNoticePosition, kNoticeFinished, kNoticeStopped}));
    EXPECT_EQ(playback_->CloseFile(), S_OK);
    EXPECT_EQ(State(), kStateClosed);
}

TEST_F(PlaybackTest, AudioLevelIsKeptWithinItsRange) {
    ComPtr<IBasicAudio> audio;
    ASSERT_EQ(playback_->QueryInterface(IID_IBasicAudio, audio.put_void()), S_OK);
    EXPECT_EQ(audio->put_Volume(-2500), S_OK);
    EXPECT_EQ(audio->put_Volume(1), E_INVALIDARG);
    EXPECT_EQ(audio->put_Balance(10000), S_OK);
    EXPECT_EQ(audio->put_Balance(-10001), E_INVALIDARG);
    long volume = 0, balance = 0;
    EXPECT_EQ(audio->get_Volume(&volume), S_OK);
    EXPECT_EQ(audio->get_Balance(&balance), S_OK);
    EXPECT_EQ(volume, -2500);
    EXPECT_EQ(balance, 10000);
}

TEST_F(PlaybackTest, MissingFileIsNotOpened) {
    EXPECT_TRUE(FAILED(playback_->OpenFile(Bstr(path_ + L".gone").get(), 0)));
    EXPECT_EQ(State(), kStateClosed);
}

}  // namespace
}  // namespace tandem::vlt
