// What the playlist tests share: the .plst format's bytes built from its offsets (not by
// the code under test), entries, playlists and folders.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <source_location>
#include <string>
#include <tuple>
#include <vector>

#include "abi.h"
#include "handles.h"
#include "module.h"
#include "test_kit.h"

using Microsoft::WRL::ComPtr;
using Bytes = std::vector<BYTE>;
namespace fs = std::filesystem;


// ---- the format's bytes, from its table ------------------------------------------------

const BYTE kMagic[16] = {0xE0, 0x59, 0x82, 0x71, 0xF7, 0xC4, 0xD2, 0x11,
                         0x86, 0x1C, 0xBD, 0x7B, 0x2E, 0xB4, 0x77, 0x37};

template <typename T>
void PutAt(Bytes &b, size_t offset, T value) { std::memcpy(b.data() + offset, &value, sizeof value); }
template <typename T>
inline T GetAt(const Bytes &b, size_t offset)
{
    T value;
    std::memcpy(&value, b.data() + offset, sizeof value);
    return value;
}

inline Bytes Header(int32_t count, uint16_t version = 1)
{
    Bytes b(22);
    std::memcpy(b.data(), kMagic, 16);
    PutAt(b, 16, version), PutAt(b, 18, count);
    return b;
}

// A test-side entry: the item's fields (fileName unused), its path and play result.
struct Entry {
    PlaybackItem item = DefaultPlaybackItem();
    std::wstring path;
    int32_t result = 0;
};

inline Bytes Record(const Entry &e, int32_t reserved = 0)
{
    const PlaybackItem &i = e.item;
    const size_t n = e.path.size(), o = 60 + 2 * n;
    Bytes b(99 + 2 * n);
    PutAt(b, 0, i.xPosition), PutAt(b, 8, i.yPosition), PutAt(b, 16, i.bounceStep);
    PutAt(b, 24, i.bounceInterval), PutAt(b, 32, i.windowLeft), PutAt(b, 36, i.windowTop);
    PutAt(b, 40, i.windowWidth), PutAt(b, 44, i.windowHeight), PutAt(b, 48, i.position);
    PutAt(b, 56, int32_t(n));
    std::memcpy(b.data() + 60, e.path.data(), 2 * n);
    PutAt(b, o + 0, i.parentWindow), PutAt(b, o + 4, i.loops), PutAt(b, o + 8, i.volume);
    PutAt(b, o + 12, reserved), PutAt(b, o + 16, i.style), PutAt(b, o + 20, i.scale);
    PutAt(b, o + 24, i.rate);
    std::memcpy(b.data() + o + 28, &i.scaleToScreen, 7); // the seven flag bytes in order
    PutAt(b, o + 35, e.result);
    return b;
}

inline Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes &p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// An entry whose every field differs from the defaults and, by k, from other entries;
// some flags are 7, which the playlist must take as 1.
inline Entry Distinct(int k, std::wstring path)
{
    Entry e{DefaultPlaybackItem(), std::move(path), int32_t(0x80040265) + k};
    PlaybackItem &i = e.item;
    i.xPosition = 0.25 + k, i.yPosition = 0.75 + k, i.bounceStep = 3.5 + k, i.bounceInterval = 40 + k;
    i.windowLeft = -10 - k, i.windowTop = 20 + k, i.windowWidth = 640 + k, i.windowHeight = 480 + k;
    i.position = 12.5 + k, i.parentWindow = 0x80001234u + k, i.loops = -1 - k, i.volume = 55 + k;
    i.style = 1 + k, i.scale = 0.5f + k, i.rate = 2.0f + k;
    for (int f = 0; f < 7; ++f)
        (&i.scaleToScreen)[f] = BYTE((f + k) % 2 ? 7 : 0);
    return e;
}

// What the playlist keeps of an entry: flags as 0/1.
inline Entry Taken(Entry e, bool keepResult = true)
{
    for (int f = 0; f < 7; ++f)
        (&e.item.scaleToScreen)[f] = (&e.item.scaleToScreen)[f] ? 1 : 0;
    e.result = keepResult ? e.result : 0;
    return e;
}

// The item to hand in; it points into e's path, so e must outlive it.
inline PlaybackItem In(const Entry &&) = delete;
inline PlaybackItem In(const Entry &e)
{
    PlaybackItem item = e.item;
    item.fileName = const_cast<WCHAR *>(e.path.c_str());
    return item;
}
inline HRESULT Append(IHCYFWPlaylist *p, const Entry &e)
{
    const PlaybackItem item = In(e);
    return p->Insert(&item, -1);
}

// ---- objects and files ---------------------------------------------------------------

// The helpers below check as they go; a failure in one also names the test line that
// called it.
using Where = std::source_location;
struct CalledFrom : testing::ScopedTrace {
    explicit CalledFrom(const Where &at) : ScopedTrace(at.file_name(), int(at.line()), "called from here") {}
};

inline ComPtr<IHCYFWPlaylist> NewPlaylist(Where at = Where::current())
{
    const CalledFrom trace(at);
    ComPtr<IHCYFWPlaylist> p;
    EXPECT_HR(S_OK, CreatePlaylistObject(IID_IHCYFWPlaylist, reinterpret_cast<void **>(p.GetAddressOf())));
    return p;
}
inline LONG Count(IHCYFWPlaylist *p, Where at = Where::current())
{
    const CalledFrom trace(at);
    LONG n = -1;
    EXPECT_HR(S_OK, p->GetCount(&n));
    return n;
}
inline LONG Index(IHCYFWPlaylist *p, Where at = Where::current())
{
    const CalledFrom trace(at);
    PlaylistPosition pos{-1, 0};
    EXPECT_HR(S_OK, p->GetPosition(&pos));
    return pos.index;
}

// The current entry as GetCurrentItem and GetPosition report it; the name must be a
// task-allocator block that holds it (a file's name may end before its stored length).
inline Entry Current(IHCYFWPlaylist *p, Where at = Where::current())
{
    const CalledFrom trace(at);
    Entry e;
    PlaylistPosition pos{};
    EXPECT_HR(S_OK, p->GetCurrentItem(&e.item));
    EXPECT_HR(S_OK, p->GetPosition(&pos));
    EXPECT_EQ(e.item.validMask, DWORD(ITEM_ALL));
    e.path = e.item.fileName ? e.item.fileName : L"<null>";
    ComPtr<IMalloc> malloc;
    if (e.item.fileName && SUCCEEDED(CoGetMalloc(1, &malloc))) {
        EXPECT_GE(malloc->GetSize(e.item.fileName) + 1, (e.path.size() + 1) * sizeof(WCHAR) + 1); // -1: not its
    }
    CoTaskMemFree(e.item.fileName);
    e.item.fileName = nullptr;
    e.result = pos.playResult;
    return e;
}

// A playlist of entries named by names, in that order; the last one is current.
inline ComPtr<IHCYFWPlaylist> PlaylistOf(std::initializer_list<const wchar_t *> names, Where at = Where::current())
{
    const CalledFrom trace(at);
    auto p = NewPlaylist();
    int k = 0;
    for (const wchar_t *name : names)
        EXPECT_HR(S_OK, Append(p.Get(), Distinct(k++, name)));
    return p;
}

// The names in order, the current one in brackets; the current entry stays current.
inline std::wstring State(IHCYFWPlaylist *p, Where at = Where::current())
{
    const LONG n = Count(p, at), current = n ? Index(p, at) : -1;
    std::wstring all;
    (void)p->First();
    for (LONG i = 0; i < n; ++i, (void)p->Next()) { // n steps wrap round to the first again
        const std::wstring path = Current(p, at).path;
        all += (i ? L" " : L"") + (i == current ? L"[" + path + L"]" : path);
    }
    for (LONG i = 0; i < current; ++i)
        (void)p->Next();
    return all;
}

// A fresh folder under %TEMP% (or root), removed with what it holds.
struct TempDir {
    explicit TempDir(const fs::path &root = fs::temp_directory_path())
        : path(root / (L"fwplst" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(++serial)))
    {
        fs::create_directory(path);
    }
    ~TempDir() { fs::remove_all(path); }
    std::wstring operator/(const wchar_t *name) const { return (path / name).wstring(); }
    std::vector<std::wstring> Names() const
    {
        std::vector<std::wstring> names;
        for (const auto &f : fs::directory_iterator(path))
            names.push_back(f.path().filename().wstring());
        std::sort(names.begin(), names.end());
        return names;
    }
    static inline int serial = 0;
    fs::path path;
};

// A playlist and a file name in a fresh folder.
class PlaylistFile : public testing::Test {
protected:
    TempDir dir;
    const std::wstring path = dir / L"test.plst";
    ComPtr<IHCYFWPlaylist> p = NewPlaylist();
};

inline bool WriteBytes(const std::wstring &path, const Bytes &bytes)
{
    std::ofstream f(fs::path(path), std::ios::binary | std::ios::trunc);
    return f.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size())).flush().good();
}

inline Bytes ReadBytes(const std::wstring &path)
{
    std::ifstream f(fs::path(path), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
}
