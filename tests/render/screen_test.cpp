// On screen through the classic video renderer: a red (or red|blue) clip lands where the
// geometry puts it and moves by the bounce step, on one 1920 x 1080 monitor and on monitors
// of 1280 x 720 and 1024 x 768 side by side (render_tests.sh sets them up and takes the
// screenshots). The expected rectangles are worked out by hand in the comments.
#include <gtest/gtest.h>

#include "../queue/test_threads.h"
#include "test_support.h"
#include "variants.h"

namespace {

enum Colour { Red, Blue, Black };

bool Matches(const Rgb &p, Colour c)
{
    if (c == Black)
        return p.r < 40 && p.g < 40 && p.b < 40;
    const int hue = c == Red ? p.r : p.b, rest = c == Red ? p.g + p.b : p.r + p.g;
    return hue > 180 && rest < 120;
}

// Points of one screenshot with the colours they should have.
class ScreenCheck {
public:
    struct Point {
        int x, y;
        Colour c;
    };
    void Expect(std::initializer_list<Point> points)
    {
        for (const Point &p : points)
            probes_.push_back({{p.x, p.y}, p.c});
    }
    // Red inside the rectangle's corners, black just outside it where that lies in `bounds`.
    void ExpectRed(const RECT &r, const RECT &bounds)
    {
        Expect({{r.left, r.top, Red}, {r.right - 1, r.bottom - 1, Red}});
        if (r.left > bounds.left)
            Expect({{r.left - 1, r.top, Black}});
        if (r.right < bounds.right)
            Expect({{r.right, r.bottom - 1, Black}});
        if (r.top > bounds.top)
            Expect({{r.left, r.top - 1, Black}});
        if (r.bottom < bounds.bottom)
            Expect({{r.right - 1, r.bottom, Black}});
    }
    // The picture is checked until it matches or the time is up: under Wine a new video
    // window's first paint, and the area a moved window leaves (repainted by the X server's
    // exposure), may come late on a busy machine. A picture that never gets there still
    // fails, with every wrong point.
    void Verify(const char *when, DWORD withinMs = 3000)
    {
        std::vector<POINT> points;
        for (auto &p : probes_)
            points.push_back(p.first);
        std::vector<Rgb> rgb;
        for (const DWORD start = GetTickCount();;) {
            ASSERT_TRUE(ScreenColours(points, rgb)) << when << ": no screenshot";
            bool all = true;
            for (size_t i = 0; i < points.size(); ++i)
                all = all && Matches(rgb[i], probes_[i].second);
            if (all || GetTickCount() - start >= withinMs)
                break;
            PumpMessages(100);
        }
        for (size_t i = 0; i < points.size(); ++i)
            EXPECT_TRUE(Matches(rgb[i], probes_[i].second))
                << when << ": (" << points[i].x << "," << points[i].y << ") is " << rgb[i].r << ","
                << rgb[i].g << "," << rgb[i].b << ", expected " << "RBK"[probes_[i].second];
        probes_.clear();
    }

private:
    std::vector<std::pair<POINT, Colour>> probes_;
};

// One Step from another thread, as the bounce timer ticks, while this thread (the windows'
// owner) pumps nothing, as the playback thread waiting for the renderer lock. True when the
// tick did not wait for this thread.
bool StepFromAnotherThread(RHRenderer &renderer)
{
    UniqueHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    Worker ticker([&] {
        ComApartment com(COINIT_MULTITHREADED);
        renderer.Step();
        SetEvent(done.get());
    });
    const bool quick = WaitForSingleObject(done.get(), 3000) == WAIT_OBJECT_0;
    for (int i = 0; i < 100 && !ticker.Finished(0); ++i)
        PumpMessages(50);   // let a tick that did wait finish
    return quick;
}

class Screen : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (GetEnvironmentVariableW(L"RH_SHOT_DIR", nullptr, 0) == 0)
            GTEST_SKIP() << "no screenshots (run through render_tests.sh)";
    }
    bool DesktopIs(int w, int h)
    {
        return GetSystemMetrics(SM_CXVIRTUALSCREEN) == w && GetSystemMetrics(SM_CYVIRTUALSCREEN) == h;
    }
    static void Show(RHRenderer &renderer)
    {
        ASSERT_HR(S_OK, LoadShown(renderer));
        renderer.Layout();
        const HRESULT running = renderer.RunGraph();
        ASSERT_TRUE(SUCCEEDED(running)) << HrText(running);
        PumpMessages(700);
    }
    ComApartment com_{COINIT_MULTITHREADED};
};

TEST_F(Screen, OneMonitorPerMonitorPictureBounces)
{
    ASSERT_TRUE(DesktopIs(1920, 1080)) << "needs one 1920 x 1080 monitor";
    UniqueWindow player = CreatePlayerWindow();
    MediaItem item = TestItem(ClipPath(L"red.avi"));
    item.fields.scale = 0.5f;   // 960 x 540 box: 720 x 540 picture, 1200 x 540 free
    item.fields.xPosition = 0.25;
    item.fields.yPosition = 1.0;
    Probe<RHFullscreenMonitorRenderer> renderer(item, player.get(), true);
    Show(renderer);
    const RECT screen{0, 0, 1920, 1080};
    ScreenCheck check;
    check.ExpectRed({300, 540, 1020, 1080}, screen);
    check.Verify("laid out");

    // At the bottom edge the first tick stays there and turns; the second goes up.
    renderer.SetVelocity(7, 5);
    renderer.Step();
    EXPECT_TRUE(StepFromAnotherThread(renderer)) << "the tick waited for the window's thread";
    int dx = 0, dy = 0;
    renderer.GetVelocity(dx, dy);
    EXPECT_EQ(std::pair(dx, dy), std::pair(7, -5));
    std::vector<PlacementFraction> at;
    renderer.GetPositions(at);
    ASSERT_EQ(at.size(), 1u);
    EXPECT_EQ(std::pair(at[0].x, at[0].y), std::pair(314.0 / 1200, 535.0 / 540));
    PumpMessages(300);
    check.ExpectRed({314, 535, 1034, 1075}, screen);
    check.Verify("after two ticks");
}

TEST_F(Screen, WindowedPictureMovesInsideItsWindow)
{
    ASSERT_TRUE(DesktopIs(1920, 1080)) << "needs one 1920 x 1080 monitor";
    UniqueWindow window = CreatePlayerWindow(640, 360);
    MediaItem item = TestItem(ClipPath(L"red.avi"));
    item.fields.scaleToScreen = 0;   // Original: 320 x 240 at (160, 60)
    item.fields.style = STYLE_WINDOWED;
    Probe<RHWindowedRenderer> renderer(item, window.get(), true);
    Show(renderer);
    POINT o{0, 0};
    ClientToScreen(window.get(), &o);
    const RECT client{o.x, o.y, o.x + 640, o.y + 360};
    ScreenCheck check;
    check.ExpectRed({o.x + 160, o.y + 60, o.x + 480, o.y + 300}, client);
    check.Verify("laid out");

    renderer.SetVelocity(-100, 0);
    for (int i = 0; i < 3; ++i)   // 60; 0 (stops at the edge, turns); 100
        EXPECT_TRUE(StepFromAnotherThread(renderer)) << "tick " << i << " waited";
    PumpMessages(300);
    check.ExpectRed({o.x + 100, o.y + 60, o.x + 420, o.y + 300}, client);
    check.Verify("after three ticks");
}

// Two monitors: 1280 x 720 at (0, 0), the primary, and 1024 x 768 at (1280, 0).
constexpr RECT kFirst{0, 0, 1280, 720}, kSecond{1280, 0, 2304, 768};

TEST_F(Screen, TwoMonitorsEachShowTheWholePicture)
{
    ASSERT_TRUE(DesktopIs(2304, 768)) << "needs the two-monitor layout";
    UniqueWindow player = CreatePlayerWindow();
    MediaItem item = TestItem(ClipPath(L"red.avi"));
    item.fields.scale = 0.5f;
    Probe<RHFullscreenMonitorRenderer> renderer(item, player.get(), true);
    Show(renderer);
    ASSERT_EQ(renderer.Filled(), 2u);
    ScreenCheck check;
    check.ExpectRed({400, 180, 880, 540}, kFirst);       // 640 x 360 box: 480 x 360
    check.ExpectRed({1536, 192, 2048, 576}, kSecond);    // 512 x 384 box: 512 x 384
    check.Verify("laid out");

    // Same start velocity, own edges: the first turns only downwards, the second both ways.
    renderer.SetVelocity(300, 300);
    renderer.Step();
    int dx = 0, dy = 0;
    renderer.GetVelocity(dx, dy);   // the first (primary) monitor's
    EXPECT_EQ(std::pair(dx, dy), std::pair(300, -300));
    PumpMessages(300);
    check.ExpectRed({700, 360, 1180, 720}, kFirst);
    check.ExpectRed({1792, 384, 2304, 768}, kSecond);
    check.Verify("after one tick");
}

// Run twice by the wrapper: as a newer Windows (one video window across both monitors) and,
// with RH_OLDER_SYSTEM, as Windows XP (one per monitor, each showing its share).
TEST_F(Screen, TwoMonitorsShareOneSpanningPicture)
{
    ASSERT_TRUE(DesktopIs(2304, 768)) << "needs the two-monitor layout";
    const int major = LOBYTE(LOWORD(GetVersion()));
    const bool older = GetEnvironmentVariableW(L"RH_OLDER_SYSTEM", nullptr, 0) != 0;
    ASSERT_EQ(major < 6, older) << "Windows version " << major;
    UniqueWindow player = CreatePlayerWindow();
    MediaItem item = TestItem(ClipPath(L"redblue.avi"));   // 320 x 240: left half red, right half blue
    item.fields.perMonitor = 0;
    Probe<RHFullscreenDesktopRenderer> renderer(item, player.get(), false);
    ASSERT_EQ(renderer.Outputs(), older ? 2u : 1u);
    Show(renderer);
    ASSERT_EQ(renderer.Filled(), renderer.Outputs());
    // Maximized in 2304 x 768: 1024 x 768 at left 640; red up to 1151, blue from 1152.
    ScreenCheck check;
    check.Expect({{639, 300, Black}, {640, 0, Red}, {1151, 719, Red}, {1152, 0, Blue}, {1279, 719, Blue},
                  {1280, 0, Blue}, {1663, 767, Blue}, {1664, 300, Black}});
    check.Verify("laid out");

    // Off the left edge: wholly on the first monitor; the second shows black.
    renderer.SetVelocity(-700, 0);
    renderer.Step();
    PumpMessages(300);
    check.Expect({{0, 0, Red}, {511, 719, Red}, {512, 0, Blue}, {1023, 719, Blue}, {1024, 300, Black},
                  {1300, 300, Black}, {1700, 100, Black}});
    check.Verify("after bouncing off the left edge");
}

// Confined to the second monitor's rectangle: the picture sizes, places and bounces in it
// alone, and the first monitor stays black, in either style. The share case runs as a
// newer and as an older Windows; one area needs one video window on both.
TEST_F(Screen, TwoMonitorsConfinedToTheSecondShowOnePicture)
{
    ASSERT_TRUE(DesktopIs(2304, 768)) << "needs the two-monitor layout";
    UniqueWindow player = CreatePlayerWindow();
    MediaItem item = TestItem(ClipPath(L"red.avi"));
    item.fields.scale = 0.5f;
    Probe<RHFullscreenMonitorRenderer> renderer(item, player.get(), true, std::span(&kSecond, 1));
    ASSERT_EQ(renderer.Outputs(), 1u);
    Show(renderer);
    ScreenCheck check;
    check.ExpectRed({1536, 192, 2048, 576}, kSecond);   // 512 x 384 box: 512 x 384
    check.Expect({{640, 360, Black}, {100, 100, Black}, {1279, 400, Black}});
    check.Verify("laid out");

    renderer.SetVelocity(300, 300);
    renderer.Step();
    PumpMessages(300);
    check.ExpectRed({1792, 384, 2304, 768}, kSecond);
    check.Expect({{640, 360, Black}, {1279, 700, Black}});
    check.Verify("after one tick");
}

TEST_F(Screen, TwoMonitorsShareConfinedToTheSecond)
{
    ASSERT_TRUE(DesktopIs(2304, 768)) << "needs the two-monitor layout";
    UniqueWindow player = CreatePlayerWindow();
    MediaItem item = TestItem(ClipPath(L"redblue.avi"));
    item.fields.perMonitor = 0;
    item.fields.scale = 0.5f;   // 512 x 384 in the 1024 x 768 area, at (256, 192) in it
    Probe<RHFullscreenDesktopRenderer> renderer(item, player.get(), false, std::span(&kSecond, 1));
    ASSERT_EQ(renderer.Outputs(), 1u);
    Show(renderer);
    ScreenCheck check;
    check.Expect({{1535, 300, Black}, {1536, 192, Red}, {1791, 575, Red}, {1792, 192, Blue},
                  {2047, 575, Blue}, {2048, 300, Black}, {640, 360, Black}});
    check.Verify("laid out");

    // The left edge it turns at is the second monitor's, not the desktop's.
    renderer.SetVelocity(-700, 0);
    renderer.Step();
    PumpMessages(300);
    check.Expect({{1280, 192, Red}, {1535, 575, Red}, {1536, 192, Blue}, {1791, 575, Blue},
                  {1792, 300, Black}, {1279, 300, Black}, {640, 360, Black}});
    check.Verify("after bouncing off the area's left edge");
}

}  // namespace
