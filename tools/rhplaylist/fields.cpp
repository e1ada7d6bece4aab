#include "fields.h"

#include <algorithm>
#include <cmath>
#include <cwchar>
#include <iterator>
#include <string>

#include "console.h"
#include "exit_codes.h"
#include "text.h"

namespace {

// The size modes as the playlist stores them: scaleToScreen, keepAspect, scale.
struct SizeFields {
    BYTE scaleToScreen;
    BYTE keepAspect;
    float scale;
};
constexpr SizeFields kSizeModes[kSizeModeCount] = {{1, 1, 1.0f},  {1, 0, 1.0f}, {1, 1, 0.75f},
                                                   {1, 1, 0.5f},  {1, 1, 0.25f}, {0, 1, 1.0f},
                                                   {0, 1, 2.0f}};

const wchar_t *const kFieldOptions[] = {L"--loops",  L"--size",  L"--bounce",
                                        L"--volume", L"--style", L"--speed"};

// "Maximized, Full Screen, ..., Double Original"
std::wstring SizeNameList()
{
    std::wstring names;
    for (int i = 0; i < kSizeModeCount; ++i)
        names += (i ? L", " : L"") + std::wstring(kSizeNames[i]);
    return names;
}

} // namespace

DWORD Fields::Apply(PlaybackItem &item) const
{
    DWORD mask = 0;
    if (loops) {
        item.loops = *loops;
        mask |= ITEM_LOOPS;
    }
    if (sizeMode) {
        item.scaleToScreen = kSizeModes[*sizeMode].scaleToScreen;
        item.keepAspect = kSizeModes[*sizeMode].keepAspect;
        item.scale = kSizeModes[*sizeMode].scale;
        mask |= ITEM_SCALE | ITEM_SCALE_TO_SCREEN | ITEM_KEEP_ASPECT;
    }
    if (volume) {
        item.volume = *volume;
        mask |= ITEM_VOLUME;
    }
    if (style) {
        item.perMonitor = *style == 0 ? 1 : 0;
        mask |= ITEM_PER_MONITOR;
    }
    if (bounce) {
        item.bounce = *bounce ? 1 : 0;
        mask |= ITEM_BOUNCE;
    }
    if (speed) {
        item.rate = *speed;
        mask |= ITEM_RATE;
    }
    return mask;
}

// Full Screen differs from Maximized only in keepAspect; at other scales it is not looked at.
int SizeModeOf(const PlaybackItem &item)
{
    for (int i = 0; i < kSizeModeCount; ++i) {
        const SizeFields &mode = kSizeModes[i];
        if (mode.scaleToScreen == item.scaleToScreen && mode.scale == item.scale &&
            (!mode.scaleToScreen || mode.scale != 1.0f || mode.keepAspect == item.keepAspect))
            return i;
    }
    return -1;
}

bool IsFieldOption(const wchar_t *option)
{
    return FindName(option, kFieldOptions, static_cast<int>(std::size(kFieldOptions))) >= 0;
}

int ParseField(const wchar_t *option, const wchar_t *value, Fields &fields)
{
    LONG number = 0;
    if (_wcsicmp(option, L"--loops") == 0) {
        if (!ParseInteger(value, number) || number < kMinLoops || number > kMaxLoops)
            return Fail(kBadValue, L"--loops %ls: valid values for Loops are %ld to %ld", value,
                        kMinLoops, kMaxLoops);
        fields.loops = number;
    } else if (_wcsicmp(option, L"--volume") == 0) {
        if (!ParseInteger(value, number) || number < kMinVolume || number > kMaxVolume)
            return Fail(kBadValue, L"--volume %ls: valid values for Volume are %ld to %ld", value,
                        kMinVolume, kMaxVolume);
        fields.volume = number;
    } else if (_wcsicmp(option, L"--size") == 0) {
        int mode = FindName(value, kSizeNames, kSizeModeCount);
        if (mode < 0 && ParseInteger(value, number) && number >= 0 && number < kSizeModeCount)
            mode = number;
        if (mode < 0)
            return Fail(kBadValue, L"--size %ls: the sizes are %ls (or 0 to %d)", value,
                        SizeNameList().c_str(), kSizeModeCount - 1);
        fields.sizeMode = mode;
    } else if (_wcsicmp(option, L"--style") == 0) {
        const int style = FindName(value, kStyleNames, kStyleCount);
        if (style < 0)
            return Fail(kBadValue, L"--style %ls: the styles are %ls and %ls", value,
                        kStyleNames[0], kStyleNames[1]);
        fields.style = style;
    } else if (_wcsicmp(option, L"--bounce") == 0) {
        if (_wcsicmp(value, L"yes") == 0)
            fields.bounce = true;
        else if (_wcsicmp(value, L"no") == 0)
            fields.bounce = false;
        else
            return Fail(kBadValue, L"--bounce %ls: say yes or no", value);
    } else {
        wchar_t *end = nullptr;
        const double speed = wcstod(value, &end);
        if (!*value || *end || !std::isfinite(speed) || speed < kMinSpeed || speed > kMaxSpeed)
            return Fail(kBadValue, L"--speed %ls: valid values for Speed are %.2f to %.2f", value,
                        kMinSpeed, kMaxSpeed);
        fields.speed = static_cast<float>(speed);
    }
    return kDone;
}

PlaybackItem NewEntry(const Settings &settings, const Fields &given)
{
    // As the configuration dialog hands entries over: the fields it does not set are 0.
    PlaybackItem item{};
    const PlaylistRow &defaults = settings.playlistDefaults;
    Fields base;
    base.loops = defaults.loops;
    base.sizeMode = std::clamp<LONG>(defaults.sizeMode, 0, kSizeModeCount - 1);
    base.volume = defaults.volume;
    base.style = defaults.displayStyle;
    base.bounce = defaults.bounce;
    base.speed = defaults.speed;
    base.Apply(item);
    given.Apply(item);
    return item;
}
