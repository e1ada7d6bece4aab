// The one mapping between a playlist row and the library's item, which the configuration
// dialog and the playlist tool both use: every size mode both ways, item fields that are
// no mode, and the other field groups with the validMask bits a write reports.
#include <gtest/gtest.h>

#include <iterator>
#include <tuple>

#include "playlist_row.h"

namespace {

TEST(PlaylistRowTest, EverySizeModeBothWays)
{
    const struct {
        const wchar_t *name;
        BYTE toScreen, keepAspect;
        float scale;
    } modes[] = {{L"Maximized", 1, 1, 1.0f},  {L"Full Screen", 1, 0, 1.0f}, {L"3/4 Screen", 1, 1, 0.75f},
                 {L"1/2 Screen", 1, 1, 0.5f}, {L"1/4 Screen", 1, 1, 0.25f}, {L"Original", 0, 1, 1.0f},
                 {L"Double Original", 0, 1, 2.0f}};
    ASSERT_EQ(std::size(modes), size_t(kSizeModeCount));
    for (LONG mode = 0; mode < kSizeModeCount; ++mode) {
        const auto &m = modes[mode];
        EXPECT_STREQ(kSizeNames[mode], m.name);
        PlaylistRow row{};
        row.sizeMode = mode;
        PlaybackItem item{};
        EXPECT_EQ(RowToItem(row, item, kRowSize), DWORD(kRowSize)) << mode;
        EXPECT_EQ(std::tuple(item.scaleToScreen, item.keepAspect, item.scale),
                  std::tuple(m.toScreen, m.keepAspect, m.scale)) << mode;
        PlaylistRow back{};
        back.sizeMode = -1;
        ItemToRow(item, back);
        EXPECT_EQ(back.sizeMode, mode);
    }
}

// Keep-aspect only tells Maximized from Full Screen; a scale of no mode leaves the row's
// mode, and a row's mode outside the table writes no size fields.
TEST(PlaylistRowTest, FieldsOfNoModeAndAModeOfNoFields)
{
    const struct {
        BYTE toScreen, keepAspect;
        float scale;
        int mode;
    } cases[] = {{1, 0, 0.75f, 2}, {0, 0, 1.0f, 5}, {0, 0, 2.0f, 6}, {2, 1, 1.0f, 0},
                 {1, 1, 0.6f, -1}, {0, 1, 0.5f, -1}, {1, 1, 2.0f, -1}};
    for (const auto &c : cases) {
        PlaybackItem item{};
        item.scaleToScreen = c.toScreen, item.keepAspect = c.keepAspect, item.scale = c.scale;
        EXPECT_EQ(SizeModeOf(item), c.mode) << c.scale;
        PlaylistRow row{};
        row.sizeMode = 4;
        ItemToRow(item, row);
        EXPECT_EQ(row.sizeMode, c.mode < 0 ? 4 : c.mode) << c.scale;
    }
    PlaylistRow row{};
    row.sizeMode = kSizeModeCount;
    PlaybackItem item{};
    item.scale = 3.0f;
    EXPECT_EQ(RowToItem(row, item), DWORD(kRowAll & ~kRowSize));
    EXPECT_EQ(std::tuple(item.scaleToScreen, item.scale), std::tuple(BYTE(0), 3.0f));
}

TEST(PlaylistRowTest, OtherFieldsBothWaysOnlyThoseAsked)
{
    PlaylistRow row{};
    row.loops = 12, row.volume = 35, row.displayStyle = 1, row.bounce = true, row.speed = 1.25f;
    row.sizeMode = 3;
    PlaybackItem item{};
    item.perMonitor = 1;
    EXPECT_EQ(RowToItem(row, item, kRowStyle | kRowBounce), DWORD(kRowStyle | kRowBounce));
    EXPECT_EQ(std::tuple(item.loops, item.perMonitor, item.bounce, item.scale, item.validMask),
              std::tuple(0L, BYTE(0), BYTE(1), 0.0f, DWORD(0)));
    EXPECT_EQ(RowToItem(row, item), DWORD(kRowAll));
    EXPECT_EQ(std::tuple(item.loops, item.volume, item.rate, item.fileName),
              std::tuple(12L, 35L, 1.25f, static_cast<wchar_t *>(nullptr)));

    item.perMonitor = 7; // any other than 0 is a picture on each monitor
    PlaylistRow back{};
    ItemToRow(item, back);
    EXPECT_EQ(std::tuple(back.loops, back.volume, back.displayStyle, back.bounce, back.speed, back.sizeMode),
              std::tuple(12L, 35L, 0L, true, 1.25f, 3L));
    row.displayStyle = 0;
    RowToItem(row, item, kRowStyle);
    EXPECT_EQ(item.perMonitor, 1);
}

} // namespace
