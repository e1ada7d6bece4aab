// The Monitors dialog's reasoning without its windows: the map's scale and hit-testing, the
// arrow keys on layouts of monitors of different sizes, the last chosen monitor, and the
// setting text read back through ChooseMonitors.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "monitor_layout.h"

namespace {

// Beside each other, the second taller: 1280 x 720 (main) and 1024 x 768.
const DisplayMonitor kPair[] = {
    {L"\\\\.\\DISPLAY1", {0, 0, 1280, 720}, true},
    {L"\\\\.\\DISPLAY2", {1280, 0, 2304, 768}, false},
};

// An L: a large main monitor, one right of it, one below that one.
const DisplayMonitor kThree[] = {
    {L"\\\\.\\DISPLAY1", {0, 0, 1920, 1080}, true},
    {L"\\\\.\\DISPLAY2", {1920, 0, 3200, 1024}, false},
    {L"\\\\.\\DISPLAY3", {1920, 1024, 2944, 1792}, false},
};

std::string Text(const RECT &r)
{
    return std::to_string(r.left) + "," + std::to_string(r.top) + "-" + std::to_string(r.right) + "," +
           std::to_string(r.bottom);
}

TEST(MonitorLayout, MapScalesKeepsProportionsAndHitsTheDrawnRectangles)
{
    // 2304 x 768 into 190 x 90: the width limits, 63 high, centred in height.
    const MapScale scale = FitMap(kPair, {0, 0, 200, 100}, 5);
    EXPECT_NEAR(190.0 / 2304, scale.factor, 1e-9);
    EXPECT_EQ("5,18-111,77", Text(MapArea(scale, kPair[0].area)));
    EXPECT_EQ("111,18-195,81", Text(MapArea(scale, kPair[1].area)));

    const struct {
        POINT point;
        int monitor;
    } hits[] = {
        {{50, 50}, 0}, {{110, 20}, 0}, {{111, 20}, 1}, // the shared edge belongs to the right one
        {{150, 79}, 1}, {{50, 79}, -1},                 // below the shorter one
        {{2, 50}, -1}, {{50, 10}, -1}, {{196, 50}, -1}, // the margins
    };
    for (const auto &hit : hits)
        EXPECT_EQ(hit.monitor, MonitorAtPoint(kPair, scale, hit.point)) << hit.point.x << "," << hit.point.y;

    // Monitors left of and above the main one: negative coordinates start the map.
    const DisplayMonitor leftUp[] = {{L"A", {0, 0, 800, 600}, true}, {L"B", {-800, -600, 0, 0}, false}};
    const MapScale shifted = FitMap(leftUp, {10, 10, 170, 130}, 0);
    EXPECT_EQ("90,70-170,130", Text(MapArea(shifted, leftUp[0].area)));
    EXPECT_EQ("10,10-90,70", Text(MapArea(shifted, leftUp[1].area)));
    EXPECT_EQ(1, MonitorAtPoint(leftUp, shifted, {20, 20}));

    // Nothing to show, or no room: nothing drawn and nothing hit.
    EXPECT_EQ(0.0, FitMap({}, {0, 0, 200, 100}, 5).factor);
    const MapScale none = FitMap(kPair, {0, 0, 10, 100}, 5);
    EXPECT_EQ(0.0, none.factor);
    EXPECT_EQ(-1, MonitorAtPoint(kPair, none, {0, 0}));
}

TEST(MonitorLayout, ArrowKeysMoveToTheNearestMonitorThatWay)
{
    using enum MapDirection;
    const struct {
        std::span<const DisplayMonitor> layout;
        size_t from;
        MapDirection direction;
        size_t to;
    } moves[] = {
        {kPair, 0, Right, 1}, {kPair, 1, Left, 0},
        {kPair, 0, Left, 0}, {kPair, 1, Right, 1}, {kPair, 0, Up, 0}, // nothing that way
        {kPair, 0, Down, 0}, // the other one's centre is lower, but it is beside this one
        // The monitor in line wins over the one whose centre is nearer but far to the side.
        {kThree, 0, Right, 1},
        {kThree, 1, Down, 2}, {kThree, 2, Up, 1}, {kThree, 2, Left, 0}, {kThree, 1, Left, 0},
        // Lower or further right, but more to the side than that way: not reached.
        {kThree, 0, Down, 0}, {kThree, 2, Right, 2}, {kThree, 1, Up, 1},
        {kThree, 7, Left, 7}, // a focus past the end stays where it is
    };
    for (const auto &move : moves)
        EXPECT_EQ(move.to, NextMonitor(move.layout, move.from, move.direction))
            << "from " << move.from << " of " << move.layout.size() << ", direction "
            << static_cast<int>(move.direction);
}

TEST(MonitorLayout, TheLastChosenMonitorStaysChosen)
{
    std::vector<bool> chosen{true, false, false};
    EXPECT_FALSE(ToggleMonitor(chosen, 0));
    EXPECT_EQ((std::vector<bool>{true, false, false}), chosen);
    EXPECT_TRUE(ToggleMonitor(chosen, 2));
    EXPECT_TRUE(ToggleMonitor(chosen, 0));
    EXPECT_EQ((std::vector<bool>{false, false, true}), chosen);
    EXPECT_FALSE(ToggleMonitor(chosen, 2));
    EXPECT_FALSE(ToggleMonitor(chosen, 3));
    EXPECT_EQ((std::vector<bool>{false, false, true}), chosen);
}

TEST(MonitorLayout, SettingTextReadsBackAsTheSameChoice)
{
    // Every choice the map can make, written and read back; all three is the empty text.
    for (unsigned bits = 1; bits < 8; ++bits) {
        const std::vector<bool> chosen{(bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0};
        const std::wstring setting = MonitorsSetting(kThree, chosen);
        EXPECT_EQ(chosen, ChosenFlags(setting, kThree)) << bits;
        EXPECT_EQ(bits == 7, setting.empty()) << bits;
    }
    EXPECT_EQ(L"\\\\.\\DISPLAY1;\\\\.\\DISPLAY3", MonitorsSetting(kThree, {true, false, true}));
    EXPECT_EQ(L"", MonitorsSetting(kThree, {false, false, false}));

    // Read in the order given, whatever order ChooseMonitors puts them in; "Main" is the main.
    const DisplayMonitor unordered[] = {kThree[2], kThree[0], kThree[1]};
    EXPECT_EQ((std::vector<bool>{true, false, false}), ChosenFlags(L"\\\\.\\display3", unordered));
    EXPECT_EQ((std::vector<bool>{false, true, false}), ChosenFlags(L"Main", unordered));

    // Damaged text chooses every monitor.
    const std::vector<bool> all{true, true, true};
    EXPECT_EQ(all, ChosenFlags(L"\\\\.\\DISPLAY9", kThree));
    EXPECT_EQ(all, ChosenFlags(std::wstring(kMonitorsChars + 1, L'x'), kThree));
    EXPECT_EQ(all, ChosenFlags(L"\\\\.\\DISPLAY2\x01", kThree));

    // Names too many to fit: every monitor, not a text cut inside a name.
    std::vector<DisplayMonitor> many(40, DisplayMonitor{L"\\\\.\\DISPLAY_WITH_A_LONG_NAME_0", {}, false});
    std::vector<bool> most(40, true);
    most[0] = false;
    EXPECT_EQ(L"", MonitorsSetting(many, most));
}

} // namespace
