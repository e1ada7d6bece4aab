// The settings store against the Wine prefix's real registry: defaults, the checks and
// conversions on load, the policy lookup, what a save writes and in which form, and the
// power scheme read. Every test starts and ends with the product's keys removed.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <set>
#include <string>

#include "handles.h"
#include "master_volume.h"
#include "settings.h"

namespace {

constexpr wchar_t kUserKey[] = L"Software\\Halcyra\\Reelhaven";
constexpr wchar_t kDefaultsKey[] = L"Software\\Halcyra\\Reelhaven\\Playlist Defaults";
constexpr wchar_t kPolicyKey[] = L"Software\\Policies\\Halcyra\\Reelhaven";

void RemoveProductKeys()
{
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Halcyra");
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Policies\\Halcyra");
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Policies\\Halcyra");
}

void Put(HKEY root, const wchar_t *key, const wchar_t *name, DWORD type, const void *data,
         DWORD size)
{
    RegKey k;
    ASSERT_EQ(RegCreateKeyExW(root, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, k.put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(k.get(), name, 0, type, static_cast<const BYTE *>(data), size),
              ERROR_SUCCESS);
}
void PutDword(const wchar_t *key, const wchar_t *name, DWORD value, HKEY root = HKEY_CURRENT_USER)
{
    Put(root, key, name, REG_DWORD, &value, sizeof(value));
}
void PutText(const wchar_t *key, const wchar_t *name, const std::wstring &text)
{
    Put(HKEY_CURRENT_USER, key, name, REG_SZ, text.c_str(),
        static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

struct Stored {
    LONG result = ERROR_FILE_NOT_FOUND;
    DWORD type = REG_NONE;
    std::string bytes;
};
Stored Get(const wchar_t *key, const wchar_t *name, HKEY root = HKEY_CURRENT_USER)
{
    Stored s;
    char buffer[1024];
    DWORD size = sizeof(buffer);
    s.result = RegGetValueW(root, key, name, RRF_RT_ANY | RRF_NOEXPAND, &s.type, buffer, &size);
    if (s.result == ERROR_SUCCESS)
        s.bytes.assign(buffer, size);
    return s;
}
std::string Bytes(const void *data, size_t size)
{
    return std::string(static_cast<const char *>(data), size);
}
std::string TextBytes(const std::wstring &text)
{
    return Bytes(text.c_str(), (text.size() + 1) * sizeof(wchar_t));
}

std::set<std::wstring> ValueNames(const wchar_t *key)
{
    std::set<std::wstring> names;
    RegKey k;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_QUERY_VALUE, k.put()) != ERROR_SUCCESS)
        return names;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (RegEnumValueW(k.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.insert(name);
    }
    return names;
}

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override { RemoveProductKeys(); }
    void TearDown() override { RemoveProductKeys(); }
    Settings Loaded()
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
    EXPECT_EQ(s.playlistDefaults.path[0], L'\0');
    EXPECT_EQ(s.playlistDefaults.name, s.playlistDefaults.path);
    EXPECT_EQ(s.playlistDefaults.loops, 1);
    EXPECT_EQ(s.playlistDefaults.sizeMode, 0);
    EXPECT_EQ(s.playlistDefaults.style, 0);
    EXPECT_EQ(s.playlistDefaults.volume, 100);
    EXPECT_EQ(s.playlistDefaults.speed, 1.0f);
    EXPECT_FALSE(s.playlistDefaults.bounce);
    EXPECT_EQ(s.masterVolume, MixerVolumeToPercent(GetMasterVolume()));
    EXPECT_EQ(s.bounceStep, 1u);
    EXPECT_EQ(s.bounceInterval, 25u);
    for (LONG width : s.columnWidths)
        EXPECT_EQ(width, 100);
    EXPECT_STREQ(s.videoFileTypes, L"*.asf;*.avi;*.mov;*.mpg;*.mpeg;*.qt;*.vob;*.wmv");
    // Wine gives every user a documents folder.
    EXPECT_NE(s.playlistOpenDirectory[0], L'\0');
    EXPECT_STREQ(s.playlistSaveDirectory, s.playlistOpenDirectory);
    EXPECT_STREQ(s.videoDirectory, s.playlistOpenDirectory);
    EXPECT_STREQ(s.playlist, L"");
    EXPECT_FALSE(s.showPath || s.randomOrderPlayback || s.continueWhereStopped ||
                 s.ignoreMouseMovement || s.keyboardControls || s.quickStartShown ||
                 s.useClassicVideoRenderer || s.useSingleRendererDesktopMode);
    EXPECT_EQ(s.lastPosition, 0.0);
    EXPECT_EQ(s.lastTrack, 0);
    EXPECT_STREQ(s.lastPlaylist, L"");
    EXPECT_EQ(s.focusColor, GetSysColor(COLOR_HOTLIGHT)); // Wine reports a version after NT 4
    EXPECT_TRUE(s.noCache);
    EXPECT_EQ(s.cacheExpirationPeriod, 10u);
    EXPECT_EQ(s.cacheCleanupInterval, 2u);
    EXPECT_EQ(s.cacheLastCleanup, 0);
    EXPECT_STREQ(s.registryKey, L"Software\\Halcyra\\Reelhaven");
}

TEST_F(SettingsTest, NumbersAreClampedOnLoad)
{
    const struct {
        LONG loops, masterVolume, volume, lastTrack, width;
        double lastPos;
        LONG wantLoops, wantMaster, wantVolume, wantTrack, wantWidth;
    } cases[] = {
        {0, -5, -1, -1, -3, -3.5, 1, 0, 0, 0, 0},
        {10000, 250, 101, 7, 250, 12.25, 9999, 100, 100, 7, 250},
        {9999, 100, 0, 0, 0, 0.0, 9999, 100, 0, 0, 0},
    };
    for (const auto &c : cases) {
        PutDword(kDefaultsKey, L"Loops", static_cast<DWORD>(c.loops));
        PutDword(kDefaultsKey, L"Volume", static_cast<DWORD>(c.volume));
        PutDword(kUserKey, L"Master Volume", static_cast<DWORD>(c.masterVolume));
        Put(HKEY_CURRENT_USER, kUserKey, L"LastTrack", REG_BINARY, &c.lastTrack, 4);
        Put(HKEY_CURRENT_USER, kUserKey, L"LastPos", REG_BINARY, &c.lastPos, 8);
        PutDword(L"Software\\Halcyra\\Reelhaven\\Playlist Column Widths", L"Speed",
                 static_cast<DWORD>(c.width));
        const Settings s = Loaded();
        EXPECT_EQ(s.playlistDefaults.loops, c.wantLoops) << c.loops;
        EXPECT_EQ(s.playlistDefaults.volume, c.wantVolume) << c.volume;
        EXPECT_EQ(s.masterVolume, c.wantMaster) << c.masterVolume;
        EXPECT_EQ(s.lastTrack, c.wantTrack) << c.lastTrack;
        EXPECT_EQ(s.lastPosition, c.lastPos < 0 ? 0.0 : c.lastPos);
        EXPECT_EQ(s.columnWidths[6], c.wantWidth) << c.width;
    }
}

TEST_F(SettingsTest, SpeedSizeAndStyleTextsConvertOnLoad)
{
    const struct {
        const wchar_t *text;
        float speed;
        const wchar_t *saved;
    } speeds[] = {{L"0.1", 0.25f, L"0.25"}, {L"9", 4.0f, L"4.00"},     {L"no number", 0.25f, L"0.25"},
                  {L"  +1.5x", 1.5f, L"1.50"}, {L"2e0", 2.0f, L"2.00"}, {L"nan", 0.25f, L"0.25"}};
    for (const auto &c : speeds) {
        PutText(kDefaultsKey, L"Speed", c.text);
        Settings s = Loaded();
        EXPECT_EQ(s.playlistDefaults.speed, c.speed) << c.text;
        s.Save(true);
        EXPECT_EQ(Get(kDefaultsKey, L"Speed").bytes, TextBytes(c.saved)) << c.text;
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
    s.playlistDefaults.style = 1;
    s.Load();
    EXPECT_EQ(s.playlistDefaults.sizeMode, 4);
    EXPECT_EQ(s.playlistDefaults.style, 1);

    // Every mode and style survives a save and a load, stored as its name.
    for (LONG mode = 0; mode < kSizeModeCount; ++mode) {
        s.playlistDefaults.sizeMode = mode;
        s.playlistDefaults.style = mode % 2;
        s.Save(true);
        EXPECT_EQ(Get(kDefaultsKey, L"Size").bytes, TextBytes(kSizeNames[mode]));
        const Settings back = Loaded();
        EXPECT_EQ(back.playlistDefaults.sizeMode, mode);
        EXPECT_EQ(back.playlistDefaults.style, mode % 2);
    }
}

TEST_F(SettingsTest, BooleansReadAsNumberOrText)
{
    const struct {
        DWORD type;
        std::string data;
        bool want;
    } cases[] = {
        {REG_SZ, TextBytes(L"1"), true},    {REG_SZ, TextBytes(L"0"), false},
        {REG_SZ, TextBytes(L"y"), false},   {REG_SZ, Bytes(L"1", 2), true},
        {REG_DWORD, Bytes("\2\0\0\0", 4), true}, {REG_DWORD, Bytes("\0\0\0\0", 4), false},
    };
    for (const auto &c : cases) {
        Put(HKEY_CURRENT_USER, kUserKey, L"Keyboard Controls", c.type, c.data.data(),
            static_cast<DWORD>(c.data.size()));
        EXPECT_EQ(Loaded().keyboardControls, c.want) << c.type << " " << c.data.size();
    }
    // Text longer than the 4-byte buffer is not read anywhere: the default stays.
    PutText(kUserKey, L"No Cache", L"10");
    EXPECT_TRUE(Loaded().noCache);

    DWORD type = kRegBoolean;
    DWORD value = 7;
    PutText(kUserKey, L"Show Path", L"1");
    ASSERT_EQ(ReadPolicyValue(L"Halcyra\\Reelhaven", L"Show Path", &type, &value, 4), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(value, 1u);
    value = 7;
    EXPECT_EQ(ReadPolicyValue(L"Halcyra\\Reelhaven", L"Missing", nullptr, &value, 4),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(value, 7u);
}

TEST_F(SettingsTest, BounceSpeedCodingBothWays)
{
    const struct {
        LONG stored;
        DWORD step, interval;
    } loads[] = {{5, 1, 100}, {0, 1, 100}, {19, 1, 100}, {40, 1, 25},
                 {120, 2, 17}, {121, 2, 17}, {-1, 2, 17}, {70, 2, 29}};
    for (const auto &c : loads) {
        PutDword(kUserKey, L"Bounce Speed", static_cast<DWORD>(c.stored));
        const Settings s = Loaded();
        EXPECT_EQ(s.bounceStep, c.step) << c.stored;
        EXPECT_EQ(s.bounceInterval, c.interval) << c.stored;
    }
    Settings s = Loaded();
    for (int i = 0; i < kBounceSpeedCount; ++i) {
        s.bounceStep = kBounceSpeeds[i].step;
        s.bounceInterval = kBounceSpeeds[i].interval;
        s.Save(true);
        const DWORD code = static_cast<DWORD>(i + 1) * 10;
        EXPECT_EQ(Get(kUserKey, L"Bounce Speed").bytes, Bytes(&code, 4));
        const Settings back = Loaded();
        EXPECT_EQ(back.bounceStep, kBounceSpeeds[i].step);
        EXPECT_EQ(back.bounceInterval, kBounceSpeeds[i].interval);
    }
    s.bounceStep = 3;
    s.bounceInterval = 25;
    s.Save(true);
    const Stored stored = Get(kUserKey, L"Bounce Speed");
    EXPECT_EQ(stored.type, static_cast<DWORD>(REG_DWORD));
    const DWORD code = 130;
    EXPECT_EQ(stored.bytes, Bytes(&code, 4));
    EXPECT_EQ(FindBounceSpeed(3, 25), 12);
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
    const DWORD policy = 33, user = 50;
    EXPECT_EQ(Get(kPolicyKey, L"Master Volume", HKEY_LOCAL_MACHINE).bytes, Bytes(&policy, 4));
    EXPECT_EQ(Get(kUserKey, L"Master Volume").bytes, Bytes(&user, 4));
    EXPECT_EQ(Loaded().masterVolume, 33);

    // The user's policy key comes after the machine's and before the user's own value.
    PutDword(L"Software\\Policies\\Halcyra\\Reelhaven", L"Master Volume", 44);
    EXPECT_EQ(Loaded().masterVolume, 33);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Policies\\Halcyra");
    EXPECT_EQ(Loaded().masterVolume, 44);
}

TEST_F(SettingsTest, SaveWritesEachValueInItsForm)
{
    Settings s = Loaded();
    s.showPath = true;
    s.keyboardControls = true;
    wcscpy(s.lastPlaylist, L"D:\\Lists\\Evening.plst");
    wcscpy(s.playlist, L"D:\\Lists\\Evening.plst");
    s.lastPosition = 12.5;
    s.lastTrack = 3;
    s.cacheLastCleanup = 0x01D9000012345678;
    s.quickStartShown = true;
    s.playlistDefaults.bounce = true;
    s.playlistDefaults.speed = 1.0f;
    s.focusColor = RGB(1, 2, 3);
    ASSERT_EQ(s.Save(true), ERROR_SUCCESS);

    const DWORD one = 1, zero = 0;
    const BYTE shown = 1;
    const struct {
        const wchar_t *key, *name;
        DWORD type;
        std::string bytes;
    } expected[] = {
        {kUserKey, L"Show Path", REG_DWORD, Bytes(&one, 4)},
        {kUserKey, L"Keyboard Controls", REG_DWORD, Bytes(&one, 4)},
        {kUserKey, L"Continue Where Stopped", REG_DWORD, Bytes(&zero, 4)},
        {kUserKey, L"LastPlaylist", REG_BINARY, TextBytes(L"D:\\Lists\\Evening.plst")},
        {kUserKey, L"Playlist", REG_SZ, TextBytes(L"D:\\Lists\\Evening.plst")},
        {kUserKey, L"LastPos", REG_BINARY, Bytes(&s.lastPosition, 8)},
        {kUserKey, L"LastTrack", REG_BINARY, Bytes(&s.lastTrack, 4)},
        {kUserKey, L"CacheLastCleanup", REG_BINARY, Bytes(&s.cacheLastCleanup, 8)},
        {kUserKey, L"QuickStartShown", REG_BINARY, Bytes(&shown, 1)},
        {kUserKey, L"Focus Color", REG_DWORD, Bytes(&s.focusColor, 4)},
        {kDefaultsKey, L"Bounce", REG_DWORD, Bytes(&one, 4)},
        {kDefaultsKey, L"Speed", REG_SZ, TextBytes(L"1.00")},
        {kDefaultsKey, L"Style", REG_SZ, TextBytes(L"Monitor")},
    };
    for (const auto &e : expected) {
        const Stored stored = Get(e.key, e.name);
        EXPECT_EQ(stored.type, e.type) << std::string(e.name, e.name + wcslen(e.name));
        EXPECT_EQ(stored.bytes, e.bytes) << std::string(e.name, e.name + wcslen(e.name));
    }
    // The cache settings are only ever set by hand or by policy.
    for (const wchar_t *name : {L"No Cache", L"Cache Expiration Period", L"Cache Cleanup Interval"})
        EXPECT_EQ(Get(kUserKey, name).result, ERROR_FILE_NOT_FOUND);

    const Settings back = Loaded();
    EXPECT_STREQ(back.lastPlaylist, L"D:\\Lists\\Evening.plst");
    EXPECT_EQ(back.lastPosition, 12.5);
    EXPECT_EQ(back.lastTrack, 3);
    EXPECT_EQ(back.cacheLastCleanup, s.cacheLastCleanup);
    EXPECT_TRUE(back.quickStartShown && back.showPath && back.keyboardControls);
    EXPECT_EQ(back.focusColor, RGB(1, 2, 3));
}

TEST_F(SettingsTest, SaveOfAlwaysValuesOnly)
{
    Settings s = Loaded();
    s.keyboardControls = true;
    s.columnWidths[2] = 42;
    ASSERT_EQ(s.Save(false), ERROR_SUCCESS);
    EXPECT_EQ(ValueNames(kUserKey), (std::set<std::wstring>{L"Show Path", L"CacheLastCleanup"}));
    EXPECT_EQ(ValueNames(L"Software\\Halcyra\\Reelhaven\\Playlist Column Widths"),
              (std::set<std::wstring>{L"File", L"Loops", L"Size", L"Bounce", L"Volume", L"Style",
                                      L"Speed"}));
    RegKey defaults;
    EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, kDefaultsKey, 0, KEY_READ, defaults.put()),
              ERROR_SUCCESS);

    s.quickStartShown = true;
    s.Save(false);
    EXPECT_EQ(ValueNames(kUserKey),
              (std::set<std::wstring>{L"Show Path", L"CacheLastCleanup", L"QuickStartShown"}));
    EXPECT_EQ(Loaded().columnWidths[2], 42);
    EXPECT_FALSE(Loaded().keyboardControls);
}

TEST_F(SettingsTest, TextIsTerminatedWithinItsField)
{
    // 300 characters with no terminator fill the 600-byte field exactly. (The registry
    // adds a terminator that the caller left out of the count when one follows the data,
    // so the text given is longer than the count.)
    const std::wstring full(301, L'x');
    Put(HKEY_CURRENT_USER, kUserKey, L"Playlist", REG_SZ, full.data(), 600);
    Put(HKEY_CURRENT_USER, kUserKey, L"LastPlaylist", REG_BINARY, full.data(), 600);
    // 200 characters are too long for the 200-character field.
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
    const bool hadPolicy = RegGetValueW(HKEY_CURRENT_USER, kPowerCfg, L"CurrentPowerPolicy",
                                        RRF_RT_REG_SZ, nullptr, previous, &size) == ERROR_SUCCESS;

    BYTE policy[80] = {};
    const DWORD idle = 600, video = 300, spindown = 1200;
    std::memcpy(policy + 28, &idle, 4);
    std::memcpy(policy + 56, &video, 4);
    std::memcpy(policy + 64, &spindown, 4);
    Put(HKEY_CURRENT_USER, kPowerCfg, L"CurrentPowerPolicy", REG_SZ, L"97", 6);
    Put(HKEY_CURRENT_USER, kScheme, L"Policies", REG_BINARY, policy, sizeof(policy));

    DWORD a = 1, b = 1, c = 1;
    EXPECT_TRUE(ReadPowerTimeouts(&a, &b, &c));
    EXPECT_EQ(a, idle);
    EXPECT_EQ(b, video);
    EXPECT_EQ(c, spindown);
    EXPECT_TRUE(ReadPowerTimeouts(&a, nullptr, nullptr));
    EXPECT_EQ(a, idle);

    // Too short to hold the timeouts, or too long for the 80-byte buffer: no scheme.
    for (DWORD bytes : {40u, 81u}) {
        BYTE data[81] = {};
        std::memcpy(data, policy, 80);
        Put(HKEY_CURRENT_USER, kScheme, L"Policies", REG_BINARY, data, bytes);
        a = b = c = 1;
        EXPECT_FALSE(ReadPowerTimeouts(&a, &b, &c)) << bytes;
        EXPECT_EQ(a + b + c, 0u);
    }
    Put(HKEY_CURRENT_USER, kPowerCfg, L"CurrentPowerPolicy", REG_SZ, L"96", 6);
    EXPECT_FALSE(ReadPowerTimeouts(&a, nullptr, nullptr));

    RegDeleteTreeW(HKEY_CURRENT_USER, kScheme);
    if (hadPolicy)
        Put(HKEY_CURRENT_USER, kPowerCfg, L"CurrentPowerPolicy", REG_SZ, previous,
            static_cast<DWORD>((wcslen(previous) + 1) * sizeof(wchar_t)));
    else
        RegDeleteKeyValueW(HKEY_CURRENT_USER, kPowerCfg, L"CurrentPowerPolicy");
}

} // namespace
