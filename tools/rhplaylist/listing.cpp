#include "listing.h"

#include <cmath>
#include <cwchar>

#include "console.h"
#include "settings.h"

namespace {

// A size mode's name, or the scale fields when they are no mode ("screen x0.6").
std::wstring SizeText(const PlaybackItem &item)
{
    const int mode = SizeModeOf(item);
    if (mode >= 0)
        return kSizeNames[mode];
    wchar_t text[64];
    swprintf(text, 64, L"%ls x%g", item.scaleToScreen ? L"screen" : L"original",
             static_cast<double>(item.scale));
    return text;
}

const wchar_t *StyleText(const PlaybackItem &item)
{
    return kStyleNames[item.perMonitor ? 0 : 1];
}

std::wstring JsonText(const std::wstring &text)
{
    std::wstring out = L"\"";
    for (wchar_t c : text) {
        if (c == L'"' || c == L'\\') {
            out += L'\\';
            out += c;
        } else if (c < 0x20) {
            wchar_t escape[8];
            swprintf(escape, 8, L"\\u%04x", static_cast<unsigned>(c));
            out += escape;
        } else {
            out += c;
        }
    }
    return out + L"\"";
}

// A damaged file can carry a speed that is no number; JSON has no word for that.
std::wstring JsonNumber(float value)
{
    if (!std::isfinite(value))
        return L"null";
    wchar_t text[64];
    swprintf(text, 64, L"%.2f", static_cast<double>(value));
    return text;
}

void PrintJson(const std::vector<Entry> &entries, const std::wstring &path)
{
    Out(L"{\"playlist\": %ls, \"entries\": [", JsonText(path).c_str());
    for (size_t i = 0; i < entries.size(); ++i) {
        const Entry &e = entries[i];
        Out(L"%ls\n  {\"index\": %zu, \"file\": %ls, \"loops\": %ld, \"size\": %ls, "
            L"\"bounce\": %ls, \"volume\": %ld, \"style\": \"%ls\", \"speed\": %ls, "
            L"\"result\": %ld}",
            i ? L"," : L"", i, JsonText(e.file).c_str(), e.item.loops,
            JsonText(SizeText(e.item)).c_str(), e.item.bounce ? L"true" : L"false",
            e.item.volume, StyleText(e.item), JsonNumber(e.item.rate).c_str(),
            static_cast<long>(e.result));
    }
    Out(L"%ls]}\n", entries.empty() ? L"" : L"\n");
}

void PrintText(const std::vector<Entry> &entries)
{
    Out(L"index\tloops\tsize\tbounce\tvolume\tstyle\tspeed\tfile\n");
    for (size_t i = 0; i < entries.size(); ++i) {
        const Entry &e = entries[i];
        Out(L"%zu\t%ld\t%ls\t%ls\t%ld%%\t%ls\t%.2f\t%ls", i, e.item.loops,
            SizeText(e.item).c_str(), e.item.bounce ? L"yes" : L"no", e.item.volume,
            StyleText(e.item), static_cast<double>(e.item.rate), e.file.c_str());
        if (e.result < 0)
            Out(L"\t(last play failed: 0x%08lx)", static_cast<unsigned long>(e.result));
        Out(L"\n");
    }
}

} // namespace

void PrintEntries(const std::vector<Entry> &entries, const std::wstring &path, bool json)
{
    if (json)
        PrintJson(entries, path);
    else
        PrintText(entries);
}
