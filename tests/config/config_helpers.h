// What the configuration tests share: the media folder, playlist files written and read
// through the playlist object, and the fixture that gives every case a clean registry.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

// A playlist entry as the test writes and reads it.
struct Entry {
    std::wstring path;
    LONG loops = 1;
    LONG volume = 100;
    BYTE scaleToScreen = 1;
    BYTE keepAspect = 1;
    float scale = 1.0f;
    float rate = 1.0f;
    BYTE bounce = 0;
    BYTE perMonitor = 1;
    HRESULT result = 0;
};

// <CONFIG_MEDIA>\name: the clips made by the wrapper script live there.
std::wstring Media(const wchar_t *name);
HRESULT WritePlaylistFile(const std::wstring &path, const std::vector<Entry> &entries);
std::vector<Entry> ReadPlaylistFile(const std::wstring &path);

class ConfigTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};
