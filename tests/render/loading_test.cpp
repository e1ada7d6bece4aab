// Loading real clips (made by the wrapper with ffmpeg) into a media graph: failure codes,
// files without video, still pictures with their display duration, and a file rendered for
// two outputs.
#include <gtest/gtest.h>

#include "geometry.h"
#include "render_ids.h"
#include "test_support.h"
#include "variants.h"

using Microsoft::WRL::ComPtr;

namespace {

// A windowed renderer that lets the test look at the graph it built.
class ProbeRenderer : public RHWindowedRenderer {
public:
    using RHWindowedRenderer::RHWindowedRenderer;
    void AddOutput() { outputs_.push_back(std::make_unique<VideoOutput>()); }
    size_t FilledOutputs() const
    {
        size_t n = 0;
        for (auto &o : outputs_)
            n += o->window != nullptr;
        return n;
    }
    IGraphBuilder *Graph() const { return graph_.Get(); }
    IMediaPosition *Position() const { return position_.Get(); }
    IVideoWindow *Window(size_t i) const { return outputs_[i]->window.Get(); }
    SIZE Native() const { return {nativeWidth_, nativeHeight_}; }
    DWORD PictureDuration() const { return pictureDuration_; }
    // Volumes of the audio renderers in the graph, in the graph's order.
    std::vector<long> AudioVolumes() const
    {
        std::vector<long> volumes;
        ComPtr<IEnumFilters> filters;
        if (!graph_ || FAILED(graph_->EnumFilters(&filters)))
            return volumes;
        ComPtr<IBaseFilter> filter;
        while (filters->Next(1, filter.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
            ComPtr<IBasicAudio> audio;
            if (SUCCEEDED(filter->QueryInterface(IID_IBasicAudio,
                                                 reinterpret_cast<void **>(audio.GetAddressOf())))) {
                long v = 1;
                audio->get_Volume(&v);
                volumes.push_back(v);
            }
        }
        return volumes;
    }
};

class Loading : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!HaveClips())
            GTEST_SKIP() << "RH_MEDIA_DIR not set (run through render_tests.sh)";
        window_ = CreateFramedWindow(320, 240);
        ASSERT_TRUE(window_);
    }
    ComApartment com_{COINIT_MULTITHREADED};
    UniqueWindow window_;
};

// Waits (bounded) for the completion event, pumping messages; returns the milliseconds taken
// or -1.
int WaitForCompletion(RHRenderer &renderer, DWORD limit)
{
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < limit) {
        HANDLE event = renderer.GetEventHandle();
        if (MsgWaitForMultipleObjects(1, &event, FALSE, 50, QS_ALLINPUT) == WAIT_OBJECT_0 &&
            renderer.TakeCompletion())
            return static_cast<int>(GetTickCount() - start);
        PumpMessages(0);
    }
    return -1;
}

TEST_F(Loading, FailuresLeaveNoGraph)
{
    struct Case {
        const wchar_t *clip;
        HRESULT expected;   // 0: any failure
    } cases[] = {
        {L"missing.avi", HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)},
        {L"garbage.avi", 0},
        {L"tone.wav", kNoVideoResult},
    };
    for (const Case &c : cases) {
        for (bool classic : {false, true}) {
            TestItem item(ClipPath(c.clip));
            ProbeRenderer renderer(&item.item, window_.get(), classic);
            const HRESULT hr = renderer.LoadFile();
            if (c.expected != 0)
                EXPECT_EQ(hr, c.expected) << std::hex << "0x" << hr;
            else
                EXPECT_TRUE(FAILED(hr)) << std::hex << "0x" << hr;
            EXPECT_EQ(renderer.Graph(), nullptr);
            EXPECT_EQ(renderer.FilledOutputs(), 0u);
            // Without a graph: nothing runs, the placeholder event never fires.
            EXPECT_EQ(renderer.RunGraph(), E_UNEXPECTED);
            EXPECT_TRUE(renderer.TakeCompletion());
            EXPECT_EQ(WaitForSingleObject(renderer.GetEventHandle(), 0), DWORD(WAIT_TIMEOUT));
        }
    }
}

TEST_F(Loading, VideoPlaysToCompletionAndKeepsItsPosition)
{
    TestItem item(ClipPath(L"red.avi"));
    ProbeRenderer renderer(&item.item, window_.get(), true);
    renderer.SetInputRouting(true);   // stored now, applied by the load
    ASSERT_EQ(renderer.LoadFile(), S_OK);
    EXPECT_EQ(renderer.Native().cx, 320);
    EXPECT_EQ(renderer.Native().cy, 240);
    OAHWND owner = 0, drain = 0;
    ASSERT_NE(renderer.Window(0), nullptr);
    renderer.Window(0)->get_Owner(&owner);
    EXPECT_EQ(reinterpret_cast<HWND>(owner), window_.get());
    renderer.Window(0)->get_MessageDrain(&drain);
    EXPECT_EQ(reinterpret_cast<HWND>(drain), window_.get());
    renderer.SetInputRouting(false);
    renderer.Window(0)->get_MessageDrain(&drain);
    EXPECT_EQ(drain, 0);

    renderer.Seek(1.5);
    EXPECT_NEAR(renderer.CurrentPosition(), 1.5, 0.01);
    renderer.SetRate(2.0f);
    ASSERT_TRUE(SUCCEEDED(renderer.RunGraph()));
    const int took = WaitForCompletion(renderer, 5000);
    EXPECT_GE(took, 0) << "no completion within 5 s";
    renderer.StopGraph();
    renderer.Seek(0.75);
    renderer.Unload();
    EXPECT_EQ(renderer.Graph(), nullptr);
    EXPECT_NEAR(renderer.CurrentPosition(), 0.75, 0.01);
    EXPECT_EQ(renderer.Native().cx, 320);   // kept for the layout of the unloaded renderer
}

TEST_F(Loading, TwoOutputsShowTwoWindowsAndHearOneSoundtrack)
{
    TestItem item(ClipPath(L"tone.avi"));
    ProbeRenderer renderer(&item.item, window_.get(), true);
    renderer.AddOutput();
    ASSERT_EQ(renderer.LoadFile(), S_OK);
    EXPECT_EQ(renderer.FilledOutputs(), 2u);
    EXPECT_NE(renderer.Window(0), renderer.Window(1));
    renderer.SetVolume(50);
    const std::vector<long> volumes = renderer.AudioVolumes();
    ASSERT_EQ(volumes.size(), 2u);
    // One of the two audio renderers carries the volume, the other is silenced.
    EXPECT_EQ(std::min(volumes[0], volumes[1]), kSilentVolume);
    EXPECT_EQ(std::max(volumes[0], volumes[1]), -1000);
}

TEST_F(Loading, StillPicturesGetTheDisplayDuration)
{
    const DWORD two = 2;
    {
        PictureDurationValue value(&two);
        TestItem jpeg(ClipPath(L"red.JPG"));
        ProbeRenderer renderer(&jpeg.item, window_.get(), true);
        EXPECT_EQ(renderer.PictureDuration(), 2u);
        ASSERT_EQ(renderer.LoadFile(), S_OK);
        REFTIME stop = 0;
        ASSERT_NE(renderer.Position(), nullptr);
        renderer.Position()->get_StopTime(&stop);
        EXPECT_DOUBLE_EQ(stop, 2.0);
        // Wine's graph ends a still at once whatever its stop time, so only the setting is
        // checked here.

        TestItem png(ClipPath(L"red.png"));
        ProbeRenderer pngRenderer(&png.item, window_.get(), true);
        ASSERT_EQ(pngRenderer.LoadFile(), S_OK);
        pngRenderer.Position()->get_StopTime(&stop);
        EXPECT_NE(stop, 2.0);
    }
    PictureDurationValue none(nullptr);
    TestItem jpeg(ClipPath(L"red.JPG"));
    ProbeRenderer renderer(&jpeg.item, window_.get(), true);
    EXPECT_EQ(renderer.PictureDuration(), 0u);
    ASSERT_EQ(renderer.LoadFile(), S_OK);
    REFTIME stop = -1;
    renderer.Position()->get_StopTime(&stop);
    EXPECT_NE(stop, 2.0);
}

}  // namespace
