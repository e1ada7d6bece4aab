// The settings store against the Wine prefix's real registry: defaults, the checks and
// conversions on load, the policy lookup, what a save writes and in which form, and the
// power scheme read. Every test starts and ends with the product's keys removed.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <tuple>

#include "handles.h"
#include "master_volume.h"
#include "settings.h"

namespace {

constexpr wchar_t kUserKey[] = L"Software\\Halcyra\\Reelhaven";
constexpr wchar_t kDefaultsKey[] = L"Software\\Halcyra\\Reelhaven\\Playlist Defaults";
constexpr wchar_t kPolicyKey[] = L"Software\\Policies\\Halcyra\\Reelhaven";

constexpr wchar_t kWidthsKey[] = L"Software\\Halcyra\\Reelhaven\\Playlist Column Widths";

void Put(const wchar_t *key, const wchar_t *name, DWORD type, const void *data, DWORD size,
         HKEY root = HKEY_CURRENT_USER)
{
    ASSERT_EQ(RegSetKeyValueW(root, key, name, type, data, size), ERROR_SUCCESS);
}
void PutDword(const wchar_t *key, const wchar_t *name, LONG value, HKEY root = HKEY_CURRENT_USER)
{
    Put(key, name, REG_DWORD, &value, sizeof(value), root);
}
void PutText(const wchar_t *key, const wchar_t *name, const std::wstring &text)
{
    Put(key, name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

// A stored value as "type:bytes", or "missing".
std::string Get(const wchar_t *key, const wchar_t *name, HKEY root = HKEY_CURRENT_USER)
{
    char buffer[1024];
    DWORD size = sizeof(buffer), type = 0;
    if (RegGetValueW(root, key, name, RRF_RT_ANY | RRF_NOEXPAND, &type, buffer, &size))
        return "missing";
    return std::to_string(type) + ":" + std::string(buffer, size);
}
std::string Form(DWORD type, const void *data, size_t size)
{
    return std::to_string(type) + ":" + std::string(static_cast<const char *>(data), size);
}
std::string Dword(DWORD value) { return Form(REG_DWORD, &value, 4); }
std::string Text(const std::wstring &text, DWORD type = REG_SZ)
{
    return Form(type, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
}

std::set<std::wstring> ValueNames(const wchar_t *key)
{
    std::set<std::wstring> names;
    RegKey k;
    RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_QUERY_VALUE, k.put());
    wchar_t name[256];
    DWORD length = 256;
    for (DWORD i = 0; k && !RegEnumValueW(k.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr);
         ++i, length = 256)
        names.insert(name);
    return names;
}

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override { TearDown(); }
    void TearDown() override
    {
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Halcyra");
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Policies\\Halcyra");
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Policies\\Halcyra");
    }
    static Settings Loaded()
    {
        Settings s;
        s.SetDefaults();
        s.Load();
        return s;
    }
};

TEST_F(SettingsTest, EmptyRegistryGivesEveryDefault)
{
    const Settings s = Loaded();
    const auto &d = s.playlistDefaults;
    EXPECT_EQ(std::wstring(d.path) + L"|" + d.name, L"|");
    EXPECT_EQ(d.name, d.path);
    EXPECT_EQ(std::tuple(d.loops, d.sizeMode, d.style, d.volume, d.speed, bool(d.bounce)),
              std::tuple(1, 0, 0, 100, 1.0f, false));
    EXPECT_EQ(s.masterVolume, MixerVolumeToPercent(GetMasterVolume()));
    EXPECT_EQ(std::tuple(s.bounceStep, s.bounceInterval), std::tuple(1u, 25u));
    EXPECT_EQ(std::set<LONG>(std::begin(s.columnWidths), std::end(s.columnWidths)), std::set<LONG>{100});
    EXPECT_STREQ(s.videoFileTypes, L"*.asf;*.avi;*.mov;*.mpg;*.mpeg;*.qt;*.vob;*.wmv");
    // Wine gives every user a documents folder.
    EXPECT_NE(s.playlistOpenDirectory[0], L'\0');
    EXPECT_STREQ(s.playlistSaveDirectory, s.playlistOpenDirectory);
    EXPECT_STREQ(s.videoDirectory, s.playlistOpenDirectory);
    EXPECT_EQ(std::wstring(s.playlist) + L"|" + s.lastPlaylist, L"|");
    EXPECT_FALSE(s.showPath || s.randomOrderPlayback || s.continueWhereStopped ||
                 s.ignoreMouseMovement || s.keyboardControls || s.quickStartShown ||
                 s.useClassicVideoRenderer || s.useSingleRendererDesktopMode);
    EXPECT_EQ(std::tuple(s.lastPosition, s.lastTrack, s.cacheLastCleanup), std::tuple(0.0, 0L, LONGLONG(0)));
    EXPECT_EQ(s.focusColor, GetSysColor(COLOR_HOTLIGHT)); // Wine reports a version after NT 4
    EXPECT_EQ(std::tuple(bool(s.noCache), s.cacheExpirationPeriod, s.cacheCleanupInterval),
              std::tuple(true, 10u, 2u));
    EXPECT_STREQ(s.registryKey, L"Software\\Halcyra\\Reelhaven");
}

TEST_F(SettingsTest, NumbersAreClampedOnLoad)
{
    const struct {
        LONG loops, master, volume, track, width;
        double pos;
        LONG wantLoops, wantMaster, wantVolume, wantTrack, wantWidth;
    } cases[] = {
        {0, -5, -1, -1, -3, -3.5, 1, 0, 0, 0, 0},
        {10000, 250, 101, 7, 250, 12.25, 9999, 100, 100, 7, 250},
    };
    for (const auto &c : cases) {
        PutDword(kDefaultsKey, L"Loops", c.loops);
        PutDword(kDefaultsKey, L"Volume", c.volume);
        PutDword(kUserKey, L"Master Volume", c.master);
        Put(kUserKey, L"LastTrack", REG_BINARY, &c.track, 4);
        Put(kUserKey, L"LastPos", REG_BINARY, &c.pos, 8);
        PutDword(kWidthsKey, L"Speed", c.width);
        const Settings s = Loaded();
        EXPECT_EQ(std::tuple(s.playlistDefaults.loops, s.playlistDefaults.volume, s.masterVolume, s.lastTrack,
                             s.lastPosition, s.columnWidths[6]),
                  std::tuple(c.wantLoops, c.wantVolume, c.wantMaster, c.wantTrack, c.pos < 0 ? 0.0 : c.pos,
                             c.wantWidth));
    }
}

TEST_F(SettingsTest, SpeedSizeAndStyleTexts)
{
    const struct {
        const wchar_t *text;
        float speed;
        const wchar_t *saved;
    } speeds[] = {{L"0.1", 0.25f, L"0.25"},     {L"9", 4.0f, L"4.00"},   {L"no number", 0.25f, L"0.25"},
                  {L"  +1.5x", 1.5f, L"1.50"}, {L"2e0", 2.0f, L"2.00"}, {L"nan", 0.25f, L"0.25"}};
    for (const auto &c : speeds) {
        PutText(kDefaultsKey, L"Speed", c.text);
        Settings s = Loaded();
        EXPECT_EQ(s.playlistDefaults.speed, c.speed);
        s.Save(true);
        EXPECT_EQ(Get(kDefaultsKey, L"Speed"), Text(c.saved));
    }

    PutText(kDefaultsKey, L"Size", L"fULL sCREEN");
    PutText(kDefaultsKey, L"Style", L"DESKTOP");
    Settings s = Loaded();
    EXPECT_EQ(s.playlistDefaults.sizeMode, 1);
    EXPECT_EQ(s.playlistDefaults.style, 1);
    // An unknown name leaves what the record had.
    PutText(kDefaultsKey, L"Size", L"Huge");
    PutText(kDefaultsKey, L"Style", L"Wall");
    s.playlistDefaults.sizeMode = 4;
    s.Load();
    EXPECT_EQ(s.playlistDefaults.sizeMode, 4);
    EXPECT_EQ(s.playlistDefaults.style, 1);
    // Every mode survives a save and a load, stored as its name.
    for (LONG mode = 0; mode < kSizeModeCount; ++mode) {
        s.playlistDefaults.sizeMode = mode;
        s.playlistDefaults.style = mode % 2;
        s.Save(true);
        EXPECT_EQ(Get(kDefaultsKey, L"Size"), Text(kSizeNames[mode]));
        EXPECT_EQ(Loaded().playlistDefaults.sizeMode, mode);
        EXPECT_EQ(Loaded().playlistDefaults.style, mode % 2);
    }
}

TEST_F(SettingsTest, BooleansReadAsNumberOrText)
{
    const struct {
        DWORD type;
        const void *data;
        DWORD size;
        bool want;
    } cases[] = {{REG_SZ, L"1", 4, true},          {REG_SZ, L"0", 4, false},
                 {REG_SZ, L"y", 4, false},         {REG_SZ, L"1", 2, true},
                 {REG_DWORD, "\2\0\0\0", 4, true}, {REG_DWORD, "\0\0\0\0", 4, false}};
    for (const auto &c : cases) {
        Put(kUserKey, L"Keyboard Controls", c.type, c.data, c.size);
        EXPECT_EQ(Loaded().keyboardControls, c.want) << c.type << " " << c.size;
    }
    // Text longer than the 4-byte buffer is read nowhere: the default stays.
    PutText(kUserKey, L"No Cache", L"10");
    EXPECT_TRUE(Loaded().noCache);

    DWORD type = kRegBoolean, value = 7;
    EXPECT_EQ(ReadPolicyValue(L"Halcyra\\Reelhaven", L"Keyboard Controls", &type, &value, 4), 0);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(value, 0u);
    value = 7;
    EXPECT_EQ(ReadPolicyValue(L"Halcyra\\Reelhaven", L"Missing", nullptr, &value, 4), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(value, 7u);
}

TEST_F(SettingsTest, BounceSpeedCodingBothWays)
{
    const struct {
        LONG stored;
        DWORD step, interval;
    } loads[] = {{5, 1, 100}, {19, 1, 100}, {40, 1, 25}, {120, 2, 17}, {121, 2, 17}, {-1, 2, 17}, {70, 2, 29}};
    for (const auto &c : loads) {
        PutDword(kUserKey, L"Bounce Speed", c.stored);
        const Settings s = Loaded();
        EXPECT_EQ(std::tuple(s.bounceStep, s.bounceInterval), std::tuple(c.step, c.interval)) << c.stored;
    }
    Settings s = Loaded();
    for (int i = 0; i <= kBounceSpeedCount; ++i) {
        // Past the table, a pair that is in no row is stored as 130 and read as the fastest.
        const BounceSpeed pair = i < kBounceSpeedCount ? kBounceSpeeds[i] : BounceSpeed{3, 25};
        s.bounceStep = pair.step;
        s.bounceInterval = pair.interval;
        s.Save(true);
        EXPECT_EQ(Get(kUserKey, L"Bounce Speed"), Dword((i + 1) * 10));
        const BounceSpeed back = kBounceSpeeds[std::min(i, kBounceSpeedCount - 1)];
        const Settings loaded = Loaded();
        EXPECT_EQ(std::tuple(loaded.bounceStep, loaded.bounceInterval), std::tuple(back.step, back.interval));
    }
}

TEST_F(SettingsTest, MachinePolicyWinsAndSurvivesSave)
{
    PutDword(kPolicyKey, L"Master Volume", 33, HKEY_LOCAL_MACHINE);
    PutDword(kUserKey, L"Master Volume", 80);
    PutText(kUserKey, L"Playlist", L"C:\\user.plst");
    Settings s = Loaded();
    EXPECT_EQ(s.masterVolume, 33);
    EXPECT_STREQ(s.playlist, L"C:\\user.plst");

    s.masterVolume = 50;
    EXPECT_EQ(s.Save(true), ERROR_SUCCESS);
    EXPECT_EQ(Get(kPolicyKey, L"Master Volume", HKEY_LOCAL_MACHINE), Dword(33));
    EXPECT_EQ(Get(kUserKey, L"Master Volume"), Dword(50));
    EXPECT_EQ(Loaded().masterVolume, 33);

    // The user's policy key comes after the machine's and before the user's own value.
    PutDword(kPolicyKey, L"Master Volume", 44);
    EXPECT_EQ(Loaded().masterVolume, 33);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Policies\\Halcyra");
    EXPECT_EQ(Loaded().masterVolume, 44);
}

TEST_F(SettingsTest, SaveWritesEachValueInItsForm)
{
    Settings s = Loaded();
    s.keyboardControls = true;
    wcscpy(s.lastPlaylist, L"D:\\Lists\\Evening.plst");
    s.lastPosition = 12.5;
    s.lastTrack = 3;
    s.cacheLastCleanup = 0x01D9000012345678;
    s.quickStartShown = true;
    s.focusColor = RGB(1, 2, 3);
    ASSERT_EQ(s.Save(true), ERROR_SUCCESS);

    const BYTE shown = 1;
    const std::pair<const wchar_t *, std::string> expected[] = {
        {L"Show Path", Dword(0)},
        {L"Keyboard Controls", Dword(1)},
        {L"LastPlaylist", Text(L"D:\\Lists\\Evening.plst", REG_BINARY)},
        {L"LastPos", Form(REG_BINARY, &s.lastPosition, 8)},
        {L"LastTrack", Form(REG_BINARY, &s.lastTrack, 4)},
        {L"CacheLastCleanup", Form(REG_BINARY, &s.cacheLastCleanup, 8)},
        {L"QuickStartShown", Form(REG_BINARY, &shown, 1)},
        {L"Focus Color", Dword(RGB(1, 2, 3))},
        {L"Playlist", Text(L"")},
        // The cache settings are only ever set by hand or by policy.
        {L"No Cache", "missing"},
        {L"Cache Expiration Period", "missing"},
        {L"Cache Cleanup Interval", "missing"},
    };
    for (const auto &[name, form] : expected)
        EXPECT_EQ(Get(kUserKey, name), form) << testing::PrintToString(std::wstring(name));
    EXPECT_EQ(Get(kDefaultsKey, L"Bounce"), Dword(0));
    EXPECT_EQ(Get(kDefaultsKey, L"Style"), Text(L"Monitor"));

    const Settings back = Loaded();
    EXPECT_STREQ(back.lastPlaylist, L"D:\\Lists\\Evening.plst");
    EXPECT_EQ(std::tuple(back.lastPosition, back.lastTrack, back.cacheLastCleanup), std::tuple(12.5, 3L, s.cacheLastCleanup));
    EXPECT_TRUE(back.quickStartShown && back.keyboardControls);
}

TEST_F(SettingsTest, SaveOfAlwaysValuesOnly)
{
    Settings s = Loaded();
    s.keyboardControls = true;
    s.columnWidths[2] = 42;
    ASSERT_EQ(s.Save(false), ERROR_SUCCESS);
    EXPECT_EQ(ValueNames(kUserKey), (std::set<std::wstring>{L"Show Path", L"CacheLastCleanup"}));
    EXPECT_EQ(ValueNames(kWidthsKey),
              (std::set<std::wstring>{L"File", L"Loops", L"Size", L"Bounce", L"Volume", L"Style", L"Speed"}));
    EXPECT_TRUE(ValueNames(kDefaultsKey).empty());

    s.quickStartShown = true;
    s.Save(false);
    EXPECT_EQ(ValueNames(kUserKey), (std::set<std::wstring>{L"Show Path", L"CacheLastCleanup", L"QuickStartShown"}));
    EXPECT_EQ(Loaded().columnWidths[2], 42);
    EXPECT_FALSE(Loaded().keyboardControls);
}

TEST_F(SettingsTest, TextIsTerminatedWithinItsField)
{
    // 300 characters with no terminator fill the 600-byte field. (The registry adds a
    // terminator left out of the count when one follows the data, so more text is given.)
    const std::wstring full(301, L'x');
    Put(kUserKey, L"Playlist", REG_SZ, full.data(), 600);
    Put(kUserKey, L"LastPlaylist", REG_BINARY, full.data(), 600);
    // 200 characters and the terminator do not fit the 200-character field.
    PutText(kUserKey, L"Video File Types", std::wstring(200, L'y'));
    const Settings s = Loaded();
    EXPECT_EQ(std::wstring(s.playlist), full.substr(0, 299));
    EXPECT_EQ(std::wstring(s.lastPlaylist), full.substr(0, 299));
    EXPECT_STREQ(s.videoFileTypes, L"*.asf;*.avi;*.mov;*.mpg;*.mpeg;*.qt;*.vob;*.wmv");
}

TEST_F(SettingsTest, PowerSchemeTimeouts)
{
    constexpr wchar_t kPowerCfg[] = L"Control Panel\\PowerCfg";
    constexpr wchar_t kScheme[] = L"Control Panel\\PowerCfg\\PowerPolicies\\97";
    wchar_t previous[64] = {};
    DWORD size = sizeof(previous);
    const bool hadPolicy = !RegGetValueW(HKEY_CURRENT_USER, kPowerCfg, L"CurrentPowerPolicy",
                                         RRF_RT_REG_SZ, nullptr, previous, &size);

    DWORD policy[21] = {}; // 84 bytes: IdleTimeoutAc at 28, VideoTimeoutAc at 56, SpindownTimeoutAc at 64
    policy[7] = 600;
    policy[14] = 300;
    policy[16] = 1200;
    PutText(kPowerCfg, L"CurrentPowerPolicy", L"97");
    DWORD idle = 1, video = 1, spindown = 1;
    for (DWORD bytes : {80u, 40u, 81u}) {
        // Too short to hold the timeouts, or too long for the 80-byte buffer: no scheme.
        Put(kScheme, L"Policies", REG_BINARY, policy, bytes);
        const DWORD good = bytes == 80;
        EXPECT_EQ(ReadPowerTimeouts(&idle, &video, &spindown), bool(good)) << bytes;
        EXPECT_EQ(std::tuple(idle, video, spindown), std::tuple(600 * good, 300 * good, 1200 * good)) << bytes;
    }
    Put(kScheme, L"Policies", REG_BINARY, policy, 80);
    EXPECT_TRUE(ReadPowerTimeouts(&idle, nullptr, nullptr));
    EXPECT_EQ(idle, 600u);
    PutText(kPowerCfg, L"CurrentPowerPolicy", L"96");
    EXPECT_FALSE(ReadPowerTimeouts(&idle, nullptr, nullptr));
    EXPECT_EQ(idle, 0u);

    RegDeleteTreeW(HKEY_CURRENT_USER, kScheme);
    if (hadPolicy)
        PutText(kPowerCfg, L"CurrentPowerPolicy", previous);
    else
        RegDeleteKeyValueW(HKEY_CURRENT_USER, kPowerCfg, L"CurrentPowerPolicy");
}

} // namespace
