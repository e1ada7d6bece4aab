// The playlist object through its interface, and the .plst format against bytes built
// here from the format's offsets, not by the code under test.
#include <windows.h>
#include <objbase.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "abi.h"
#include "handles.h"
#include "module.h"

using Microsoft::WRL::ComPtr;
using Bytes = std::vector<BYTE>;

namespace {

std::string Hex(HRESULT hr)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lx", static_cast<unsigned long>(hr));
    return text;
}
#define EXPECT_HR(expected, expr) EXPECT_EQ(Hex(expected), Hex(expr)) << #expr
#define ASSERT_HR(expected, expr) ASSERT_EQ(Hex(expected), Hex(expr)) << #expr

// ---- bytes of the format, from its table ----------------------------------------------

const BYTE kMagic[16] = {0xE0, 0x59, 0x82, 0x71, 0xF7, 0xC4, 0xD2, 0x11,
                         0x86, 0x1C, 0xBD, 0x7B, 0x2E, 0xB4, 0x77, 0x37};

template <typename T>
void PutAt(Bytes &b, size_t offset, T value)
{
    std::memcpy(b.data() + offset, &value, sizeof value);
}

Bytes Header(int32_t count, uint16_t version = 1)
{
    Bytes b(22);
    std::memcpy(b.data(), kMagic, 16);
    PutAt(b, 16, version);
    PutAt(b, 18, count);
    return b;
}

// One entry record; flags[] are written as given.
struct Rec {
    double x = 0.5, y = 0.5, step = 1, interval = 33;
    int32_t left = 0, top = 0, width = 0, height = 0;
    double position = 0;
    std::wstring path;
    uint32_t parent = 0;
    int32_t loops = 1, volume = 100, reserved = 0, style = 0;
    float scale = 1, rate = 1;
    BYTE flags[7] = {1, 1, 0, 1, 0, 0, 0};
    int32_t result = 0;
};

Bytes Record(const Rec &r)
{
    const size_t n = r.path.size();
    Bytes b(99 + 2 * n);
    PutAt(b, 0, r.x);
    PutAt(b, 8, r.y);
    PutAt(b, 16, r.step);
    PutAt(b, 24, r.interval);
    PutAt(b, 32, r.left);
    PutAt(b, 36, r.top);
    PutAt(b, 40, r.width);
    PutAt(b, 44, r.height);
    PutAt(b, 48, r.position);
    PutAt(b, 56, int32_t(n));
    std::memcpy(b.data() + 60, r.path.data(), 2 * n);
    const size_t o = 60 + 2 * n;
    PutAt(b, o + 0, r.parent);
    PutAt(b, o + 4, r.loops);
    PutAt(b, o + 8, r.volume);
    PutAt(b, o + 12, r.reserved);
    PutAt(b, o + 16, r.style);
    PutAt(b, o + 20, r.scale);
    PutAt(b, o + 24, r.rate);
    std::memcpy(b.data() + o + 28, r.flags, 7);
    PutAt(b, o + 35, r.result);
    return b;
}

Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes &p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// A record whose every field differs from the defaults; k varies it.
Rec Distinct(int k, std::wstring path)
{
    Rec r;
    r.x = 0.25 + k;
    r.y = 0.75 + k;
    r.step = 3.5 + k;
    r.interval = 40 + k;
    r.left = -10 - k;
    r.top = 20 + k;
    r.width = 640 + k;
    r.height = 480 + k;
    r.position = 12.5 + k;
    r.path = std::move(path);
    r.parent = 0x80001234u + k;
    r.loops = -1 - k;
    r.volume = 55 + k;
    r.style = 1 + k;
    r.scale = 0.5f + k;
    r.rate = 2.0f + k;
    for (int f = 0; f < 7; ++f)
        r.flags[f] = BYTE((f + k) % 2 ? 7 : 0); // 7: any non-zero byte is a set flag
    r.result = int32_t(0x80040265) + k;
    return r;
}

// What a record looks like once the playlist has taken it and written it back.
Rec AsWritten(Rec r)
{
    for (BYTE &f : r.flags)
        f = f ? 1 : 0;
    r.reserved = 0;
    return r;
}

// The item points into r's path, so r must outlive it.
PlaybackItem ItemOf(const Rec &&r) = delete;
PlaybackItem ItemOf(const Rec &r)
{
    PlaybackItem i{};
    i.xPosition = r.x;
    i.yPosition = r.y;
    i.bounceStep = r.step;
    i.bounceInterval = r.interval;
    i.windowLeft = r.left;
    i.windowTop = r.top;
    i.windowWidth = r.width;
    i.windowHeight = r.height;
    i.position = r.position;
    i.fileName = const_cast<WCHAR *>(r.path.c_str());
    i.parentWindow = r.parent;
    i.loops = r.loops;
    i.volume = r.volume;
    i.style = r.style;
    i.scale = r.scale;
    i.rate = r.rate;
    std::memcpy(&i.scaleToScreen, r.flags, 7);
    i.validMask = ITEM_ALL;
    return i;
}

// ---- files and objects --------------------------------------------------------------

// A fresh folder under %TEMP%, removed with what it holds.
class TempDir {
public:
    TempDir()
    {
        static int serial = 0;
        wchar_t base[MAX_PATH];
        GetTempPathW(MAX_PATH, base);
        path_ = std::wstring(base) + L"fwplst" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                std::to_wstring(++serial) + L"\\";
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~TempDir()
    {
        for (const std::wstring &name : Names())
            DeleteFileW((path_ + name).c_str());
        RemoveDirectoryW(path_.c_str());
    }
    std::wstring operator/(const wchar_t *name) const { return path_ + name; }
    std::vector<std::wstring> Names() const
    {
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW data;
        HANDLE find = FindFirstFileW((path_ + L"*").c_str(), &data);
        if (find == INVALID_HANDLE_VALUE)
            return names;
        do {
            if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                names.push_back(data.cFileName);
        } while (FindNextFileW(find, &data));
        FindClose(find);
        return names;
    }

private:
    std::wstring path_;
};

bool WriteBytes(const std::wstring &path, const Bytes &bytes)
{
    UniqueHandle f(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    return f && WriteFile(f.get(), bytes.data(), DWORD(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

Bytes ReadBytes(const std::wstring &path)
{
    UniqueHandle f(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size{};
    if (!f || !GetFileSizeEx(f.get(), &size))
        return {};
    Bytes b(size_t(size.QuadPart));
    DWORD got = 0;
    if (!ReadFile(f.get(), b.data(), DWORD(b.size()), &got, nullptr))
        return {};
    b.resize(got);
    return b;
}

ComPtr<IHCYFWPlaylist> NewPlaylist()
{
    ComPtr<IHCYFWPlaylist> p;
    HRESULT hr = CreatePlaylistObject(IID_IHCYFWPlaylist, reinterpret_cast<void **>(p.GetAddressOf()));
    EXPECT_HR(S_OK, hr);
    return p;
}

LONG Count(IHCYFWPlaylist *p)
{
    LONG n = -1;
    EXPECT_HR(S_OK, p->GetCount(&n));
    return n;
}

PlaylistPosition Pos(IHCYFWPlaylist *p)
{
    PlaylistPosition pos{-1, -1};
    EXPECT_HR(S_OK, p->GetPosition(&pos));
    return pos;
}

std::wstring CurrentName(IHCYFWPlaylist *p)
{
    PlaybackItem item{};
    if (FAILED(p->GetCurrentItem(&item)))
        return L"<none>";
    std::wstring name = item.fileName;
    CoTaskMemFree(item.fileName);
    return name;
}

// A playlist holding entries named by names, in that order, the last one current.
ComPtr<IHCYFWPlaylist> PlaylistOf(std::initializer_list<const wchar_t *> names)
{
    auto p = NewPlaylist();
    int k = 0;
    for (const wchar_t *name : names) {
        const Rec rec = Distinct(k++, name);
        PlaybackItem item = ItemOf(rec);
        EXPECT_HR(S_OK, p->Insert(&item, -1));
    }
    return p;
}

// Names from the first entry on; leaves the first entry current.
std::wstring Names(IHCYFWPlaylist *p)
{
    std::wstring all;
    if (FAILED(p->First()))
        return all;
    for (LONG i = 0, n = Count(p); i < n; ++i, (void)p->Next())
        all += CurrentName(p) + L" ";
    return all;
}

// Compares an item read back with the record it came from (flags as 0/1).
void ExpectItem(const PlaybackItem &i, const Rec &r)
{
    EXPECT_EQ(i.xPosition, r.x);
    EXPECT_EQ(i.yPosition, r.y);
    EXPECT_EQ(i.bounceStep, r.step);
    EXPECT_EQ(i.bounceInterval, r.interval);
    EXPECT_EQ(i.windowLeft, r.left);
    EXPECT_EQ(i.windowTop, r.top);
    EXPECT_EQ(i.windowWidth, r.width);
    EXPECT_EQ(i.windowHeight, r.height);
    EXPECT_EQ(i.position, r.position);
    ASSERT_NE(i.fileName, nullptr);
    EXPECT_EQ(std::wstring(i.fileName), r.path);
    EXPECT_EQ(i.parentWindow, r.parent);
    EXPECT_EQ(i.loops, r.loops);
    EXPECT_EQ(i.volume, r.volume);
    EXPECT_EQ(i.style, r.style);
    EXPECT_EQ(i.scale, r.scale);
    EXPECT_EQ(i.rate, r.rate);
    const BYTE *flags = &i.scaleToScreen;
    for (int f = 0; f < 7; ++f)
        EXPECT_EQ(flags[f], r.flags[f] ? 1 : 0) << "flag " << f;
    EXPECT_EQ(i.validMask, DWORD(ITEM_ALL));
}

} // namespace

// ---- the object --------------------------------------------------------------------

TEST(PlaylistObject, InterfacesAndCounts)
{
    const LONG libraryBefore = LibraryObjectCount();
    IHCYFWPlaylist *p = nullptr;
    ASSERT_HR(S_OK, CreatePlaylistObject(IID_IHCYFWPlaylist, reinterpret_cast<void **>(&p)));
    EXPECT_EQ(LibraryObjectCount(), libraryBefore + 1);

    EXPECT_HR(E_POINTER, p->QueryInterface(IID_IUnknown, nullptr));
    IUnknown *unknown = nullptr;
    EXPECT_HR(S_OK, p->QueryInterface(IID_IUnknown, reinterpret_cast<void **>(&unknown)));
    EXPECT_EQ(static_cast<void *>(unknown), static_cast<void *>(p));
    EXPECT_EQ(LibraryObjectCount(), libraryBefore + 2);
    for (const IID *refused : {&IID_IClassFactory, &IID_IHCYFramewheel, &IID_IMarshal}) {
        void *out = p;
        EXPECT_HR(E_NOINTERFACE, p->QueryInterface(*refused, &out));
        EXPECT_EQ(out, nullptr);
    }
    EXPECT_EQ(p->AddRef(), 3u);
    EXPECT_EQ(p->Release(), 2u);
    EXPECT_EQ(unknown->Release(), 1u);
    EXPECT_EQ(p->Release(), 0u);
    EXPECT_EQ(LibraryObjectCount(), libraryBefore);

    // Asking the creation function for an interface the object lacks destroys it again.
    void *out = &out;
    EXPECT_HR(E_NOINTERFACE, CreatePlaylistObject(IID_IClassFactory, &out));
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(LibraryObjectCount(), libraryBefore);
}

TEST(PlaylistObject, EmptyPlaylistRefusesEntryMethods)
{
    auto p = NewPlaylist();
    EXPECT_EQ(Count(p.Get()), 0);
    PlaylistPosition pos{0, 0};
    PlaybackItem item = DefaultPlaybackItem();
    EXPECT_HR(E_UNEXPECTED, p->Next());
    EXPECT_HR(E_UNEXPECTED, p->Previous());
    EXPECT_HR(E_UNEXPECTED, p->First());
    EXPECT_HR(E_UNEXPECTED, p->Remove(0));
    EXPECT_HR(E_UNEXPECTED, p->Remove(-1));
    EXPECT_HR(E_INVALIDARG, p->Remove(-2));
    EXPECT_HR(E_UNEXPECTED, p->SetPosition(&pos, POSITION_MOVE | POSITION_RESULT));
    EXPECT_HR(E_UNEXPECTED, p->GetPosition(&pos));
    EXPECT_HR(E_UNEXPECTED, p->SetCurrentItem(&item));
    EXPECT_HR(E_UNEXPECTED, p->GetCurrentItem(&item));
    EXPECT_EQ(item.fileName, nullptr);
    EXPECT_HR(E_UNEXPECTED, p->Save(nullptr, FALSE));
}

TEST(PlaylistObject, NavigationWraps)
{
    auto p = PlaylistOf({L"a", L"b", L"c"});
    EXPECT_EQ(Pos(p.Get()).index, 2);
    EXPECT_HR(S_OK, p->Next());
    EXPECT_EQ(Pos(p.Get()).index, 0);
    EXPECT_EQ(CurrentName(p.Get()), L"a");
    EXPECT_HR(S_OK, p->Previous());
    EXPECT_EQ(Pos(p.Get()).index, 2);
    EXPECT_EQ(CurrentName(p.Get()), L"c");
    EXPECT_HR(S_OK, p->Previous());
    EXPECT_EQ(CurrentName(p.Get()), L"b");
    EXPECT_HR(S_OK, p->First());
    EXPECT_EQ(Pos(p.Get()).index, 0);

    auto one = PlaylistOf({L"x"});
    EXPECT_HR(S_OK, one->Next());
    EXPECT_HR(S_OK, one->Previous());
    EXPECT_EQ(Pos(one.Get()).index, 0);
    EXPECT_EQ(CurrentName(one.Get()), L"x");
}

TEST(PlaylistObject, InsertAndRemoveKeepTheIndex)
{
    auto p = PlaylistOf({L"a", L"b"});
    PlaybackItem item = DefaultPlaybackItem();
    item.fileName = const_cast<WCHAR *>(L"end");
    EXPECT_HR(S_OK, p->Insert(&item, 2 + 5));
    EXPECT_EQ(Pos(p.Get()).index, 2);
    item.fileName = const_cast<WCHAR *>(L"front");
    EXPECT_HR(S_OK, p->Insert(&item, 0));
    EXPECT_EQ(Pos(p.Get()).index, 0);
    EXPECT_EQ(CurrentName(p.Get()), L"front");
    item.fileName = const_cast<WCHAR *>(L"mid");
    EXPECT_HR(S_OK, p->Insert(&item, 2));
    EXPECT_EQ(Pos(p.Get()).index, 2);
    EXPECT_EQ(Names(p.Get()), L"front a mid b end ");

    EXPECT_HR(E_INVALIDARG, p->Remove(5));
    EXPECT_HR(E_INVALIDARG, p->Remove(-2));
    // Removing the current entry: the next one takes its index.
    EXPECT_HR(S_OK, p->Next()); // a, index 1
    EXPECT_HR(S_OK, p->Remove(-1));
    EXPECT_EQ(Pos(p.Get()).index, 1);
    EXPECT_EQ(CurrentName(p.Get()), L"mid");
    // Removing an entry before the current one moves the index down, after it does not.
    EXPECT_HR(S_OK, p->Remove(0));
    EXPECT_EQ(Pos(p.Get()).index, 0);
    EXPECT_EQ(CurrentName(p.Get()), L"mid");
    EXPECT_HR(S_OK, p->Remove(2));
    EXPECT_EQ(Names(p.Get()), L"mid b ");
    // The current last entry goes: the first becomes current.
    EXPECT_HR(S_OK, p->Next());
    EXPECT_HR(S_OK, p->Remove(1));
    EXPECT_EQ(Pos(p.Get()).index, 0);
    EXPECT_EQ(CurrentName(p.Get()), L"mid");
    EXPECT_HR(S_OK, p->Remove(-1));
    EXPECT_EQ(Count(p.Get()), 0);
    PlaylistPosition pos{};
    EXPECT_HR(E_UNEXPECTED, p->GetPosition(&pos));
    // A null name is an empty path.
    item.fileName = nullptr;
    EXPECT_HR(S_OK, p->Insert(&item, -1));
    EXPECT_EQ(CurrentName(p.Get()), L"");
}

TEST(PlaylistObject, SetPositionMovesAndStoresResults)
{
    auto p = PlaylistOf({L"a", L"b", L"c", L"d"});
    EXPECT_HR(S_OK, p->Previous()); // c, index 2
    PlaylistPosition pos{0, E_FAIL};
    EXPECT_HR(S_OK, p->SetPosition(&pos, POSITION_RESULT));
    EXPECT_EQ(Pos(p.Get()).index, 2);
    EXPECT_EQ(Pos(p.Get()).playResult, E_FAIL);

    pos = {0, 0};
    EXPECT_HR(S_OK, p->SetPosition(&pos, POSITION_MOVE));
    EXPECT_EQ(Pos(p.Get()).index, 0);
    EXPECT_EQ(Pos(p.Get()).playResult, E_FAIL); // its result moved with it
    EXPECT_EQ(CurrentName(p.Get()), L"c");
    pos = {4, 0};
    EXPECT_HR(S_OK, p->SetPosition(&pos, POSITION_MOVE));
    pos = {-1, 0};
    EXPECT_HR(S_OK, p->SetPosition(&pos, POSITION_MOVE));
    EXPECT_EQ(Pos(p.Get()).index, 0);
    EXPECT_EQ(Names(p.Get()), L"c a b d ");

    // A later index: the entry lands exactly there and stays current. Both bits at once.
    EXPECT_HR(S_OK, p->Next()); // a, index 1
    pos = {3, HRESULT(0x80070002)};
    EXPECT_HR(S_OK, p->SetPosition(&pos, POSITION_MOVE | POSITION_RESULT));
    EXPECT_EQ(Pos(p.Get()).index, 3);
    EXPECT_EQ(Pos(p.Get()).playResult, HRESULT(0x80070002));
    EXPECT_EQ(CurrentName(p.Get()), L"a");
    EXPECT_EQ(Names(p.Get()), L"c b d a ");
}

TEST(PlaylistObject, ItemFieldsByMask)
{
    const Rec base = Distinct(0, L"base"), other = Distinct(1, L"other");
    auto p = NewPlaylist();
    PlaybackItem item = ItemOf(base);
    item.validMask = 0; // Insert takes everything regardless
    item.perMonitor = 7;
    ASSERT_HR(S_OK, p->Insert(&item, -1));
    PlaybackItem got{};
    ASSERT_HR(S_OK, p->GetCurrentItem(&got));
    ExpectItem(got, base);
    EXPECT_EQ(got.perMonitor, 1);
    CoTaskMemFree(got.fileName);

    // Each bit replaces its own field group and nothing else.
    const PlaybackItem o = ItemOf(other);
    for (int bit = -1; bit < 18; ++bit) {
        item = ItemOf(base);
        ASSERT_HR(S_OK, p->SetCurrentItem(&item));
        item = ItemOf(other);
        item.validMask = bit < 0 ? 0 : (1u << bit) | 0xfffc0000u; // unknown bits are ignored
        ASSERT_HR(S_OK, p->SetCurrentItem(&item));
        ASSERT_HR(S_OK, p->GetCurrentItem(&got));
        auto flag = [](BYTE v) { return BYTE(v ? 1 : 0); };
        const bool changed[18] = {
            got.xPosition == o.xPosition && got.yPosition == o.yPosition,
            got.bounceStep == o.bounceStep && got.bounceInterval == o.bounceInterval,
            got.windowLeft == o.windowLeft && got.windowTop == o.windowTop &&
                got.windowWidth == o.windowWidth && got.windowHeight == o.windowHeight,
            got.position == o.position,
            std::wstring(got.fileName) == L"other",
            got.parentWindow == o.parentWindow,
            got.loops == o.loops,
            got.volume == o.volume,
            got.style == o.style,
            got.scale == o.scale,
            got.rate == o.rate,
            got.scaleToScreen == flag(o.scaleToScreen),
            got.keepAspect == flag(o.keepAspect),
            got.bounce == flag(o.bounce),
            got.perMonitor == flag(o.perMonitor),
            got.reserved == flag(o.reserved),
            got.blockScreenSaver == flag(o.blockScreenSaver),
            got.blockMonitorPower == flag(o.blockMonitorPower),
        };
        for (int g = 0; g < 18; ++g)
            EXPECT_EQ(changed[g], g == bit) << "mask bit " << bit << " group " << g;
        CoTaskMemFree(got.fileName);
    }
    // The result is not part of the item.
    PlaylistPosition pos{0, E_ACCESSDENIED};
    ASSERT_HR(S_OK, p->SetPosition(&pos, POSITION_RESULT));
    item.validMask = ITEM_ALL;
    item.fileName = nullptr;
    ASSERT_HR(S_OK, p->SetCurrentItem(&item));
    EXPECT_EQ(Pos(p.Get()).playResult, E_ACCESSDENIED);
    EXPECT_EQ(CurrentName(p.Get()), L"");
}

// ---- the file format ------------------------------------------------------------------

TEST(PlaylistFile, SavedBytesFollowTheLayout)
{
    TempDir dir;
    const Rec rec = Distinct(0, L"C:\\v\\a.avi"); // 10 characters, flags given as 7
    auto p = NewPlaylist();
    PlaybackItem item = ItemOf(rec);
    ASSERT_HR(S_OK, p->Insert(&item, -1));
    PlaylistPosition pos{0, rec.result};
    ASSERT_HR(S_OK, p->SetPosition(&pos, POSITION_RESULT));
    ASSERT_HR(S_OK, p->Save((dir / L"one.plst").c_str(), FALSE));

    Rec written = AsWritten(rec);
    const Bytes expected = Concat({Header(1), Record(written)});
    ASSERT_EQ(expected.size(), 141u);
    const Bytes got = ReadBytes(dir / L"one.plst");
    EXPECT_EQ(got, expected);
    EXPECT_EQ(dir.Names().size(), 1u) << "temporary file left behind";

    // An empty path: n = 0 and no path bytes; the name comes back as a lone terminator.
    item.fileName = nullptr;
    ASSERT_HR(S_OK, p->SetCurrentItem(&item));
    ASSERT_HR(S_OK, p->Save((dir / L"one.plst").c_str(), FALSE));
    written.path.clear();
    EXPECT_EQ(ReadBytes(dir / L"one.plst"), Concat({Header(1), Record(written)}));
    ASSERT_HR(S_OK, p->GetCurrentItem(&item));
    ComPtr<IMalloc> malloc;
    ASSERT_HR(S_OK, CoGetMalloc(1, &malloc));
    EXPECT_EQ(malloc->GetSize(item.fileName), sizeof(WCHAR));
    EXPECT_EQ(item.fileName[0], L'\0');
    CoTaskMemFree(item.fileName);
}

TEST(PlaylistFile, LoadReadsEveryField)
{
    TempDir dir;
    Rec first = Distinct(1, L"\\\\server\\share\\clip.mpg");
    first.reserved = 0x5a5a5a5a; // skipped on reading
    Rec second = Distinct(2, L"");
    const std::wstring path = dir / L"two.plst";
    ASSERT_TRUE(WriteBytes(path, Concat({Header(2), Record(first), Record(second), Bytes(37, 0xEE)})));

    auto p = NewPlaylist();
    ASSERT_HR(S_OK, p->Load(path.c_str()));
    ASSERT_EQ(Count(p.Get()), 2);
    for (const Rec *rec : {&first, &second}) {
        PlaybackItem item{};
        ASSERT_HR(S_OK, p->GetCurrentItem(&item));
        ExpectItem(item, *rec);
        CoTaskMemFree(item.fileName);
        EXPECT_EQ(Pos(p.Get()).playResult, rec->result);
        EXPECT_HR(S_OK, p->Next());
    }
    EXPECT_EQ(Pos(p.Get()).index, 0);

    // Saving it back writes the same records, flags as 1, without the trailing bytes.
    ASSERT_HR(S_OK, p->Save(nullptr, FALSE));
    EXPECT_EQ(ReadBytes(path), Concat({Header(2), Record(AsWritten(first)), Record(AsWritten(second))}));
}

TEST(PlaylistFile, HeaderAndCountCases)
{
    TempDir dir;
    auto p = NewPlaylist();
    const std::wstring path = dir / L"h.plst";
    const Rec rec = Distinct(0, L"a");
    const Bytes one = Record(rec);
    PlaybackItem item = ItemOf(rec);

    // Bad magic, version 2, a header cut short: rejected, empty, and the name of the
    // earlier good load forgotten.
    Bytes badMagic = Concat({Header(1), one});
    badMagic[15] ^= 1;
    Bytes shortHeader = Header(1);
    shortHeader.pop_back();
    for (const Bytes &bytes : {badMagic, Concat({Header(1, 2), one}), shortHeader}) {
        ASSERT_TRUE(WriteBytes(dir / L"good.plst", Concat({Header(1), one})));
        ASSERT_HR(S_OK, p->Load((dir / L"good.plst").c_str()));
        ASSERT_TRUE(WriteBytes(path, bytes));
        EXPECT_HR(STG_E_INVALIDHEADER, p->Load(path.c_str()));
        EXPECT_EQ(Count(p.Get()), 0);
        ASSERT_HR(S_OK, p->Insert(&item, -1));
        EXPECT_HR(E_INVALIDARG, p->Save(nullptr, FALSE));
    }

    // A count of 0 or below loads as empty; the name is remembered for Save(null).
    for (int32_t count : {0, -5}) {
        ASSERT_TRUE(WriteBytes(path, Concat({Header(count), one})));
        EXPECT_HR(S_OK, p->Load(path.c_str()));
        EXPECT_EQ(Count(p.Get()), 0);
        EXPECT_HR(E_UNEXPECTED, p->Save(nullptr, FALSE));
    }
    ASSERT_HR(S_OK, p->Insert(&item, -1));
    EXPECT_HR(S_OK, p->Save(nullptr, FALSE));
    Rec saved = AsWritten(Distinct(0, L"a"));
    saved.result = 0; // Insert starts every entry untried
    EXPECT_EQ(ReadBytes(path), Concat({Header(1), Record(saved)}));
    EXPECT_HR(E_INVALIDARG, PlaylistOf({L"never loaded"})->Save(nullptr, FALSE));
}

namespace {

// Another process (hold_file.exe, next to this program) holding a file open unshared.
class FileHolder {
public:
    explicit FileHolder(const std::wstring &path)
    {
        static int serial = 0;
        const std::wstring tag = L"fwplst_hold_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                                 std::to_wstring(++serial);
        ready_.reset(CreateEventW(nullptr, TRUE, FALSE, (tag + L"_ready").c_str()));
        stop_.reset(CreateEventW(nullptr, TRUE, FALSE, (tag + L"_stop").c_str()));
        wchar_t exe[MAX_PATH];
        GetModuleFileNameW(nullptr, exe, MAX_PATH);
        std::wstring helper(exe);
        helper.resize(helper.find_last_of(L"\\/") + 1);
        helper += L"hold_file.exe";
        std::wstring command = L"\"" + helper + L"\" \"" + path + L"\" " + tag + L"_ready " + tag + L"_stop";
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        if (!CreateProcessW(helper.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
            return;
        process_.reset(pi.hProcess);
        CloseHandle(pi.hThread);
        HANDLE waits[2] = {ready_.get(), process_.get()};
        held_ = WaitForMultipleObjects(2, waits, FALSE, 15000) == WAIT_OBJECT_0;
    }
    ~FileHolder()
    {
        SetEvent(stop_.get());
        if (process_ && WaitForSingleObject(process_.get(), 10000) != WAIT_OBJECT_0)
            TerminateProcess(process_.get(), 1);
    }
    bool held() const { return held_; }

private:
    UniqueHandle ready_, stop_, process_;
    bool held_ = false;
};

} // namespace

TEST(PlaylistFile, OpenFailuresUnderRealConditions)
{
    TempDir dir;
    auto p = PlaylistOf({L"a", L"b"});
    const std::wstring missingFolder = dir / L"no such folder\\x.plst";
    EXPECT_HR(STG_E_FILENOTFOUND, p->Load((dir / L"missing.plst").c_str()));
    EXPECT_HR(E_FAIL, p->Load(missingFolder.c_str()));
    p = PlaylistOf({L"a", L"b"});
    EXPECT_HR(STG_E_PATHNOTFOUND, p->Save(missingFolder.c_str(), FALSE));

    // failIfExists: the file stays as it was.
    const std::wstring path = dir / L"p.plst";
    const Bytes original = Concat({Header(1), Record(Distinct(0, L"keep"))});
    ASSERT_TRUE(WriteBytes(path, original));
    EXPECT_HR(STG_E_FILEALREADYEXISTS, p->Save(path.c_str(), TRUE));
    EXPECT_EQ(ReadBytes(path), original);
    EXPECT_HR(S_OK, p->Save((dir / L"new.plst").c_str(), TRUE));
    EXPECT_EQ(ReadBytes(dir / L"new.plst").size(), 22u + 2 * (99 + 2));

    // Save(null) needs the remembered file to exist still.
    ASSERT_HR(S_OK, p->Load((dir / L"new.plst").c_str()));
    ASSERT_TRUE(DeleteFileW((dir / L"new.plst").c_str()));
    EXPECT_HR(STG_E_FILENOTFOUND, p->Save(nullptr, FALSE));
    EXPECT_EQ(GetFileAttributesW((dir / L"new.plst").c_str()), INVALID_FILE_ATTRIBUTES);

    // Another program holds the file open without sharing.
    {
        FileHolder holder(path);
        ASSERT_TRUE(holder.held()) << "hold_file.exe did not take the file";
        EXPECT_HR(STG_E_SHAREVIOLATION, p->Save(path.c_str(), FALSE));
        auto loaded = NewPlaylist();
        EXPECT_HR(STG_E_SHAREVIOLATION, loaded->Load(path.c_str()));
        EXPECT_EQ(Count(loaded.Get()), 0);
    }
    EXPECT_EQ(ReadBytes(path), original);
    EXPECT_EQ(dir.Names().size(), 1u) << "temporary file left behind";

    // Replacing a longer file leaves exactly the new contents, with a path or without.
    auto small = PlaylistOf({L"s"});
    EXPECT_HR(S_OK, small->Save(path.c_str(), FALSE));
    EXPECT_EQ(ReadBytes(path).size(), 22u + 99 + 2);
    ASSERT_HR(S_OK, p->Load((dir / L"p.plst").c_str()));
    ASSERT_TRUE(WriteBytes(path, Concat({Header(1), Record(Distinct(0, L"a much longer path"))})));
    EXPECT_HR(S_OK, p->Save(nullptr, FALSE));
    EXPECT_EQ(ReadBytes(path).size(), 22u + 99 + 2);
    EXPECT_EQ(dir.Names().size(), 1u);

    // A hidden playlist stays hidden.
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_HIDDEN));
    EXPECT_HR(S_OK, p->Save(path.c_str(), FALSE));
    EXPECT_EQ(GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_HIDDEN, DWORD(FILE_ATTRIBUTE_HIDDEN));
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Run by test_full_disk.sh, which mounts a tiny file system as drive FW_FULL_DISK_DRIVE.
TEST(FullDisk, FailedSaveKeepsTheOldFile)
{
    const char *drive = std::getenv("FW_FULL_DISK_DRIVE");
    if (!drive)
        GTEST_SKIP() << "needs test_full_disk.sh (a tiny tmpfs mounted as a Wine drive)";
    const std::wstring root = std::wstring(drive, drive + std::strlen(drive)) + L"\\";
    const std::wstring path = root + L"keep.plst", filler = root + L"filler.bin";

    ASSERT_HR(S_OK, PlaylistOf({L"C:\\one.avi", L"C:\\two.avi"})->Save(path.c_str(), FALSE));
    const Bytes original = ReadBytes(path);
    ASSERT_EQ(original.size(), 22u + 2 * (99 + 20));

    // Fill the disk until writing fails for lack of space.
    DWORD lastError = 0;
    {
        UniqueHandle f(CreateFileW(filler.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(f);
        const Bytes block(4096, 0xAB);
        for (int i = 0; i < 1024; ++i) {
            DWORD written = 0;
            if (!WriteFile(f.get(), block.data(), DWORD(block.size()), &written, nullptr)) {
                lastError = GetLastError();
                break;
            }
        }
    }
    ASSERT_EQ(lastError, DWORD(ERROR_DISK_FULL)) << "the disk did not fill up";

    auto big = NewPlaylist();
    const Rec rec = Distinct(0, std::wstring(200, L'v'));
    PlaybackItem item = ItemOf(rec);
    for (int i = 0; i < 300; ++i)
        ASSERT_HR(S_OK, big->Insert(&item, -1));
    const HRESULT hr = big->Save(path.c_str(), FALSE);
    EXPECT_TRUE(FAILED(hr)) << Hex(hr);
    EXPECT_EQ(ReadBytes(path), original);

    // The same through the remembered name.
    ASSERT_HR(S_OK, big->Load(path.c_str()));
    for (int i = 0; i < 300; ++i)
        ASSERT_HR(S_OK, big->Insert(&item, -1));
    EXPECT_TRUE(FAILED(big->Save(nullptr, FALSE)));
    EXPECT_EQ(ReadBytes(path), original);

    // A new file that does not fit is not left behind half written.
    EXPECT_TRUE(FAILED(big->Save((root + L"new.plst").c_str(), TRUE)));
    EXPECT_EQ(GetFileAttributesW((root + L"new.plst").c_str()), INVALID_FILE_ATTRIBUTES);

    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((root + L"*").c_str(), &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(data.cFileName);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    EXPECT_EQ(names.size(), 2u) << "temporary file left behind";
    DeleteFileW(filler.c_str());
    DeleteFileW(path.c_str());
}

// ---- damaged files ---------------------------------------------------------------------

namespace {

template <typename T>
T GetAt(const Bytes &b, size_t offset)
{
    T value;
    std::memcpy(&value, b.data() + offset, sizeof value);
    return value;
}

// Loads bytes and checks the outcome against an independent walk of them: a header that
// is short, of another magic or version is refused and leaves the playlist empty;
// otherwise exactly the records that lie whole in the data are loaded, at most entryCount.
testing::AssertionResult LoadsAsWalked(IHCYFWPlaylist *p, const std::wstring &path, const Bytes &bytes)
{
    if (!WriteBytes(path, bytes))
        return testing::AssertionFailure() << "cannot write the test file";
    const HRESULT hr = p->Load(path.c_str());
    LONG count = -1;
    (void)p->GetCount(&count);
    if (bytes.size() < 22 || std::memcmp(bytes.data(), kMagic, 16) != 0 || GetAt<uint16_t>(bytes, 16) != 1) {
        if (hr != STG_E_INVALIDHEADER || count != 0)
            return testing::AssertionFailure() << "bad header: " << Hex(hr) << ", " << count << " entries";
        return testing::AssertionSuccess();
    }
    if (hr != S_OK)
        return testing::AssertionFailure() << "Load gave " << Hex(hr);
    const int32_t declared = GetAt<int32_t>(bytes, 18);
    size_t offset = 22;
    LONG whole = 0;
    for (; whole < declared; ++whole) {
        if (bytes.size() - offset < 99)
            break;
        const int32_t n = GetAt<int32_t>(bytes, offset + 56);
        const uint64_t pathBytes = n > 0 ? 2ull * uint32_t(n) : 0;
        if (bytes.size() - offset < 99 + pathBytes)
            break;
        if (whole == count)
            return testing::AssertionFailure() << "only " << count << " entries loaded";
        PlaybackItem item{};
        PlaylistPosition pos{};
        if (FAILED(p->GetCurrentItem(&item)) || FAILED(p->GetPosition(&pos)))
            return testing::AssertionFailure() << "entry " << whole << " unreadable";
        // The name handed out ends at its first zero unit, wherever the file put one.
        const std::wstring expected =
            std::wstring(reinterpret_cast<const wchar_t *>(bytes.data() + offset + 60), pathBytes / 2).c_str();
        const bool same = item.fileName == expected && pos.index == whole &&
                          pos.playResult == GetAt<int32_t>(bytes, offset + 60 + pathBytes + 35) &&
                          item.loops == GetAt<int32_t>(bytes, offset + 60 + pathBytes + 4) &&
                          item.blockMonitorPower == (bytes[offset + 60 + pathBytes + 34] ? 1 : 0);
        CoTaskMemFree(item.fileName);
        if (!same)
            return testing::AssertionFailure() << "entry " << whole << " differs";
        (void)p->Next();
        offset += 99 + pathBytes;
    }
    if (count != whole)
        return testing::AssertionFailure() << count << " entries loaded, " << whole << " whole in the data";
    return testing::AssertionSuccess();
}

} // namespace

// FW_PLST_MUTATIONS=N runs N times as many random damages (by hand; CI uses 1).
TEST(PlaylistFile, DamagedFilesLoadSafely)
{
    TempDir dir;
    const std::wstring path = dir / L"damaged.plst";
    auto p = NewPlaylist();
    const Bytes three = Concat({Header(3), Record(Distinct(0, L"a.avi")), Record(Distinct(1, L"")),
                                Record(Distinct(2, L"D:\\Videos\\clip.wmv"))});
    const Bytes one = Concat({Header(1), Record(Distinct(0, L"C:\\v\\a.avi"))});
    const auto start = std::chrono::steady_clock::now();
    int cases = 0;
    auto check = [&](const Bytes &bytes, const char *kind, size_t detail) {
        ++cases;
        return LoadsAsWalked(p.Get(), path, bytes) << " (" << kind << " " << detail << ")";
    };

    // The hostile extremes: a huge count in a 30-byte file; huge and negative path lengths.
    Bytes hugeCount = Header(INT32_MAX);
    hugeCount.resize(30, 0x41);
    ASSERT_TRUE(check(hugeCount, "count", INT32_MAX));
    for (int32_t n : {INT32_MAX, INT32_MIN, 0x40000000, 0x40000001, -1, 11, 12}) {
        Bytes b = one;
        PutAt(b, 22 + 56, n);
        ASSERT_TRUE(check(b, "path length", uint32_t(n)));
    }
    for (const Bytes *base : {&three, &one})
        for (size_t cut = 0; cut < base->size(); ++cut)
            ASSERT_TRUE(check(Bytes(base->begin(), base->begin() + cut), "cut at", cut));
    for (size_t bit = 0; bit < one.size() * 8; ++bit) {
        Bytes b = one;
        b[bit / 8] ^= BYTE(1 << (bit % 8));
        ASSERT_TRUE(check(b, "bit", bit));
    }

    const char *scaleText = std::getenv("FW_PLST_MUTATIONS");
    const int scale = scaleText ? std::max(1, std::atoi(scaleText)) : 1;
    std::mt19937 random(20261206);
    auto below = [&](size_t n) { return size_t(random() % std::max<size_t>(n, 1)); };
    const int32_t special[] = {0, 1, -1, 2, 99, 0x7fff, INT32_MAX, INT32_MIN, 0x40000000, 0x3fffffff};
    for (int i = 0; i < 1500 * scale; ++i) {
        Bytes b = three;
        switch (i % 5) {
        case 0: // several bit flips
            for (int k = 0, flips = 1 + int(below(4)); k < flips; ++k)
                b[below(b.size())] ^= BYTE(1 << below(8));
            break;
        case 1: // a special 32-bit value anywhere
            PutAt(b, below(b.size() - 3), special[below(std::size(special))]);
            break;
        case 2: { // a range removed or repeated
            const size_t from = below(b.size()), len = below(b.size() - from) + 1;
            if (random() % 2)
                b.erase(b.begin() + from, b.begin() + from + len);
            else
                b.insert(b.begin() + from, b.begin() + from, b.begin() + from + len);
            break;
        }
        case 3: // a good header, then anything
            b = Header(int32_t(below(8)) - 1);
            for (size_t k = 0, n = below(400); k < n; ++k)
                b.push_back(BYTE(random()));
            break;
        case 4: // anything at all
            b.resize(below(64));
            for (BYTE &byte : b)
                byte = BYTE(random());
            break;
        }
        ASSERT_TRUE(check(b, "random", i));
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%d damaged files loaded in %.2f s\n", cases, seconds);
}
