// Loading clips that render_tests.sh made with ffmpeg: failure codes, files without video,
// still pictures' stop time, and a file rendered for two outputs.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>

#include "geometry.h"
#include "render_ids.h"
#include "test_support.h"
#include "variants.h"

using Microsoft::WRL::ComPtr;

namespace {

// A windowed renderer (classic video renderer) that shows the test the graph it built.
struct ProbeRenderer : Probe<RHWindowedRenderer> {
    ProbeRenderer(const MediaItem &item, HWND window, bool classic = true)
        : Probe(item, window, classic) {}
    void AddOutput() { outputs_.push_back(std::make_unique<VideoOutput>()); }
    IGraphBuilder *Graph() const { return graph_.Get(); }
    IVideoWindow *Window(size_t i) const { return outputs_[i]->window.Get(); }
    SIZE Native() const { return {nativeWidth_, nativeHeight_}; }
    DWORD Duration() const { return pictureDuration_; }
    REFTIME StopTime() const
    {
        REFTIME stop = -1;
        if (position_)
            position_->get_StopTime(&stop);
        return stop;
    }
    // The volumes of the graph's audio renderers.
    std::vector<long> AudioVolumes() const
    {
        std::vector<long> volumes;
        ComPtr<IEnumFilters> filters;
        graph_->EnumFilters(&filters);
        for (ComPtr<IBaseFilter> f; filters->Next(1, f.ReleaseAndGetAddressOf(), nullptr) == S_OK;) {
            ComPtr<IBasicAudio> audio;
            long v = 1;
            if (SUCCEEDED(f->QueryInterface(IID_IBasicAudio,
                                            reinterpret_cast<void **>(audio.GetAddressOf()))) &&
                SUCCEEDED(audio->get_Volume(&v)))
                volumes.push_back(v);
        }
        return volumes;
    }
};

class Loading : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (ClipPath(L"").empty())
            GTEST_SKIP() << "RH_MEDIA_DIR not set (run through render_tests.sh)";
        ASSERT_TRUE(window_);
    }
    ComApartment com_{COINIT_MULTITHREADED};
    UniqueWindow window_ = CreatePlayerWindow(320, 240);
};

TEST_F(Loading, FailuresLeaveNoGraph)
{
    const std::pair<const wchar_t *, HRESULT> cases[] = {
        {L"missing.avi", HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)},
        {L"garbage.avi", 0},   // any failure the framework reports
        {L"tone.wav", kNoVideoResult},
    };
    for (auto [clip, expected] : cases) {
        for (bool classic : {false, true}) {
            const MediaItem item = TestItem(ClipPath(clip));
            ProbeRenderer renderer(item, window_.get(), classic);
            const HRESULT hr = LoadShown(renderer);
            EXPECT_TRUE(expected ? hr == expected : FAILED(hr))
                << HrText(hr) << " for " << clip << ", classic " << classic;
            EXPECT_EQ(renderer.Graph(), nullptr);
            EXPECT_EQ(renderer.Filled(), 0u);
            EXPECT_HR(E_UNEXPECTED, renderer.RunGraph());
            EXPECT_TRUE(renderer.TakeCompletion());
            EXPECT_EQ(WaitForSingleObject(renderer.GetEventHandle(), 0), DWORD(WAIT_TIMEOUT));
        }
    }
}

TEST_F(Loading, VideoPlaysToCompletionAndKeepsItsPosition)
{
    const MediaItem item = TestItem(ClipPath(L"red.avi"));
    ProbeRenderer renderer(item, window_.get());
    renderer.SetInputRouting(true);   // stored now, applied by the load
    ASSERT_HR(S_OK, LoadShown(renderer));
    EXPECT_EQ(std::pair(renderer.Native().cx, renderer.Native().cy), std::pair(320L, 240L));
    OAHWND owner = 0, drain = 0;
    renderer.Window(0)->get_Owner(&owner);
    renderer.Window(0)->get_MessageDrain(&drain);
    EXPECT_EQ(std::pair(owner, drain), std::pair(OAHWND(window_.get()), OAHWND(window_.get())));
    renderer.SetInputRouting(false);
    renderer.Window(0)->get_MessageDrain(&drain);
    EXPECT_EQ(drain, 0);

    renderer.Seek(1.5);
    EXPECT_NEAR(renderer.CurrentPosition(), 1.5, 0.01);
    renderer.SetRate(2.0f);
    const HRESULT running = renderer.RunGraph();
    ASSERT_TRUE(SUCCEEDED(running)) << HrText(running);
    bool completed = false;
    for (DWORD start = GetTickCount(); !completed && GetTickCount() - start < 5000;) {
        HANDLE event = renderer.GetEventHandle();
        completed = MsgWaitForMultipleObjects(1, &event, FALSE, 50, QS_ALLINPUT) == WAIT_OBJECT_0 &&
                    renderer.TakeCompletion();
        PumpMessages(0);
    }
    EXPECT_TRUE(completed) << "no completion within 5 s";
    renderer.StopGraph();
    renderer.Seek(0.75);
    renderer.Unload();
    EXPECT_EQ(renderer.Graph(), nullptr);
    EXPECT_EQ(renderer.Native().cx, 320);
    EXPECT_NEAR(renderer.CurrentPosition(), 0.75, 0.01);   // saved by the unload
}

TEST_F(Loading, TwoOutputsShowTwoWindowsAndHearOneSoundtrack)
{
    const MediaItem item = TestItem(ClipPath(L"tone.avi"));
    ProbeRenderer renderer(item, window_.get());
    renderer.AddOutput();
    ASSERT_HR(S_OK, LoadShown(renderer));
    EXPECT_EQ(renderer.Filled(), 2u);
    EXPECT_NE(renderer.Window(0), renderer.Window(1));
    renderer.SetVolume(50);
    std::vector<long> volumes = renderer.AudioVolumes();
    std::sort(volumes.begin(), volumes.end());
    EXPECT_EQ(volumes, (std::vector<long>{kSilentVolume, -1000}));
}

// Wine's graph ends a still at once whatever its stop time, so the setting is what is checked.
TEST_F(Loading, StillPicturesGetTheDisplayDuration)
{
    // A JPEG with and without the value, and a PNG (not among the still types) with it.
    const DWORD two = 2;
    const std::tuple<const wchar_t *, const DWORD *, double> cases[] = {
        {L"red.JPG", &two, 2.0}, {L"red.png", &two, -1}, {L"red.JPG", nullptr, -1}};
    for (auto [clip, seconds, stop] : cases) {
        ScopedDword value(kReelhavenKey, L"PictureDisplayDuration", seconds);
        const MediaItem item = TestItem(ClipPath(clip));
        ProbeRenderer renderer(item, window_.get());
        EXPECT_EQ(renderer.Duration(), seconds ? *seconds : 0u);
        ASSERT_HR(S_OK, LoadShown(renderer));
        if (stop > 0)
            EXPECT_DOUBLE_EQ(renderer.StopTime(), stop);
        else
            EXPECT_NE(renderer.StopTime(), 2.0);
    }
}

}  // namespace
