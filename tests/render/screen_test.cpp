// On-screen cases: a solid red (or red|blue) clip through the classic video renderer lands
// where the geometry puts it, on the monitor layouts the wrapper sets up (one 1920 x 1080
// monitor; or 1280 x 720 and 1024 x 768 side by side), and moves by the bounce step.
// The wrapper takes the screenshots; the expected rectangles are worked out by hand.
#include <gtest/gtest.h>

#include <string>

#include "monitor_layout.h"
#include "test_support.h"
#include "variants.h"

namespace {

enum class Colour { Red, Blue, Black };

const char *Name(Colour c)
{
    return c == Colour::Red ? "red" : c == Colour::Blue ? "blue" : "black";
}

bool Matches(const Rgb &p, Colour c)
{
    switch (c) {
    case Colour::Red: return p.r > 180 && p.g < 80 && p.b < 80;
    case Colour::Blue: return p.b > 180 && p.r < 80 && p.g < 80;
    case Colour::Black: return p.r < 40 && p.g < 40 && p.b < 40;
    }
    return false;
}

// Points to look at in one screenshot, each with the colour it should have.
class ScreenCheck {
public:
    void Expect(int x, int y, Colour c) { probes_.push_back({{x, y}, c}); }
    // The rectangle's inside corners have colour c; the pixels just outside it (where they
    // lie within `bounds`) are black.
    void ExpectRect(const RECT &r, Colour c, const RECT &bounds)
    {
        Expect(r.left, r.top, c);
        Expect(r.right - 1, r.bottom - 1, c);
        Expect(r.right - 1, r.top, c);
        Expect(r.left, r.bottom - 1, c);
        if (r.left > bounds.left)
            Expect(r.left - 1, r.top, Colour::Black);
        if (r.right < bounds.right)
            Expect(r.right, r.bottom - 1, Colour::Black);
        if (r.top > bounds.top)
            Expect(r.left, r.top - 1, Colour::Black);
        if (r.bottom < bounds.bottom)
            Expect(r.right - 1, r.bottom, Colour::Black);
    }
    void Verify(const char *what)
    {
        std::vector<POINT> points;
        for (auto &p : probes_)
            points.push_back(p.point);
        std::vector<Rgb> colours;
        ASSERT_TRUE(ScreenColours(points, colours)) << what << ": no screenshot";
        for (size_t i = 0; i < probes_.size(); ++i)
            EXPECT_TRUE(Matches(colours[i], probes_[i].colour))
                << what << ": pixel (" << points[i].x << "," << points[i].y << ") is rgb("
                << colours[i].r << "," << colours[i].g << "," << colours[i].b << "), expected "
                << Name(probes_[i].colour);
        probes_.clear();
    }

private:
    struct Probe {
        POINT point;
        Colour colour;
    };
    std::vector<Probe> probes_;
};

template <typename Base>
class Probe : public Base {
public:
    using Base::Base;
    size_t Outputs() const { return this->outputs_.size(); }
    size_t FilledOutputs() const
    {
        size_t n = 0;
        for (auto &o : this->outputs_)
            n += o->window != nullptr;
        return n;
    }
};

bool VirtualScreenIs(int w, int h)
{
    return GetSystemMetrics(SM_CXVIRTUALSCREEN) == w && GetSystemMetrics(SM_CYVIRTUALSCREEN) == h;
}

bool OlderSystem()
{
    OSVERSIONINFOW v{};
    v.dwOSVersionInfoSize = sizeof(v);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    GetVersionExW(&v);
#pragma GCC diagnostic pop
    return v.dwMajorVersion < 6;
}

struct Ticker {
    RHRenderer *renderer;
    UniqueHandle done;
};

DWORD WINAPI TickerThread(void *context)
{
    auto *ticker = static_cast<Ticker *>(context);
    ComApartment com(COINIT_MULTITHREADED);
    ticker->renderer->Step();
    SetEvent(ticker->done.get());
    return 0;
}

// One Step on a second thread; true when it finished while this thread pumped nothing.
bool StepFromAnotherThread(RHRenderer &renderer)
{
    Ticker ticker{&renderer, UniqueHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr))};
    UniqueHandle thread(CreateThread(nullptr, 0, TickerThread, &ticker, 0, nullptr));
    if (!thread)
        return false;
    const bool quick = WaitForSingleObject(ticker.done.get(), 3000) == WAIT_OBJECT_0;
    // Let a tick that did wait for this thread finish before leaving.
    for (int i = 0; i < 100 && WaitForSingleObject(thread.get(), 0) == WAIT_TIMEOUT; ++i)
        PumpMessages(50);
    return quick;
}

class Screen : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!ScreenServiceAvailable() || !HaveClips())
            GTEST_SKIP() << "no screenshot service (run through render_tests.sh)";
    }
    // Lays out, runs and lets the first frame paint.
    static void Show(RHRenderer &renderer)
    {
        renderer.Layout();
        ASSERT_TRUE(SUCCEEDED(renderer.RunGraph()));
        PumpMessages(700);
    }
    ComApartment com_{COINIT_MULTITHREADED};
};

// ---- one 1920 x 1080 monitor ------------------------------------------------------------

TEST_F(Screen, OneMonitorPerMonitorPictureBounces)
{
    if (!VirtualScreenIs(1920, 1080))
        GTEST_SKIP() << "needs one 1920 x 1080 monitor";
    UniqueWindow player = CreatePlayerWindow();
    TestItem item(ClipPath(L"red.avi"));
    item.item.scale = 0.5f;   // 1/2 Screen: 960 x 540 box, 720 x 540 picture
    item.item.xPosition = 0.25;
    item.item.yPosition = 1.0;
    Probe<RHFullscreenMonitorRenderer> renderer(&item.item, player.get(), true);
    ASSERT_EQ(renderer.Outputs(), 1u);
    ASSERT_EQ(renderer.LoadFile(), S_OK);
    Show(renderer);
    const RECT screen{0, 0, 1920, 1080};
    ScreenCheck check;
    check.ExpectRect({300, 540, 1020, 1080}, Colour::Red, screen);
    check.Verify("laid out");

    // Touches the bottom edge: the first tick stays there and turns, the second goes up.
    // The second comes from another thread, as the bounce timer's do, while this thread (the
    // windows' owner) does not pump messages, as the playback thread waiting for the renderer
    // lock: the tick must not wait for it.
    renderer.SetVelocity(7, 5);
    renderer.Step();
    EXPECT_TRUE(StepFromAnotherThread(renderer)) << "the tick waited for the window's thread";
    int dx = 0, dy = 0;
    renderer.GetVelocity(dx, dy);
    EXPECT_EQ(dx, 7);
    EXPECT_EQ(dy, -5);
    std::vector<PlacementFraction> at;
    renderer.GetPositions(at);
    ASSERT_EQ(at.size(), 1u);
    EXPECT_DOUBLE_EQ(at[0].x, 314.0 / 1200);
    EXPECT_DOUBLE_EQ(at[0].y, 535.0 / 540);
    PumpMessages(300);
    check.ExpectRect({314, 535, 1034, 1075}, Colour::Red, screen);
    check.Verify("after two ticks");
}

TEST_F(Screen, WindowedPictureMovesInsideItsWindow)
{
    if (!VirtualScreenIs(1920, 1080))
        GTEST_SKIP() << "needs one 1920 x 1080 monitor";
    UniqueWindow window = CreateFramedWindow(640, 360);
    TestItem item(ClipPath(L"red.avi"));
    item.item.scaleToScreen = 0;   // Original: 320 x 240 at (160, 60)
    item.item.style = STYLE_WINDOWED;
    Probe<RHWindowedRenderer> renderer(&item.item, window.get(), true);
    ASSERT_EQ(renderer.LoadFile(), S_OK);
    Show(renderer);
    POINT origin{0, 0};
    ClientToScreen(window.get(), &origin);
    auto onScreen = [&](int l, int t, int r, int b) {
        return RECT{origin.x + l, origin.y + t, origin.x + r, origin.y + b};
    };
    const RECT client = onScreen(0, 0, 640, 360);
    ScreenCheck check;
    check.ExpectRect(onScreen(160, 60, 480, 300), Colour::Red, client);
    check.Verify("laid out");

    renderer.SetVelocity(-100, 0);
    renderer.Step();   // 60
    renderer.Step();   // would cross the left edge: stops at 0 and turns
    renderer.Step();   // 100
    PumpMessages(300);
    check.ExpectRect(onScreen(100, 60, 420, 300), Colour::Red, client);
    check.Verify("after three ticks");
}

// ---- two monitors: 1280 x 720 at (0, 0) and 1024 x 768 at (1280, 0) -----------------------

constexpr RECT kFirst{0, 0, 1280, 720};
constexpr RECT kSecond{1280, 0, 2304, 768};

TEST_F(Screen, TwoMonitorsEachShowTheWholePicture)
{
    if (!VirtualScreenIs(2304, 768))
        GTEST_SKIP() << "needs the two-monitor layout";
    UniqueWindow player = CreatePlayerWindow();
    TestItem item(ClipPath(L"red.avi"));
    item.item.scale = 0.5f;
    Probe<RHFullscreenMonitorRenderer> renderer(&item.item, player.get(), true);
    ASSERT_EQ(renderer.Outputs(), 2u);
    ASSERT_EQ(renderer.LoadFile(), S_OK);
    ASSERT_EQ(renderer.FilledOutputs(), 2u);
    Show(renderer);
    ScreenCheck check;
    // 640 x 360 box -> 480 x 360 picture; 512 x 384 box -> 512 x 384 picture.
    check.ExpectRect({400, 180, 880, 540}, Colour::Red, kFirst);
    check.ExpectRect({1536, 192, 2048, 576}, Colour::Red, kSecond);
    check.Verify("laid out");

    // Each monitor bounces at its own edges from the same start velocity.
    renderer.SetVelocity(300, 300);
    renderer.Step();
    int dx = 0, dy = 0;
    renderer.GetVelocity(dx, dy);   // the first monitor's: turned only vertically
    EXPECT_EQ(dx, 300);
    EXPECT_EQ(dy, -300);
    PumpMessages(300);
    check.ExpectRect({700, 360, 1180, 720}, Colour::Red, kFirst);
    check.ExpectRect({1792, 384, 2304, 768}, Colour::Red, kSecond);
    check.Verify("after one tick");
}

TEST_F(Screen, TwoMonitorsShareOneSpanningPicture)
{
    if (!VirtualScreenIs(2304, 768))
        GTEST_SKIP() << "needs the two-monitor layout";
    UniqueWindow player = CreatePlayerWindow();
    TestItem item(ClipPath(L"redblue.avi"));   // left half red, right half blue, 320 x 240
    item.item.perMonitor = 0;
    Probe<RHFullscreenDesktopRenderer> renderer(&item.item, player.get(), false);
    // Older systems get one video window per monitor, each showing its share of the frame.
    if (GetEnvironmentVariableW(L"RH_OLDER_SYSTEM", nullptr, 0) != 0) {
        ASSERT_TRUE(OlderSystem()) << "the wrapper asked for an older Windows version";
    }
    const size_t outputs = OlderSystem() ? 2 : 1;
    ASSERT_EQ(renderer.Outputs(), outputs);
    ASSERT_EQ(renderer.LoadFile(), S_OK);
    ASSERT_EQ(renderer.FilledOutputs(), outputs);
    Show(renderer);
    // Maximized in 2304 x 768: 1024 x 768 at left 640; red up to 1151, blue from 1152.
    ScreenCheck check;
    check.Expect(639, 300, Colour::Black);
    check.Expect(640, 0, Colour::Red);
    check.Expect(1151, 719, Colour::Red);
    check.Expect(1152, 0, Colour::Blue);
    check.Expect(1279, 719, Colour::Blue);
    check.Expect(1280, 0, Colour::Blue);
    check.Expect(1663, 767, Colour::Blue);
    check.Expect(1664, 300, Colour::Black);
    check.Verify("laid out");

    // Bounce off the left edge: the picture lies wholly on the first monitor, and the
    // second shows the player window's black.
    renderer.SetVelocity(-700, 0);
    renderer.Step();
    PumpMessages(300);
    check.Expect(0, 0, Colour::Red);
    check.Expect(511, 719, Colour::Red);
    check.Expect(512, 0, Colour::Blue);
    check.Expect(1023, 719, Colour::Blue);
    check.Expect(1024, 300, Colour::Black);
    check.Expect(1300, 300, Colour::Black);
    check.Expect(1700, 100, Colour::Black);
    check.Verify("after bouncing off the left edge");
}

}  // namespace
