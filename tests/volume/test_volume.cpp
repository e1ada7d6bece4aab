// Master volume and mute through mixer 0's speakers line, which Wine backs with the
// PulseAudio null sink. The system's own volume and mute are put back afterwards.
#include <gtest/gtest.h>

#include <windows.h>
#include <mmsystem.h>

#include <utility>

#include "mixer.h"
#include "settings.h"

namespace {

// Run by ctest a second time with no sound server to talk to: Wine then has no mixer.
TEST(NoMixer, GettersReportNothingAndSettersDoNothing)
{
    if (mixerGetNumDevs() != 0)
        GTEST_SKIP() << "a mixer is present; the no-mixer run has none";
    SetMasterVolume(30000);
    SetMasterMute(true);
    EXPECT_EQ(GetMasterVolume(), 0);
    EXPECT_FALSE(GetMasterMute());
    Settings settings;
    settings.SetDefaults();
    EXPECT_EQ(settings.masterVolume, 0);
}

class VolumeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_GT(mixerGetNumDevs(), 0u) << "no mixer: is the sound server running?";
        volume_ = GetMasterVolume();
        mute_ = GetMasterMute();
    }
    void TearDown() override
    {
        SetMasterVolume(volume_);
        SetMasterMute(mute_);
    }

private:
    WORD volume_ = 0;
    bool mute_ = false;
};

TEST_F(VolumeTest, VolumeRoundTripsAndDrivesTheDefaultPercent)
{
    const struct {
        WORD set;
        LONG percent;
    } cases[] = {{65535, 100}, {32768, 50}, {0, 0}, {13107, 20}, {655, 0}, {656, 1}};
    for (const auto &c : cases) {
        SetMasterVolume(c.set);
        EXPECT_EQ(GetMasterVolume(), c.set);
        Settings settings;
        settings.SetDefaults();
        EXPECT_EQ(settings.masterVolume, c.percent) << c.set;
    }
}

// The run's conversion of a stored percentage truncates and is never out of range.
TEST_F(VolumeTest, PercentToMixerValueTruncatesWithinTheRange)
{
    const std::pair<LONG, WORD> cases[] = {{100, 65535}, {50, 32767}, {1, 655}, {0, 0}, {250, 65535}, {-5, 0}};
    for (auto [percent, value] : cases)
        EXPECT_EQ(PercentToMixerVolume(percent), value) << percent;
}

TEST_F(VolumeTest, MuteRoundTripsWithoutTouchingTheVolume)
{
    SetMasterVolume(40000);
    SetMasterMute(true);
    EXPECT_TRUE(GetMasterMute());
    EXPECT_EQ(GetMasterVolume(), 40000);
    SetMasterMute(false);
    EXPECT_FALSE(GetMasterMute());
}

} // namespace
