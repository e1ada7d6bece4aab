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
        fields.values.loops = number;
        fields.given |= kRowLoops;
    } else if (_wcsicmp(option, L"--volume") == 0) {
        if (!ParseInteger(value, number) || number < kMinVolume || number > kMaxVolume)
            return Fail(kBadValue, L"--volume %ls: valid values for Volume are %ld to %ld", value,
                        kMinVolume, kMaxVolume);
        fields.values.volume = number;
        fields.given |= kRowVolume;
    } else if (_wcsicmp(option, L"--size") == 0) {
        int mode = FindName(value, kSizeNames, kSizeModeCount);
        if (mode < 0 && ParseInteger(value, number) && number >= 0 && number < kSizeModeCount)
            mode = number;
        if (mode < 0)
            return Fail(kBadValue, L"--size %ls: the sizes are %ls (or 0 to %d)", value,
                        SizeNameList().c_str(), kSizeModeCount - 1);
        fields.values.sizeMode = mode;
        fields.given |= kRowSize;
    } else if (_wcsicmp(option, L"--style") == 0) {
        const int style = FindName(value, kStyleNames, kStyleCount);
        if (style < 0)
            return Fail(kBadValue, L"--style %ls: the styles are %ls and %ls", value,
                        kStyleNames[0], kStyleNames[1]);
        fields.values.displayStyle = style;
        fields.given |= kRowStyle;
    } else if (_wcsicmp(option, L"--bounce") == 0) {
        if (_wcsicmp(value, L"yes") == 0)
            fields.values.bounce = true;
        else if (_wcsicmp(value, L"no") == 0)
            fields.values.bounce = false;
        else
            return Fail(kBadValue, L"--bounce %ls: say yes or no", value);
        fields.given |= kRowBounce;
    } else {
        wchar_t *end = nullptr;
        const double speed = wcstod(value, &end);
        if (!*value || *end || !std::isfinite(speed) || speed < kMinSpeed || speed > kMaxSpeed)
            return Fail(kBadValue, L"--speed %ls: valid values for Speed are %.2f to %.2f", value,
                        kMinSpeed, kMaxSpeed);
        fields.values.speed = static_cast<float>(speed);
        fields.given |= kRowSpeed;
    }
    return kDone;
}

PlaybackItem NewEntry(const Settings &settings, const Fields &given)
{
    // As the configuration dialog hands entries over: the fields it does not set are 0.
    PlaybackItem item{};
    PlaylistRow defaults = settings.playlistDefaults;
    defaults.sizeMode = std::clamp<LONG>(defaults.sizeMode, 0, kSizeModeCount - 1);
    RowToItem(defaults, item);
    given.Apply(item);
    return item;
}
