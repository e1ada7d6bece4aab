// The playlist object through its interface, and the .plst format against bytes built
// here from the format's offsets, not by the code under test.
#include <windows.h>
#include <objbase.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <algorithm>
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

// ---- the format's bytes, from its table ------------------------------------------------

const BYTE kMagic[16] = {0xE0, 0x59, 0x82, 0x71, 0xF7, 0xC4, 0xD2, 0x11,
                         0x86, 0x1C, 0xBD, 0x7B, 0x2E, 0xB4, 0x77, 0x37};

template <typename T>
void PutAt(Bytes &b, size_t offset, T value) { std::memcpy(b.data() + offset, &value, sizeof value); }
template <typename T>
T GetAt(const Bytes &b, size_t offset)
{
    T value;
    std::memcpy(&value, b.data() + offset, sizeof value);
    return value;
}

Bytes Header(int32_t count, uint16_t version = 1)
{
    Bytes b(22);
    std::memcpy(b.data(), kMagic, 16);
    PutAt(b, 16, version);
    PutAt(b, 18, count);
    return b;
}

// A test-side entry: the item's fields (fileName unused), its path and play result.
struct Entry {
    PlaybackItem item = DefaultPlaybackItem();
    std::wstring path;
    int32_t result = 0;
};

Bytes Record(const Entry &e, int32_t reserved = 0)
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

Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes &p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// An entry whose every field differs from the defaults and, by k, from other entries;
// some flags are 7, which the playlist must take as 1.
Entry Distinct(int k, std::wstring path)
{
    Entry e;
    PlaybackItem &i = e.item;
    i.xPosition = 0.25 + k, i.yPosition = 0.75 + k, i.bounceStep = 3.5 + k, i.bounceInterval = 40 + k;
    i.windowLeft = -10 - k, i.windowTop = 20 + k, i.windowWidth = 640 + k, i.windowHeight = 480 + k;
    i.position = 12.5 + k, i.parentWindow = 0x80001234u + k, i.loops = -1 - k, i.volume = 55 + k;
    i.style = 1 + k, i.scale = 0.5f + k, i.rate = 2.0f + k;
    for (int f = 0; f < 7; ++f)
        (&i.scaleToScreen)[f] = BYTE((f + k) % 2 ? 7 : 0);
    e.path = std::move(path);
    e.result = int32_t(0x80040265) + k;
    return e;
}

// What the playlist keeps of an entry: flags as 0/1.
Entry Taken(Entry e, bool keepResult = true)
{
    for (int f = 0; f < 7; ++f)
        (&e.item.scaleToScreen)[f] = (&e.item.scaleToScreen)[f] ? 1 : 0;
    if (!keepResult)
        e.result = 0;
    return e;
}

// The item to hand in; it points into e's path, so e must outlive it.
PlaybackItem In(const Entry &&) = delete;
PlaybackItem In(const Entry &e)
{
    PlaybackItem item = e.item;
    item.fileName = const_cast<WCHAR *>(e.path.c_str());
    return item;
}

// ---- objects and files ---------------------------------------------------------------

ComPtr<IHCYFWPlaylist> NewPlaylist()
{
    ComPtr<IHCYFWPlaylist> p;
    EXPECT_HR(S_OK, CreatePlaylistObject(IID_IHCYFWPlaylist, reinterpret_cast<void **>(p.GetAddressOf())));
    return p;
}

LONG Count(IHCYFWPlaylist *p)
{
    LONG n = -1;
    EXPECT_HR(S_OK, p->GetCount(&n));
    return n;
}

LONG Index(IHCYFWPlaylist *p)
{
    PlaylistPosition pos{-1, 0};
    EXPECT_HR(S_OK, p->GetPosition(&pos));
    return pos.index;
}

// The current entry as GetCurrentItem and GetPosition report it.
Entry Current(IHCYFWPlaylist *p)
{
    Entry e;
    PlaylistPosition pos{};
    EXPECT_HR(S_OK, p->GetCurrentItem(&e.item));
    EXPECT_HR(S_OK, p->GetPosition(&pos));
    EXPECT_EQ(e.item.validMask, DWORD(ITEM_ALL));
    e.path = e.item.fileName ? e.item.fileName : L"<null>";
    CoTaskMemFree(e.item.fileName);
    e.item.fileName = nullptr;
    e.result = pos.playResult;
    return e;
}

// A playlist of entries named by names, in that order; the last one is current.
ComPtr<IHCYFWPlaylist> PlaylistOf(std::initializer_list<const wchar_t *> names)
{
    auto p = NewPlaylist();
    int k = 0;
    for (const wchar_t *name : names) {
        const Entry e = Distinct(k++, name);
        const PlaybackItem item = In(e);
        EXPECT_HR(S_OK, p->Insert(&item, -1));
    }
    return p;
}

// The names from the first entry on, each followed by a space; the first ends current.
std::wstring Names(IHCYFWPlaylist *p)
{
    std::wstring all;
    (void)p->First();
    for (LONG i = 0, n = Count(p); i < n; ++i, (void)p->Next())
        all += Current(p).path + L" ";
    return all;
}

// A fresh folder under %TEMP%, removed with what it holds.
class TempDir {
public:
    explicit TempDir(std::wstring root = {})
    {
        static int serial = 0;
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        path_ = (root.empty() ? std::wstring(temp) : root) + L"fwplst" + std::to_wstring(GetCurrentProcessId()) +
                L"_" + std::to_wstring(++serial) + L"\\";
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
        for (BOOL more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileW(find, &data))
            if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                names.push_back(data.cFileName);
        if (find != INVALID_HANDLE_VALUE)
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
    return f && WriteFile(f.get(), bytes.data(), DWORD(bytes.size()), &written, nullptr) && written == bytes.size();
}

Bytes ReadBytes(const std::wstring &path)
{
    UniqueHandle f(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    Bytes b(1 << 20);
    DWORD got = 0;
    if (!f || !ReadFile(f.get(), b.data(), DWORD(b.size()), &got, nullptr))
        return {};
    b.resize(got);
    return b;
}

// Another process (hold_file.exe, next to this program) holding a file open unshared.
class FileHolder {
public:
    explicit FileHolder(const std::wstring &path)
    {
        const std::wstring tag = L"fwplst_hold_" + std::to_wstring(GetCurrentProcessId());
        ready_.reset(CreateEventW(nullptr, TRUE, FALSE, (tag + L"_ready").c_str()));
        stop_.reset(CreateEventW(nullptr, TRUE, FALSE, (tag + L"_stop").c_str()));
        wchar_t exe[MAX_PATH];
        GetModuleFileNameW(nullptr, exe, MAX_PATH);
        std::wstring helper(exe);
        helper = helper.substr(0, helper.find_last_of(L"\\/") + 1) + L"hold_file.exe";
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

// ---- the object --------------------------------------------------------------------

TEST(PlaylistObject, InterfacesAndCounts)
{
    const LONG before = LibraryObjectCount();
    IHCYFWPlaylist *p = nullptr;
    ASSERT_HR(S_OK, CreatePlaylistObject(IID_IHCYFWPlaylist, reinterpret_cast<void **>(&p)));
    EXPECT_EQ(LibraryObjectCount(), before + 1);
    EXPECT_HR(E_POINTER, p->QueryInterface(IID_IUnknown, nullptr));
    IUnknown *unknown = nullptr;
    EXPECT_HR(S_OK, p->QueryInterface(IID_IUnknown, reinterpret_cast<void **>(&unknown)));
    EXPECT_EQ(static_cast<void *>(unknown), static_cast<void *>(p));
    EXPECT_EQ(LibraryObjectCount(), before + 2);
    for (const IID *refused : {&IID_IClassFactory, &IID_IHCYFramewheel, &IID_IMarshal}) {
        void *out = p;
        EXPECT_HR(E_NOINTERFACE, p->QueryInterface(*refused, &out));
        EXPECT_EQ(out, nullptr);
    }
    EXPECT_EQ(p->AddRef(), 3u);
    EXPECT_EQ(p->Release(), 2u);
    EXPECT_EQ(unknown->Release(), 1u);
    EXPECT_EQ(p->Release(), 0u);
    EXPECT_EQ(LibraryObjectCount(), before);

    // An interface the object lacks destroys it again.
    void *out = &out;
    EXPECT_HR(E_NOINTERFACE, CreatePlaylistObject(IID_IClassFactory, &out));
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(LibraryObjectCount(), before);
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
    EXPECT_HR(E_UNEXPECTED, p->Remove(-1));
    EXPECT_HR(E_INVALIDARG, p->Remove(-2));
    EXPECT_HR(E_UNEXPECTED, p->SetPosition(&pos, POSITION_MOVE | POSITION_RESULT));
    EXPECT_HR(E_UNEXPECTED, p->GetPosition(&pos));
    EXPECT_HR(E_UNEXPECTED, p->SetCurrentItem(&item));
    EXPECT_HR(E_UNEXPECTED, p->GetCurrentItem(&item));
    EXPECT_HR(E_UNEXPECTED, p->Save(nullptr, FALSE));
}

TEST(PlaylistObject, NavigationInsertRemove)
{
    auto p = PlaylistOf({L"a", L"b", L"c"});
    EXPECT_EQ(Index(p.Get()), 2);
    EXPECT_HR(S_OK, p->Next()); // wraps to the first
    EXPECT_EQ(Index(p.Get()), 0);
    EXPECT_HR(S_OK, p->Previous()); // and back to the last
    EXPECT_EQ(Index(p.Get()), 2);
    EXPECT_EQ(Current(p.Get()).path, L"c");

    // Appending (-1, count + 5) and inserting before an index; the new entry is current.
    const Entry e = Distinct(0, L"x");
    PlaybackItem item = In(e);
    item.fileName = const_cast<WCHAR *>(L"end");
    EXPECT_HR(S_OK, p->Insert(&item, 3 + 5));
    EXPECT_EQ(Index(p.Get()), 3);
    item.fileName = const_cast<WCHAR *>(L"front");
    EXPECT_HR(S_OK, p->Insert(&item, 0));
    EXPECT_EQ(Index(p.Get()), 0);
    item.fileName = nullptr; // an empty path
    EXPECT_HR(S_OK, p->Insert(&item, 2));
    EXPECT_EQ(Index(p.Get()), 2);
    EXPECT_EQ(Current(p.Get()).path, L"");
    EXPECT_EQ(Names(p.Get()), L"front a  b c end ");

    EXPECT_HR(E_INVALIDARG, p->Remove(6));
    EXPECT_HR(E_INVALIDARG, p->Remove(-2));
    EXPECT_HR(S_OK, p->Next()); // a, index 1
    EXPECT_HR(S_OK, p->Remove(-1)); // the next entry takes the index
    EXPECT_EQ(Index(p.Get()), 1);
    EXPECT_EQ(Current(p.Get()).path, L"");
    EXPECT_HR(S_OK, p->Remove(0)); // before the current one: the index follows it
    EXPECT_EQ(Index(p.Get()), 0);
    EXPECT_HR(S_OK, p->Remove(3)); // after it: nothing changes
    EXPECT_EQ(Index(p.Get()), 0);
    EXPECT_EQ(Names(p.Get()), L" b c ");
    EXPECT_HR(S_OK, p->Previous());
    EXPECT_HR(S_OK, p->Remove(2)); // the current last entry: the first becomes current
    EXPECT_EQ(Index(p.Get()), 0);
    EXPECT_EQ(Current(p.Get()).path, L"");
    EXPECT_HR(S_OK, p->Remove(-1));
    EXPECT_HR(S_OK, p->Remove(-1));
    EXPECT_EQ(Count(p.Get()), 0);
    EXPECT_HR(E_UNEXPECTED, p->Remove(-1));
}

TEST(PlaylistObject, SetPositionMovesAndStoresResults)
{
    auto p = PlaylistOf({L"a", L"b", L"c", L"d"});
    EXPECT_HR(S_OK, p->Previous()); // c, index 2
    PlaylistPosition pos{0, E_FAIL};
    EXPECT_HR(S_OK, p->SetPosition(&pos, POSITION_RESULT));
    EXPECT_EQ(Index(p.Get()), 2);
    EXPECT_EQ(Current(p.Get()).result, E_FAIL);
    pos.playResult = S_OK;
    EXPECT_HR(S_OK, p->SetPosition(&pos, POSITION_MOVE)); // to index 0, its result along
    EXPECT_EQ(Index(p.Get()), 0);
    EXPECT_EQ(Current(p.Get()).result, E_FAIL);
    for (LONG outside : {4, -1}) {
        pos.index = outside;
        EXPECT_HR(S_OK, p->SetPosition(&pos, POSITION_MOVE));
    }
    EXPECT_EQ(Index(p.Get()), 0);
    EXPECT_EQ(Names(p.Get()), L"c a b d ");

    // A later index: the entry lands exactly there, still current; both bits at once.
    EXPECT_HR(S_OK, p->Next()); // a
    pos = {3, HRESULT(0x80070002)};
    EXPECT_HR(S_OK, p->SetPosition(&pos, POSITION_MOVE | POSITION_RESULT));
    EXPECT_EQ(Index(p.Get()), 3);
    const Entry a = Current(p.Get());
    EXPECT_EQ(a.path, L"a");
    EXPECT_EQ(a.result, HRESULT(0x80070002));
    EXPECT_EQ(Names(p.Get()), L"c b d a ");
}

TEST(PlaylistObject, ItemFieldsByMask)
{
    const Entry base = Distinct(0, L"base"), other = Distinct(1, L"other");
    auto p = NewPlaylist();
    PlaybackItem item = In(base);
    item.validMask = 0; // Insert takes every field regardless
    ASSERT_HR(S_OK, p->Insert(&item, -1));
    EXPECT_EQ(Record(Current(p.Get())), Record(Taken(base, false)));

    // Each bit replaces its own field group (byte ranges of PlaybackItem) and no other;
    // bits beyond the 18 are ignored. The path (bit 0x10) is compared separately.
    const std::pair<size_t, size_t> groups[18] = {{0, 16}, {16, 16}, {32, 16}, {48, 8}, {56, 0}, {64, 4},
                                                  {68, 4}, {72, 4}, {76, 4}, {80, 4}, {84, 4}, {88, 1},
                                                  {89, 1}, {90, 1}, {91, 1}, {92, 1}, {93, 1}, {94, 1}};
    for (int bit = -1; bit < 18; ++bit) {
        item = In(base);
        ASSERT_HR(S_OK, p->SetCurrentItem(&item));
        item = In(other);
        item.validMask = bit < 0 ? 0 : (1u << bit) | 0xfffc0000u;
        ASSERT_HR(S_OK, p->SetCurrentItem(&item));
        Entry expected = Taken(base, false);
        if (bit >= 0) {
            const Entry source = Taken(other);
            std::memcpy(reinterpret_cast<BYTE *>(&expected.item) + groups[bit].first,
                        reinterpret_cast<const BYTE *>(&source.item) + groups[bit].first, groups[bit].second);
        }
        if (bit == 4)
            expected.path = other.path;
        EXPECT_EQ(Record(Current(p.Get())), Record(expected)) << "mask bit " << bit;
    }
    // The play result is no part of the item; a null name with bit 0x10 empties the path.
    PlaylistPosition pos{0, E_ACCESSDENIED};
    ASSERT_HR(S_OK, p->SetPosition(&pos, POSITION_RESULT));
    item.validMask = ITEM_ALL;
    item.fileName = nullptr;
    ASSERT_HR(S_OK, p->SetCurrentItem(&item));
    EXPECT_EQ(Current(p.Get()).result, E_ACCESSDENIED);
    EXPECT_EQ(Current(p.Get()).path, L"");
}

// ---- the file format ------------------------------------------------------------------

TEST(PlaylistFile, SavedBytesFollowTheLayout)
{
    TempDir dir;
    const std::wstring path = dir / L"one.plst";
    Entry e = Distinct(0, L"C:\\v\\a.avi"); // 10 characters; some flags given as 7
    auto p = NewPlaylist();
    PlaybackItem item = In(e);
    ASSERT_HR(S_OK, p->Insert(&item, -1));
    PlaylistPosition pos{0, e.result};
    ASSERT_HR(S_OK, p->SetPosition(&pos, POSITION_RESULT));
    ASSERT_HR(S_OK, p->Save(path.c_str(), FALSE));
    const Bytes expected = Concat({Header(1), Record(Taken(e))});
    ASSERT_EQ(expected.size(), 141u);
    EXPECT_EQ(ReadBytes(path), expected);
    EXPECT_EQ(dir.Names().size(), 1u) << "temporary file left behind";

    // An empty path: n = 0 and no path bytes; the name comes back as a lone terminator.
    item.fileName = nullptr;
    ASSERT_HR(S_OK, p->SetCurrentItem(&item));
    ASSERT_HR(S_OK, p->Save(path.c_str(), FALSE));
    e.path.clear();
    EXPECT_EQ(ReadBytes(path), Concat({Header(1), Record(Taken(e))}));
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
    const std::wstring path = dir / L"two.plst";
    const Entry first = Distinct(1, L"\\\\server\\share\\clip.mpg"), second = Distinct(2, L"");
    // Reserved bytes are skipped; bytes after the last entry are ignored.
    ASSERT_TRUE(WriteBytes(path, Concat({Header(2), Record(first, 0x5a5a5a5a), Record(second), Bytes(37, 0xEE)})));
    auto p = NewPlaylist();
    ASSERT_HR(S_OK, p->Load(path.c_str()));
    ASSERT_EQ(Count(p.Get()), 2);
    EXPECT_EQ(Index(p.Get()), 0);
    EXPECT_EQ(Record(Current(p.Get())), Record(Taken(first)));
    EXPECT_HR(S_OK, p->Next());
    EXPECT_EQ(Record(Current(p.Get())), Record(Taken(second)));

    // Saving it back writes the same records, flags as 1, without the trailing bytes.
    ASSERT_HR(S_OK, p->Save(nullptr, FALSE));
    EXPECT_EQ(ReadBytes(path), Concat({Header(2), Record(Taken(first)), Record(Taken(second))}));
}

TEST(PlaylistFile, HeaderAndCountCases)
{
    TempDir dir;
    auto p = NewPlaylist();
    const std::wstring path = dir / L"h.plst", good = dir / L"good.plst";
    const Entry e = Distinct(0, L"a");
    const Bytes one = Record(e);
    const PlaybackItem item = In(e);

    // Bad magic, version 2, a header cut short: refused, empty, and the name of the
    // earlier good load forgotten.
    Bytes badMagic = Concat({Header(1), one}), shortHeader = Header(1);
    badMagic[15] ^= 1;
    shortHeader.pop_back();
    for (const Bytes &bytes : {badMagic, Concat({Header(1, 2), one}), shortHeader}) {
        ASSERT_TRUE(WriteBytes(good, Concat({Header(1), one})));
        ASSERT_HR(S_OK, p->Load(good.c_str()));
        ASSERT_TRUE(WriteBytes(path, bytes));
        EXPECT_HR(STG_E_INVALIDHEADER, p->Load(path.c_str()));
        EXPECT_EQ(Count(p.Get()), 0);
        ASSERT_HR(S_OK, p->Insert(&item, -1));
        EXPECT_HR(E_INVALIDARG, p->Save(nullptr, FALSE));
    }
    // A count of 0 or below loads as empty, and the name is remembered.
    for (int32_t count : {0, -5}) {
        ASSERT_TRUE(WriteBytes(path, Concat({Header(count), one})));
        EXPECT_HR(S_OK, p->Load(path.c_str()));
        EXPECT_EQ(Count(p.Get()), 0);
        EXPECT_HR(E_UNEXPECTED, p->Save(nullptr, FALSE));
    }
    ASSERT_HR(S_OK, p->Insert(&item, -1));
    EXPECT_HR(S_OK, p->Save(nullptr, FALSE));
    EXPECT_EQ(ReadBytes(path), Concat({Header(1), Record(Taken(e, false))}));
    EXPECT_HR(E_INVALIDARG, PlaylistOf({L"never loaded"})->Save(nullptr, FALSE));
}

TEST(PlaylistFile, OpenFailuresUnderRealConditions)
{
    TempDir dir;
    auto p = PlaylistOf({L"a", L"b"});
    const std::wstring missingFolder = dir / L"no such folder\\x.plst", path = dir / L"p.plst";
    EXPECT_HR(STG_E_FILENOTFOUND, NewPlaylist()->Load((dir / L"missing.plst").c_str()));
    EXPECT_HR(E_FAIL, NewPlaylist()->Load(missingFolder.c_str()));
    EXPECT_HR(STG_E_PATHNOTFOUND, p->Save(missingFolder.c_str(), FALSE));

    // failIfExists: the file stays as it was.
    const Bytes original = Concat({Header(1), Record(Distinct(0, L"keep"))});
    ASSERT_TRUE(WriteBytes(path, original));
    EXPECT_HR(STG_E_FILEALREADYEXISTS, p->Save(path.c_str(), TRUE));
    EXPECT_EQ(ReadBytes(path), original);

    // Save(null) needs the remembered file to exist still.
    ASSERT_HR(S_OK, p->Save((dir / L"new.plst").c_str(), TRUE));
    ASSERT_HR(S_OK, p->Load((dir / L"new.plst").c_str()));
    ASSERT_TRUE(DeleteFileW((dir / L"new.plst").c_str()));
    EXPECT_HR(STG_E_FILENOTFOUND, p->Save(nullptr, FALSE));
    EXPECT_EQ(GetFileAttributesW((dir / L"new.plst").c_str()), INVALID_FILE_ATTRIBUTES);

    // Another program holds the file open without sharing.
    {
        FileHolder holder(path);
        ASSERT_TRUE(holder.held()) << "hold_file.exe did not take the file";
        EXPECT_HR(STG_E_SHAREVIOLATION, p->Save(path.c_str(), FALSE));
        EXPECT_HR(STG_E_SHAREVIOLATION, NewPlaylist()->Load(path.c_str()));
    }
    EXPECT_EQ(ReadBytes(path), original);
    EXPECT_EQ(dir.Names().size(), 1u) << "temporary file left behind";

    // Replacing a longer file leaves exactly the new contents; a hidden file stays hidden.
    ASSERT_HR(S_OK, p->Load(path.c_str()));
    ASSERT_TRUE(WriteBytes(path, Concat({Header(1), Record(Distinct(0, L"a much longer path"))})));
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_HIDDEN));
    EXPECT_HR(S_OK, p->Save(nullptr, FALSE));
    EXPECT_EQ(ReadBytes(path), Concat({Header(1), Record(Taken(Distinct(0, L"keep")))}));
    EXPECT_EQ(GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_HIDDEN, DWORD(FILE_ATTRIBUTE_HIDDEN));
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Run by test_full_disk.sh, which mounts a 64 KiB file system as drive FW_FULL_DISK_DRIVE.
TEST(FullDisk, FailedSaveKeepsTheOldFile)
{
    const char *drive = std::getenv("FW_FULL_DISK_DRIVE");
    if (!drive)
        GTEST_SKIP() << "needs test_full_disk.sh (a tiny tmpfs mounted as a Wine drive)";
    TempDir dir(std::wstring(drive, drive + std::strlen(drive)) + L"\\");
    const std::wstring path = dir / L"keep.plst";
    ASSERT_HR(S_OK, PlaylistOf({L"C:\\one.avi", L"C:\\two.avi"})->Save(path.c_str(), FALSE));
    const Bytes original = ReadBytes(path);
    ASSERT_EQ(original.size(), 22u + 2 * (99 + 20));

    {
        UniqueHandle f(CreateFileW((dir / L"filler").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        const Bytes block(4096, 0xAB);
        DWORD written = 0, error = 0;
        for (int i = 0; i < 1024 && !error; ++i)
            error = WriteFile(f.get(), block.data(), DWORD(block.size()), &written, nullptr) ? 0 : GetLastError();
        ASSERT_EQ(error, DWORD(ERROR_DISK_FULL)) << "the disk did not fill up";
    }
    // A big playlist over the old file, with its name and through the remembered one.
    auto big = NewPlaylist();
    const Entry e = Distinct(0, std::wstring(200, L'v'));
    const PlaybackItem item = In(e);
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < 300; ++i)
            ASSERT_HR(S_OK, big->Insert(&item, -1));
        const HRESULT hr = round == 0 ? big->Save(path.c_str(), FALSE) : big->Save(nullptr, FALSE);
        EXPECT_TRUE(FAILED(hr)) << Hex(hr);
        EXPECT_EQ(ReadBytes(path), original);
        ASSERT_HR(S_OK, big->Load(path.c_str()));
    }
    // A new file that does not fit is not left behind half written; nor is anything else.
    EXPECT_TRUE(FAILED(big->Save((dir / L"new.plst").c_str(), TRUE)));
    std::vector<std::wstring> names = dir.Names();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{L"filler", L"keep.plst"}));
}

// ---- damaged files ---------------------------------------------------------------------

namespace {

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
    LONG whole = 0;
    for (size_t offset = 22; whole < GetAt<int32_t>(bytes, 18) && bytes.size() - offset >= 99; ++whole) {
        const int32_t n = GetAt<int32_t>(bytes, offset + 56);
        const size_t length = n > 0 ? size_t(uint32_t(n)) : 0, tail = offset + 60 + 2 * length;
        if (bytes.size() - offset < 99 + 2 * uint64_t(length))
            break;
        if (whole == count)
            return testing::AssertionFailure() << "only " << count << " entries loaded";
        const Entry e = Current(p);
        // The name handed out ends at its first zero unit, wherever the file put one.
        const std::wstring name =
            std::wstring(reinterpret_cast<const wchar_t *>(bytes.data() + offset + 60), length).c_str();
        if (e.path != name || e.result != GetAt<int32_t>(bytes, tail + 35) ||
            e.item.loops != GetAt<int32_t>(bytes, tail + 4) || e.item.blockMonitorPower != (bytes[tail + 34] ? 1 : 0))
            return testing::AssertionFailure() << "entry " << whole << " differs";
        (void)p->Next();
        offset = tail + 39;
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

    // The hostile extremes: a huge count in a 30-byte file, huge and negative path
    // lengths. None may make the reader take memory the file does not justify; Wine keeps
    // no peak memory figures, so the time it would take to fill gigabytes is the witness.
    Bytes hugeCount = Header(INT32_MAX);
    hugeCount.resize(30, 0x41);
    ASSERT_TRUE(check(hugeCount, "count", INT32_MAX));
    for (int32_t n : {INT32_MAX, INT32_MIN, 0x40000000, 0x40000001, -1, 11, 12}) {
        Bytes b = one;
        PutAt(b, 22 + 56, n);
        ASSERT_TRUE(check(b, "path length", uint32_t(n)));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << "hostile lengths took long";

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
        if (i % 5 == 0) { // several bit flips
            for (size_t k = 0, flips = 1 + below(4); k < flips; ++k)
                b[below(b.size())] ^= BYTE(1 << below(8));
        } else if (i % 5 == 1) { // a special 32-bit value anywhere
            PutAt(b, below(b.size() - 3), special[below(std::size(special))]);
        } else if (i % 5 == 2) { // a range removed or repeated
            const size_t from = below(b.size()), len = below(b.size() - from) + 1;
            if (random() % 2)
                b.erase(b.begin() + from, b.begin() + from + len);
            else
                b.insert(b.begin() + from, b.begin() + from, b.begin() + from + len);
        } else { // a good header and then anything, or anything at all
            b = i % 5 == 3 ? Header(int32_t(below(8)) - 1) : Bytes();
            for (size_t k = 0, n = below(i % 5 == 3 ? 400 : 64); k < n; ++k)
                b.push_back(BYTE(random()));
        }
        ASSERT_TRUE(check(b, "random", i));
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%d damaged files loaded in %.2f s\n", cases, seconds);
}
