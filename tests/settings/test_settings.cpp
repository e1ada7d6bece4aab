// The settings store against the Wine prefix's real registry: defaults, the checks and
// conversions on load, the policy lookup, what a save writes and in which form, and the
// power scheme read. Every test starts and ends with the product's keys removed.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "monitor_choice.h"
#include "registry_forms.h"
#include "settings.h"

namespace {

// Every value of key as name -> form.
std::map<std::wstring, std::string> Values(const wchar_t *key)
{
    std::map<std::wstring, std::string> values;
    RegKey k;
    RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_QUERY_VALUE, k.put());
    wchar_t name[256];
    BYTE data[1024];
    DWORD length = 256, type = 0, size = sizeof(data);
    for (DWORD i = 0; k && !RegEnumValueW(k.get(), i, name, &length, nullptr, &type, data, &size);
         ++i, length = 256, size = sizeof(data))
        values[name] = Form(type, data, size);
    return values;
}

std::set<std::wstring> ValueNames(const wchar_t *key)
{
    std::set<std::wstring> names;
    for (const auto &value : Values(key))
        names.insert(value.first);
    return names;
}

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override { ClearProductKeys(); }
    void TearDown() override { ClearProductKeys(); }
    static Settings Loaded()
    {
        Settings s;
        s.SetDefaults();
        s.Load();
        return s;
    }
};

// With an empty registry, the defaults taken from the system: Wine gives every user a
// documents folder, where all three file dialogs start, and a version after NT 4, whose
// focus colour is the hot-track colour.
TEST_F(SettingsTest, EmptyRegistryTakesFoldersAndColourFromTheSystem)
{
    const Settings s = Loaded();
    EXPECT_NE(s.playlistOpenDirectory[0], L'\0');
    EXPECT_STREQ(s.playlistSaveDirectory, s.playlistOpenDirectory);
    EXPECT_STREQ(s.videoDirectory, s.playlistOpenDirectory);
    EXPECT_EQ(s.focusColor, GetSysColor(COLOR_HOTLIGHT));
    // Every monitor shows the same video, as before these two existed.
    EXPECT_FALSE(s.eachMonitorOwnVideo);
    EXPECT_STREQ(s.monitors, L"");
}

// Stored forms of one value at a time, on an otherwise empty registry, and what the
// field loads as.
TEST_F(SettingsTest, LoadClampsAndConverts)
{
    const double minus3p5 = -3.5, p12p25 = 12.25;
    const LONG minus1 = -1, seven = 7;
#define FIELD(expression) [](const Settings &s) -> double { return expression; }
    const struct {
        const wchar_t *key, *name;
        double (*field)(const Settings &);
        std::vector<std::pair<std::string, double>> cases;
    } values[] = {
        {kDefaultsKey, L"Loops", FIELD(s.playlistDefaults.loops), {{Dword(0), 1}, {Dword(10000), 9999}}},
        {kDefaultsKey, L"Volume", FIELD(s.playlistDefaults.volume), {{Dword(-1), 0}, {Dword(101), 100}}},
        {kReelhavenKey, L"Master Volume", FIELD(s.masterVolume), {{Dword(-5), 0}, {Dword(250), 100}}},
        {kReelhavenKey, L"LastTrack", FIELD(s.lastTrack),
         {{Form(REG_BINARY, &minus1, 4), 0}, {Form(REG_BINARY, &seven, 4), 7}}},
        {kReelhavenKey, L"LastPos", FIELD(s.lastPosition),
         {{Form(REG_BINARY, &minus3p5, 8), 0}, {Form(REG_BINARY, &p12p25, 8), 12.25}}},
        {kWidthsKey, L"Speed", FIELD(s.columnWidths[6]),
         {{Dword(-3), 16}, {Dword(0), 16}, {Dword(250), 250}, {Dword(0x7fffffff), 4096}}},
        {kDefaultsKey, L"Speed", FIELD(s.playlistDefaults.speed),
         {{Text(L"0.1"), 0.25}, {Text(L"9"), 4}, {Text(L"no number"), 0.25}, {Text(L"  +1.5x"), 1.5},
          {Text(L"2e0"), 2}, {Text(L"nan"), 0.25}}},
        {kDefaultsKey, L"Size", FIELD(s.playlistDefaults.sizeMode), {{Text(L"fULL sCREEN"), 1}}},
        {kDefaultsKey, L"Style", FIELD(s.playlistDefaults.displayStyle), {{Text(L"DESKTOP"), 1}}},
        // Booleans as a number or as text; text longer than the 4-byte buffer is read
        // nowhere and the default stays.
        {kReelhavenKey, L"Keyboard Controls", FIELD(s.keyboardControls),
         {{Text(L"1"), 1}, {Text(L"0"), 0}, {Text(L"y"), 0}, {Form(REG_SZ, L"1", 2), 1}, {Dword(2), 1},
          {Dword(0), 0}}},
        {kReelhavenKey, L"No Cache", FIELD(s.noCache), {{Text(L"10"), 1}}},
        // "Bounce Speed" read as step x 1000 + interval.
        {kReelhavenKey, L"Bounce Speed", FIELD(s.bounceStep * 1000.0 + s.bounceInterval),
         {{Dword(5), 1100}, {Dword(19), 1100}, {Dword(40), 1025}, {Dword(120), 2017}, {Dword(121), 2017},
          {Dword(-1), 2017}, {Dword(70), 2029}}},
    };
#undef FIELD
    for (const auto &value : values)
        for (const auto &[form, expected] : value.cases) {
            ClearProductKeys();
            Put(value.key, value.name, form);
            EXPECT_EQ(value.field(Loaded()), expected)
                << testing::PrintToString(std::wstring(value.name)) << " " << testing::PrintToString(form);
        }

    // An unknown size or style name leaves what the record had.
    Put(kDefaultsKey, L"Size", Text(L"Huge"));
    Put(kDefaultsKey, L"Style", Text(L"Wall"));
    Settings s = Loaded();
    s.playlistDefaults.sizeMode = 4;
    s.playlistDefaults.displayStyle = 1;
    s.Load();
    EXPECT_EQ(std::pair(s.playlistDefaults.sizeMode, s.playlistDefaults.displayStyle), std::pair(4L, 1L));
}

// An empty value, or a number shorter than its field, at a policy place is no value: the
// lookup goes on to the user's own, as it does past a missing one.
TEST_F(SettingsTest, AValueShorterThanItsFieldCountsAsMissing)
{
    const std::wstring policyWidths = std::wstring(kPolicyKey) + L"\\Playlist Column Widths";
    const WORD half = 0x4321;
    const LONGLONG cleanup = 0x12345678;
    const std::string empty = Form(REG_BINARY, "", 0), twoBytes = Form(REG_BINARY, &half, 2);
    const struct {
        const wchar_t *policyKey, *userKey, *name;
        std::string user;
        bool fixedSize;
    } values[] = {
        {kPolicyKey, kReelhavenKey, L"Master Volume", Dword(60), true},
        {kPolicyKey, kReelhavenKey, L"Focus Color", Dword(RGB(1, 2, 3)), true},
        {policyWidths.c_str(), kWidthsKey, L"File", Dword(120), true},
        {kPolicyKey, kReelhavenKey, L"Video File Types", Text(L"*.avi"), false},
        {kPolicyKey, kReelhavenKey, L"Keyboard Controls", Dword(1), false},
    };
    for (const auto &value : values) {
        Put(value.policyKey, value.name, empty, HKEY_LOCAL_MACHINE);
        if (value.fixedSize)
            Put(value.policyKey, value.name, twoBytes);
        Put(value.userKey, value.name, value.user);
    }
    Put(kReelhavenKey, L"CacheLastCleanup", Form(REG_BINARY, &cleanup, 4));
    const Settings s = Loaded();
    EXPECT_EQ(std::tuple(s.masterVolume, std::wstring(s.videoFileTypes), s.focusColor, s.keyboardControls,
                         s.columnWidths[0], s.cacheLastCleanup),
              std::tuple(60L, std::wstring(L"*.avi"), RGB(1, 2, 3), true, 120L, LONGLONG(0)));
}

TEST_F(SettingsTest, SavedFormsLoadBack)
{
    Settings s = Loaded();
    // Every size mode and style comes back as saved, speeds to two decimals; the last
    // saved is stored by names and the speed's text.
    for (LONG mode = 0; mode < kSizeModeCount; ++mode) {
        s.playlistDefaults.sizeMode = mode;
        s.playlistDefaults.displayStyle = mode % 2;
        s.playlistDefaults.speed = 0.25f + mode * 0.5f;
        s.Save(true);
        const PlaylistRow back = Loaded().playlistDefaults;
        EXPECT_EQ(std::tuple(back.sizeMode, back.displayStyle, back.speed),
                  std::tuple(mode, mode % 2, s.playlistDefaults.speed));
    }
    EXPECT_EQ(std::tuple(Get(kDefaultsKey, L"Size"), Get(kDefaultsKey, L"Style"), Get(kDefaultsKey, L"Speed")),
              std::tuple(Text(L"Double Original"), Text(L"Monitor"), Text(L"3.25")));
    // Bounce speeds as (index + 1) x 10; past the table, a pair that is in no row is stored
    // as 130 and read as the fastest.
    for (int i = 0; i <= kBounceSpeedCount; ++i) {
        const BounceSpeed pair = i < kBounceSpeedCount ? kBounceSpeeds[i] : BounceSpeed{3, 25};
        s.bounceStep = pair.step;
        s.bounceInterval = pair.interval;
        s.Save(true);
        EXPECT_EQ(Get(kReelhavenKey, L"Bounce Speed"), Dword((i + 1) * 10));
        const BounceSpeed back = kBounceSpeeds[std::min(i, kBounceSpeedCount - 1)];
        const Settings loaded = Loaded();
        EXPECT_EQ(std::tuple(loaded.bounceStep, loaded.bounceInterval), std::tuple(back.step, back.interval));
    }
}

TEST_F(SettingsTest, MachinePolicyWinsAndSurvivesSave)
{
    Put(kPolicyKey, L"Master Volume", Dword(33), HKEY_LOCAL_MACHINE);
    Put(kReelhavenKey, L"Master Volume", Dword(80));
    Put(kReelhavenKey, L"Playlist", Text(L"C:\\user.plst"));
    Settings s = Loaded();
    EXPECT_EQ(s.masterVolume, 33);
    EXPECT_STREQ(s.playlist, L"C:\\user.plst");

    s.masterVolume = 50;
    EXPECT_EQ(s.Save(true), ERROR_SUCCESS);
    EXPECT_EQ(Get(kPolicyKey, L"Master Volume", HKEY_LOCAL_MACHINE), Dword(33));
    EXPECT_EQ(Get(kReelhavenKey, L"Master Volume"), Dword(50));
    EXPECT_EQ(Loaded().masterVolume, 33);

    // The user's policy key comes after the machine's and before the user's own value.
    Put(kPolicyKey, L"Master Volume", Dword(44));
    EXPECT_EQ(Loaded().masterVolume, 33);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Policies\\Halcyra");
    EXPECT_EQ(Loaded().masterVolume, 44);
}

// A value counts as forced exactly when Load takes it from a place before the user's key.
TEST_F(SettingsTest, ForcedMeansAPlaceBeforeTheUsersKeyHoldsIt)
{
    constexpr wchar_t kMachineKey[] = L"Software\\Halcyra\\Reelhaven";
    Settings s = Loaded();
    Put(kReelhavenKey, L"Monitors", Text(L"Main"));
    EXPECT_FALSE(s.ForcedByPolicy(&s.monitors)) << "the user's own value";

    Put(kPolicyKey, L"Monitors", Text(L"\\\\.\\DISPLAY2"));
    Put(kPolicyKey, L"Bounce", Dword(1));            // a column width's name, in the wrong key
    Put(kPolicyKey, L"QuickStartShown", Dword(1));   // never read through the policy lookup
    Put(kPolicyKey, L"Each Monitor Own Video", Form(REG_DWORD, "\1\0\0\0\0", 5)); // too long to read
    EXPECT_TRUE(s.ForcedByPolicy(&s.monitors));
    EXPECT_FALSE(s.ForcedByPolicy(&s.columnWidths[3]));
    EXPECT_FALSE(s.ForcedByPolicy(&s.playlistDefaults.bounce));
    EXPECT_FALSE(s.ForcedByPolicy(&s.quickStartShown));
    EXPECT_FALSE(s.ForcedByPolicy(&s.eachMonitorOwnVideo));
    EXPECT_FALSE(Loaded().eachMonitorOwnVideo);

    // A text longer than its field is not read from the policy either.
    Put(kPolicyKey, L"Monitors", Text(std::wstring(kMonitorsChars + 1, L'x')));
    EXPECT_FALSE(s.ForcedByPolicy(&s.monitors));
    EXPECT_STREQ(L"Main", Loaded().monitors);

    // The machine's own key comes before the user's too.
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_LOCAL_MACHINE, kMachineKey, L"Each Monitor Own Video", REG_DWORD,
                                             "\1\0\0\0", 4));
    EXPECT_TRUE(s.ForcedByPolicy(&s.eachMonitorOwnVideo));
    EXPECT_TRUE(Loaded().eachMonitorOwnVideo);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Halcyra");
}

TEST_F(SettingsTest, SaveWritesEachValueInItsForm)
{
    Settings s = Loaded();
    s.keyboardControls = true;
    wcscpy(s.lastPlaylist, L"D:\\Lists\\Evening.plst");
    s.lastPosition = 12.5;
    s.lastTrack = 3;
    s.cacheLastCleanup = 0x01D9000012345678;
    s.focusColor = RGB(1, 2, 3);
    s.columnWidths[2] = 42;
    // Without `all`, only the always-saved values: the column widths, these two, and
    // QuickStartShown once it is true.
    ASSERT_EQ(s.Save(false), ERROR_SUCCESS);
    EXPECT_EQ(ValueNames(kReelhavenKey), (std::set<std::wstring>{L"Show Path", L"CacheLastCleanup"}));
    EXPECT_EQ(ValueNames(kWidthsKey),
              (std::set<std::wstring>{L"File", L"Loops", L"Size", L"Bounce", L"Volume", L"Style", L"Speed"}));
    EXPECT_TRUE(ValueNames(kDefaultsKey).empty());
    s.quickStartShown = true;
    s.Save(false);
    EXPECT_EQ(ValueNames(kReelhavenKey),
              (std::set<std::wstring>{L"Show Path", L"CacheLastCleanup", L"QuickStartShown"}));
    EXPECT_EQ(Loaded().columnWidths[2], 42);
    EXPECT_FALSE(Loaded().keyboardControls);

    // With `all`, every value in its form and no other: what other programs read.
    s.bounceStep = 2, s.bounceInterval = 20;
    s.continueWhereStopped = false, s.ignoreMouseMovement = true, s.randomOrderPlayback = true;
    s.useClassicVideoRenderer = true, s.useSingleRendererDesktopMode = false, s.noCache = false;
    s.eachMonitorOwnVideo = true;
    wcscpy(s.monitors, L"\\\\.\\DISPLAY2;\\\\.\\DISPLAY3");
    wcscpy(s.videoDirectory, L"V:\\Clips");
    wcscpy(s.playlistOpenDirectory, L"O:\\Lists");
    wcscpy(s.playlistSaveDirectory, L"S:\\Lists");
    wcscpy(s.videoFileTypes, L"*.avi;*.mp4");
    s.masterVolume = 61;
    s.playlistDefaults.bounce = true, s.playlistDefaults.loops = 12, s.playlistDefaults.sizeMode = 5;
    s.playlistDefaults.speed = 1.5f, s.playlistDefaults.displayStyle = 1, s.playlistDefaults.volume = 35;
    ASSERT_EQ(s.Save(true), ERROR_SUCCESS);
    const BYTE shown = 1;
    // The cache settings are only ever set by hand or by policy: not among them.
    EXPECT_EQ(Values(kReelhavenKey), (std::map<std::wstring, std::string>{
                                         {L"Show Path", Dword(0)},
                                         {L"QuickStartShown", Form(REG_BINARY, &shown, 1)},
                                         {L"CacheLastCleanup", Form(REG_BINARY, &s.cacheLastCleanup, 8)},
                                         {L"Bounce Speed", Dword(100)},
                                         {L"Continue Where Stopped", Dword(0)},
                                         {L"Keyboard Controls", Dword(1)},
                                         {L"Video Directory", Text(L"V:\\Clips")},
                                         {L"Playlist Open Directory", Text(L"O:\\Lists")},
                                         {L"LastPlaylist", Text(L"D:\\Lists\\Evening.plst", REG_BINARY)},
                                         {L"LastPos", Form(REG_BINARY, &s.lastPosition, 8)},
                                         {L"Playlist Save Directory", Text(L"S:\\Lists")},
                                         {L"LastTrack", Form(REG_BINARY, &s.lastTrack, 4)},
                                         {L"Master Volume", Dword(61)},
                                         {L"Ignore Mouse Movement", Dword(1)},
                                         {L"Playlist", Text(L"")},
                                         {L"Random Order Playback", Dword(1)},
                                         {L"Video File Types", Text(L"*.avi;*.mp4")},
                                         {L"Focus Color", Dword(RGB(1, 2, 3))},
                                         {L"Use Classic Video Renderer", Dword(1)},
                                         {L"UseSingleRendererDesktopMode", Dword(0)},
                                         {L"Each Monitor Own Video", Dword(1)},
                                         {L"Monitors", Text(L"\\\\.\\DISPLAY2;\\\\.\\DISPLAY3")},
                                     }));
    EXPECT_EQ(Values(kDefaultsKey), (std::map<std::wstring, std::string>{
                                        {L"Bounce", Dword(1)},
                                        {L"Loops", Dword(12)},
                                        {L"Size", Text(L"Original")},
                                        {L"Speed", Text(L"1.50")},
                                        {L"Style", Text(L"Desktop")},
                                        {L"Volume", Dword(35)},
                                    }));
    EXPECT_EQ(Values(kWidthsKey)[L"Size"], Dword(42));

    // The other forms' loads are in the load case.
    const Settings back = Loaded();
    EXPECT_EQ(std::pair(back.cacheLastCleanup, back.quickStartShown), std::pair(s.cacheLastCleanup, true));
}

TEST_F(SettingsTest, TextIsTerminatedWithinItsField)
{
    // 300 characters with no terminator fill the 600-byte field. (The registry adds a
    // terminator left out of the count when one follows the data, so more text is given.)
    const std::wstring full(301, L'x');
    for (auto [name, type] : {std::pair(L"Playlist", REG_SZ), std::pair(L"LastPlaylist", REG_BINARY)})
        ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kReelhavenKey, name, type, full.data(), 600), ERROR_SUCCESS);
    // 200 characters and the terminator do not fit the 200-character field.
    Put(kReelhavenKey, L"Video File Types", Text(std::wstring(200, L'y')));
    // A monitor list longer than 1024 characters is read nowhere: past a policy's, the
    // user's own counts.
    Put(kPolicyKey, L"Monitors", Text(std::wstring(1025, L';')), HKEY_LOCAL_MACHINE);
    Put(kReelhavenKey, L"Monitors", Text(L"Main"));
    const Settings s = Loaded();
    EXPECT_EQ(std::wstring(s.playlist), full.substr(0, 299));
    EXPECT_EQ(std::wstring(s.lastPlaylist), full.substr(0, 299));
    EXPECT_STREQ(s.videoFileTypes, L"*.asf;*.avi;*.mov;*.mpg;*.mpeg;*.qt;*.vob;*.wmv");
    EXPECT_STREQ(s.monitors, L"Main");
    Put(kReelhavenKey, L"Monitors", Text(std::wstring(1024, L'm')));
    EXPECT_EQ(std::wstring(Loaded().monitors), std::wstring(1024, L'm'));
}

TEST_F(SettingsTest, PowerSchemeTimeouts)
{
    constexpr wchar_t kPowerCfg[] = L"Control Panel\\PowerCfg";
    constexpr wchar_t kScheme[] = L"Control Panel\\PowerCfg\\PowerPolicies\\97";
    const std::string previous = Get(kPowerCfg, L"CurrentPowerPolicy");
    DWORD policy[21] = {}; // 84 bytes: IdleTimeoutAc at 28, VideoTimeoutAc at 56, SpindownTimeoutAc at 64
    policy[7] = 600, policy[14] = 300, policy[16] = 1200;
    Put(kPowerCfg, L"CurrentPowerPolicy", Text(L"97"));
    DWORD idle = 1, video = 1, spindown = 1;
    for (DWORD bytes : {80u, 40u, 81u}) {
        // Too short to hold the timeouts, or too long for the 80-byte buffer: no scheme.
        Put(kScheme, L"Policies", Form(REG_BINARY, policy, bytes));
        const DWORD good = bytes == 80;
        EXPECT_EQ(ReadPowerTimeouts(&idle, &video, &spindown), bool(good)) << bytes;
        EXPECT_EQ(std::tuple(idle, video, spindown), std::tuple(600 * good, 300 * good, 1200 * good)) << bytes;
    }
    Put(kScheme, L"Policies", Form(REG_BINARY, policy, 80));
    EXPECT_TRUE(ReadPowerTimeouts(&idle, nullptr, nullptr) && idle == 600);
    Put(kPowerCfg, L"CurrentPowerPolicy", Text(L"96"));
    EXPECT_FALSE(ReadPowerTimeouts(&idle, nullptr, nullptr) || idle != 0);

    RegDeleteTreeW(HKEY_CURRENT_USER, kScheme);
    if (previous != "missing")
        Put(kPowerCfg, L"CurrentPowerPolicy", previous);
    else
        RegDeleteKeyValueW(HKEY_CURRENT_USER, kPowerCfg, L"CurrentPowerPolicy");
}

} // namespace
