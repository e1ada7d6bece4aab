// Picture size, placement, bouncing, the volume curve and the per-monitor share of a
// desktop-spanning picture, as plain arithmetic.
#include <gtest/gtest.h>

#include <limits>
#include <tuple>
#include <vector>

#include "geometry.h"
#include "monitor_layout.h"

namespace {

struct SizeCase {
    const char *name;
    int areaW, areaH, videoW, videoH;
    float scale;
    bool scaleToScreen, keepAspect;
    PictureSize expected;
};

TEST(Geometry, SevenSizeModesAndAspect)
{
    const SizeCase cases[] = {
        // The seven modes on 1920 x 1080 for a 640 x 480 video.
        {"Maximized", 1920, 1080, 640, 480, 1.0f, true, true, {1440, 1080}},
        {"Full Screen", 1920, 1080, 640, 480, 1.0f, true, false, {1920, 1080}},
        {"3/4 Screen", 1920, 1080, 640, 480, 0.75f, true, true, {1080, 810}},
        {"1/2 Screen", 1920, 1080, 640, 480, 0.5f, true, true, {720, 540}},
        {"1/4 Screen", 1920, 1080, 640, 480, 0.25f, true, true, {360, 270}},
        {"Original", 1920, 1080, 640, 480, 1.0f, false, true, {640, 480}},
        {"Double Original", 1920, 1080, 640, 480, 2.0f, false, true, {1280, 960}},
        {"tall area: the height gives way", 768, 1024, 640, 480, 1.0f, true, true, {768, 576}},
        {"w = trunc(352 x 2.5)", 1280, 720, 352, 288, 1.0f, true, true, {880, 720}},
        {"1001 x 0.75 truncates", 1001, 601, 100, 100, 0.75f, true, false, {750, 450}},
        {"no native size yet", 800, 600, 0, 0, 0.5f, true, true, {400, 300}},
    };
    for (const SizeCase &c : cases)
        EXPECT_EQ(PictureSizeFor(c.areaW, c.areaH, c.videoW, c.videoH, c.scale, c.scaleToScreen, c.keepAspect),
                  c.expected)
            << c.name;
}

TEST(Geometry, PlacementRoundsHalvesAwayFromZero)
{
    EXPECT_EQ(PlaceOffset(0.5, 3), 2);     // 1.5
    EXPECT_EQ(PlaceOffset(0.5, -5), -3);   // -2.5: a picture wider than its area
    EXPECT_EQ(PlaceOffset(0.25, 10), 3);   // 2.5
    EXPECT_EQ(PlaceOffset(0.24, 10), 2);
    EXPECT_EQ(PlaceOffset(1.0, 480), 480);
    EXPECT_EQ(RoundHalfAway(-2.4), -2);

    const PictureRect centred = PlacePicture(1920, 1080, 640, 480, 1.0f, true, true, 0.5, 0.5);
    EXPECT_EQ(centred, (PictureRect{240, 0, 1440, 1080}));
    const PictureRect corner = PlacePicture(1920, 1080, 320, 240, 1.0f, false, true, 1.0, 0.0);
    EXPECT_EQ(corner, (PictureRect{1600, 0, 320, 240}));
    // The fractions back from offsets are finite without free space.
    EXPECT_DOUBLE_EQ(PlacementFractionOf(2, 3), 2.0 / 3.0);
    EXPECT_DOUBLE_EQ(PlacementFractionOf(-3, -5), 0.6);
    EXPECT_DOUBLE_EQ(PlacementFractionOf(0, 0), 0.5);
}

TEST(Geometry, BounceTurnsAtEachEdge)
{
    struct Case {
        const char *edge;
        RECT start;
        int dx, dy;
        RECT end;
        int endDx, endDy;
    };
    // Area 100 x 50; picture 10 x 10.
    const Case cases[] = {
        {"left", {2, 20, 12, 30}, -5, 0, {0, 20, 10, 30}, 5, 0},
        {"right", {88, 20, 98, 30}, 5, 0, {90, 20, 100, 30}, -5, 0},
        {"top", {40, 1, 50, 11}, 0, -3, {40, 0, 50, 10}, 0, 3},
        {"bottom", {40, 38, 50, 48}, 0, 3, {40, 40, 50, 50}, 0, -3},
        {"corner", {1, 39, 11, 49}, -4, 4, {0, 40, 10, 50}, 4, -4},
        {"free", {40, 20, 50, 30}, 7, -7, {47, 13, 57, 23}, 7, -7},
        // Exactly reaching an edge is not crossing it: no turn yet.
        {"touch", {85, 20, 95, 30}, 5, 0, {90, 20, 100, 30}, 5, 0},
    };
    for (const Case &c : cases) {
        RECT r = c.start;
        int dx = c.dx, dy = c.dy;
        AdvanceBounce(r, 100, 50, dx, dy);
        EXPECT_TRUE(EqualRect(&r, &c.end)) << c.edge << ": " << r.left << "," << r.top;
        EXPECT_EQ(std::pair(dx, dy), std::pair(c.endDx, c.endDy)) << c.edge;
    }
}

TEST(Geometry, VolumeCurve)
{
    const std::pair<int, int> map[] = {{100, 0},    {50, -1000},  {49, -1040},   {25, -2000},
                                       {24, -2080}, {12, -3040},  {11, -10000},  {0, -10000},
                                       {150, 0},    {-5, -10000}, {75, -500}};
    for (auto [percent, volume] : map)
        EXPECT_EQ(VolumeFromPercent(percent), volume) << percent << "%";
}

TEST(Geometry, TwoMonitorShareOfASpanningPicture)
{
    // Two 1920 x 1080 monitors side by side, Maximized 1280 x 720 video.
    const PictureRect placed = PlacePicture(3840, 1080, 1280, 720, 1.0f, true, true, 0.5, 0.5);
    ASSERT_EQ(placed, (PictureRect{960, 0, 1920, 1080}));
    const RECT picture{960, 0, 2880, 1080};
    const RECT first{0, 0, 1920, 1080}, second{1920, 0, 3840, 1080};

    const MonitorShare a = ShareOfMonitor(picture, first, 1280, 720);
    ASSERT_TRUE(a.visible);
    EXPECT_EQ(a.destination, (PictureRect{960, 0, 960, 1080}));
    EXPECT_EQ(a.source, (PictureRect{0, 0, 640, 720}));
    const MonitorShare b = ShareOfMonitor(picture, second, 1280, 720);
    ASSERT_TRUE(b.visible);
    EXPECT_EQ(b.destination, (PictureRect{0, 0, 960, 1080}));
    EXPECT_EQ(b.source, (PictureRect{640, 0, 640, 720}));

    // A picture that has bounced wholly onto the first monitor leaves the second one.
    EXPECT_FALSE(ShareOfMonitor(RECT{100, 0, 1100, 500}, second, 1280, 720).visible);
    // Monitors of different heights: the lower part of the frame is cut off the shorter one.
    const MonitorShare c = ShareOfMonitor(RECT{640, 0, 1664, 768}, RECT{0, 0, 1280, 720}, 320, 240);
    EXPECT_EQ(c.destination, (PictureRect{640, 0, 640, 720}));
    EXPECT_EQ(c.source, (PictureRect{0, 0, 200, 225}));
}

// What a damaged playlist can carry: every result is defined and inside its range.
TEST(Geometry, DamagedSettingsGiveDefinedResults)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const float fnan = std::numeric_limits<float>::quiet_NaN();

    // Scale: NaN is the default 1.0, huge the largest, negative nothing.
    EXPECT_EQ(PictureSizeFor(800, 600, 160, 120, fnan, false, true), (PictureSize{160, 120}));
    EXPECT_EQ(PictureSizeFor(800, 600, 160, 120, 3e38f, true, false), (PictureSize{12800, 9600}));
    EXPECT_EQ(PictureSizeFor(800, 600, 160, 120, -2.0f, true, true), (PictureSize{0, 0}));
    // Positions: NaN centres, anything else stays inside the area.
    EXPECT_EQ(PlacePicture(800, 600, 160, 120, 1.0f, false, true, nan, -inf),
              (PictureRect{320, 0, 160, 120}));
    EXPECT_EQ(PlacePicture(800, 600, 160, 120, 1.0f, false, true, 1e300, 7.5),
              (PictureRect{640, 480, 160, 120}));
    // Saturating conversions where a product leaves the range of int.
    EXPECT_EQ(RoundHalfAway(1e300), std::numeric_limits<int>::max());
    EXPECT_EQ(RoundHalfAway(-inf), std::numeric_limits<int>::min());
    EXPECT_EQ(RoundHalfAway(nan), 0);

    EXPECT_DOUBLE_EQ(SaneRate(nan), 1.0);
    EXPECT_DOUBLE_EQ(SaneRate(inf), 4.0);
    EXPECT_DOUBLE_EQ(SaneRate(0.0), 0.25);

    EXPECT_EQ(BounceVelocity(nan), 0);
    EXPECT_EQ(BounceVelocity(-inf), -kMaxBounceStep);
    EXPECT_EQ(BounceVelocity(1e18), kMaxBounceStep);
    EXPECT_EQ(BounceVelocity(2.9), 2);

    EXPECT_EQ(BounceIntervalMs(nan), 33u);
    EXPECT_EQ(BounceIntervalMs(inf), kMaxBounceIntervalMs);
    EXPECT_EQ(BounceIntervalMs(0.0), kMinBounceIntervalMs);
    EXPECT_EQ(BounceIntervalMs(25.7), 25u);

    // A velocity at its limit does not overflow the move at the far edge.
    RECT r{0, 0, 10, 10};
    int dx = kMaxBounceStep, dy = -kMaxBounceStep;
    AdvanceBounce(r, 1920, 1080, dx, dy);
    EXPECT_EQ(std::pair(r.left, r.top), std::pair(1910L, 0L));
}

std::vector<std::tuple<LONG, LONG, LONG, LONG>> Rects(std::span<const RECT> rects)
{
    std::vector<std::tuple<LONG, LONG, LONG, LONG>> out;
    for (const RECT &r : rects)
        out.emplace_back(r.left, r.top, r.right, r.bottom);
    return out;
}

// Output areas take the monitors' place, in the caller's order, on the same desktop; the
// desktop style spans their bounding rectangle.
TEST(Geometry, OutputAreasStandForTheMonitors)
{
    const RECT desktop{-1024, 0, 2304, 868};
    const MonitorLayout whole{desktop, {{0, 0, 1280, 720}, {-1024, 100, 0, 868}, {1280, 0, 2304, 768}}};
    const RECT areas[] = {{1280, 0, 2304, 768}, {-1024, 100, 0, 868}};
    const MonitorLayout confined = ConfineLayout(whole, areas);
    EXPECT_EQ(Rects({&confined.desktop, 1}), Rects({&desktop, 1}));
    EXPECT_EQ(Rects(confined.monitors), Rects(areas));
    EXPECT_EQ(Rects(ConfineLayout(whole, {}).monitors), Rects(whole.monitors));

    const RECT bounds = BoundingRect(areas), one = BoundingRect({areas, 1}), none = BoundingRect({});
    EXPECT_EQ(Rects({&bounds, 1}), Rects({&desktop, 1}));
    EXPECT_EQ(Rects({&one, 1}), Rects({areas, 1}));
    EXPECT_TRUE(IsRectEmpty(&none));
}

}  // namespace
