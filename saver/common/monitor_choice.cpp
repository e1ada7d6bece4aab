#include "monitor_choice.h"

#include <algorithm>
#include <cwchar>

namespace {

constexpr std::wstring_view kMainName = L"Main";

bool Blank(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n';
}

// Control characters cannot be in a device name: text holding one was not typed by anyone,
// so it is not trusted to mean any monitor in particular.
bool Junk(wchar_t c)
{
    return (c < 0x20 && !Blank(c)) || c == 0x7f;
}

std::wstring_view Trimmed(std::wstring_view text)
{
    while (!text.empty() && Blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && Blank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool SameName(std::wstring_view a, std::wstring_view b)
{
    return a.size() == b.size() && _wcsnicmp(a.data(), b.data(), a.size()) == 0;
}

// Main first, then by place on the virtual screen: the same order however the system
// enumerates them.
bool Before(const DisplayMonitor &a, const DisplayMonitor &b)
{
    if (a.primary != b.primary)
        return a.primary;
    if (a.area.left != b.area.left)
        return a.area.left < b.area.left;
    if (a.area.top != b.area.top)
        return a.area.top < b.area.top;
    return _wcsicmp(a.device, b.device) < 0;
}

} // namespace

std::vector<DisplayMonitor> ChooseMonitors(std::wstring_view setting,
                                           std::span<const DisplayMonitor> present)
{
    std::vector<DisplayMonitor> all(present.begin(), present.end());
    std::sort(all.begin(), all.end(), Before);
    if (setting.size() > kMonitorsChars || std::any_of(setting.begin(), setting.end(), Junk))
        return all;

    // A system that flags no monitor as the main one still has it at the origin: Windows
    // puts the main monitor's top-left corner there.
    const bool flagged =
        std::any_of(all.begin(), all.end(), [](const DisplayMonitor &m) { return m.primary; });
    auto isMain = [flagged](const DisplayMonitor &m) {
        return flagged ? m.primary : m.area.left == 0 && m.area.top == 0;
    };
    std::vector<bool> named(all.size(), false);
    for (size_t start = 0; start <= setting.size();) {
        const size_t end = std::min(setting.find(L';', start), setting.size());
        const std::wstring_view name = Trimmed(setting.substr(start, end - start));
        start = end + 1;
        if (name.empty())
            continue;
        const bool main = SameName(name, kMainName);
        for (size_t i = 0; i < all.size(); ++i) {
            if (main ? isMain(all[i]) : SameName(name, all[i].device))
                named[i] = true;
        }
    }
    if (std::find(named.begin(), named.end(), true) == named.end())
        return all;

    std::vector<DisplayMonitor> chosen;
    for (size_t i = 0; i < all.size(); ++i) {
        if (named[i])
            chosen.push_back(all[i]);
    }
    return chosen;
}

namespace {

BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, RECT *, LPARAM list)
{
    MONITORINFOEXW info = {};
    info.cbSize = sizeof(info);
    if (!GetMonitorInfoW(monitor, &info))
        return TRUE;
    DisplayMonitor found = {};
    wcsncpy(found.device, info.szDevice, CCHDEVICENAME - 1);
    found.area = info.rcMonitor;
    found.primary = (info.dwFlags & MONITORINFOF_PRIMARY) != 0;
    reinterpret_cast<std::vector<DisplayMonitor> *>(list)->push_back(found);
    return TRUE;
}

} // namespace

std::vector<DisplayMonitor> PresentMonitors()
{
    std::vector<DisplayMonitor> monitors;
    EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&monitors));
    return monitors;
}
