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
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
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

namespace {

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
    PutAt(b, 16, version), PutAt(b, 18, count);
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
Entry Taken(Entry e, bool keepResult = true)
{
    for (int f = 0; f < 7; ++f)
        (&e.item.scaleToScreen)[f] = (&e.item.scaleToScreen)[f] ? 1 : 0;
    e.result = keepResult ? e.result : 0;
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
LONG Count(IHCYFWPlaylist *p) { LONG n = -1; EXPECT_HR(S_OK, p->GetCount(&n)); return n; }
LONG Index(IHCYFWPlaylist *p) { PlaylistPosition pos{-1, 0}; EXPECT_HR(S_OK, p->GetPosition(&pos)); return pos.index; }

// The current entry as GetCurrentItem and GetPosition report it; the name must be a
// task-allocator block that holds it (a file's name may end before its stored length).
Entry Current(IHCYFWPlaylist *p)
{
    Entry e;
    PlaylistPosition pos{};
    EXPECT_HR(S_OK, p->GetCurrentItem(&e.item));
    EXPECT_HR(S_OK, p->GetPosition(&pos));
    EXPECT_EQ(e.item.validMask, DWORD(ITEM_ALL));
    e.path = e.item.fileName ? e.item.fileName : L"<null>";
    ComPtr<IMalloc> malloc;
    if (e.item.fileName && SUCCEEDED(CoGetMalloc(1, &malloc)))
        EXPECT_GE(malloc->GetSize(e.item.fileName) + 1, (e.path.size() + 1) * sizeof(WCHAR) + 1); // -1: not its
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

// The names in order, the current one in brackets; the current entry stays current.
std::wstring State(IHCYFWPlaylist *p)
{
    const LONG n = Count(p), current = n ? Index(p) : -1;
    std::wstring all;
    (void)p->First();
    for (LONG i = 0; i < n; ++i, (void)p->Next()) // n steps wrap round to the first again
        all += (i ? L" " : L"") + (i == current ? L"[" + Current(p).path + L"]" : Current(p).path);
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

bool WriteBytes(const std::wstring &path, const Bytes &bytes)
{
    std::ofstream f(fs::path(path), std::ios::binary | std::ios::trunc);
    return f.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size())).flush().good();
}

Bytes ReadBytes(const std::wstring &path)
{
    std::ifstream f(fs::path(path), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
}

// Another process (hold_file.exe, next to this program) holding a file open unshared.
class FileHolder {
public:
    explicit FileHolder(const std::wstring &path)
    {
        wchar_t exe[MAX_PATH];
        GetModuleFileNameW(nullptr, exe, MAX_PATH);
        const std::wstring helper = fs::path(exe).replace_filename(L"hold_file.exe").wstring();
        std::wstring command = L"\"" + helper + L"\" \"" + path + L"\"";
        STARTUPINFOW si{sizeof si};
        PROCESS_INFORMATION pi{};
        if (!CreateProcessW(helper.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
            return;
        process_.reset(pi.hProcess);
        CloseHandle(pi.hThread);
        // Held once an open by this process meets a sharing violation.
        for (int i = 0; i < 150 && !held_ && WaitForSingleObject(process_.get(), 100) == WAIT_TIMEOUT; ++i)
            held_ = !UniqueHandle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                              OPEN_EXISTING, 0, nullptr)) &&
                    GetLastError() == ERROR_SHARING_VIOLATION;
    }
    ~FileHolder()
    {
        if (process_)
            TerminateProcess(process_.get(), 0), WaitForSingleObject(process_.get(), 10000);
    }
    bool held() const { return held_; }

private:
    UniqueHandle process_;
    bool held_ = false;
};

} // namespace

// ---- the object --------------------------------------------------------------------

// (The class factories and the library's unloading are the activation tests' part.)
TEST(PlaylistObject, InterfacesAndCounts)
{
    const LONG before = LibraryObjectCount();
    ComPtr<IHCYFWPlaylist> p = NewPlaylist();
    ComPtr<IUnknown> unknown;
    EXPECT_HR(E_POINTER, p->QueryInterface(IID_IUnknown, nullptr));
    EXPECT_HR(S_OK, p.As(&unknown));
    EXPECT_EQ(static_cast<void *>(unknown.Get()), static_cast<void *>(p.Get()));
    EXPECT_EQ(LibraryObjectCount(), before + 2);
    for (const IID *refused : {&IID_IClassFactory, &IID_IHCYFramewheel, &IID_IMarshal}) {
        void *out = p.Get();
        EXPECT_HR(E_NOINTERFACE, p->QueryInterface(*refused, &out));
        EXPECT_EQ(out, nullptr);
    }
    EXPECT_EQ(p->AddRef(), 3u);
    EXPECT_EQ(p->Release(), 2u);
    p.Reset(), unknown.Reset();
    EXPECT_EQ(LibraryObjectCount(), before);
}

TEST(PlaylistObject, EmptyPlaylistRefusesEntryMethods)
{
    auto p = NewPlaylist();
    EXPECT_EQ(Count(p.Get()), 0);
    PlaylistPosition pos{0, 0};
    PlaybackItem item = DefaultPlaybackItem();
    for (HRESULT hr : {p->Next(), p->Previous(), p->First(), p->Remove(-1),
                       p->SetPosition(&pos, POSITION_MOVE | POSITION_RESULT), p->GetPosition(&pos),
                       p->SetCurrentItem(&item), p->GetCurrentItem(&item), p->Save(nullptr, FALSE)})
        EXPECT_HR(E_UNEXPECTED, hr);
    EXPECT_HR(E_INVALIDARG, p->Remove(-2));
}

TEST(PlaylistObject, NavigationInsertRemove)
{
    auto p = PlaylistOf({L"a", L"b", L"c"});
    EXPECT_EQ(State(p.Get()), L"a b [c]");
    EXPECT_HR(S_OK, p->Next()); // wraps to the first
    EXPECT_EQ(State(p.Get()), L"[a] b c");
    EXPECT_HR(S_OK, p->Previous()); // and back to the last
    EXPECT_EQ(State(p.Get()), L"a b [c]");

    // Appending (count + 5) and inserting before an index, an empty path too; the new
    // entry is current.
    const Entry e = Distinct(0, L"x");
    PlaybackItem item = In(e);
    const std::tuple<const wchar_t *, LONG, const wchar_t *> inserts[] = {
        {L"end", 3 + 5, L"a b c [end]"}, {L"front", 0, L"[front] a b c end"}, {nullptr, 2, L"front a [] b c end"}};
    for (auto [name, before, state] : inserts) {
        item.fileName = const_cast<WCHAR *>(name);
        EXPECT_HR(S_OK, p->Insert(&item, before));
        EXPECT_EQ(State(p.Get()), state);
    }

    EXPECT_HR(E_INVALIDARG, p->Remove(6));
    EXPECT_HR(E_INVALIDARG, p->Remove(-2));
    EXPECT_HR(S_OK, p->Remove(-1)); // the next entry takes the index
    EXPECT_EQ(State(p.Get()), L"front a [b] c end");
    EXPECT_HR(S_OK, p->Remove(0)); // before the current one: the index follows it
    EXPECT_EQ(State(p.Get()), L"a [b] c end");
    EXPECT_HR(S_OK, p->Remove(3)); // after it: nothing changes
    EXPECT_EQ(State(p.Get()), L"a [b] c");
    EXPECT_HR(S_OK, p->Next());
    EXPECT_HR(S_OK, p->Remove(2)); // the current last entry: the first becomes current
    EXPECT_EQ(State(p.Get()), L"[a] b");
    EXPECT_HR(S_OK, p->Remove(-1));
    EXPECT_HR(S_OK, p->Remove(-1));
    EXPECT_EQ(Count(p.Get()), 0);
}

TEST(PlaylistObject, SetPositionMovesAndStoresResults)
{
    auto p = PlaylistOf({L"a", L"b", L"c", L"d"});
    EXPECT_HR(S_OK, p->Previous());
    PlaylistPosition pos{0, E_FAIL};
    EXPECT_HR(S_OK, p->SetPosition(&pos, POSITION_RESULT));
    EXPECT_EQ(State(p.Get()), L"a b [c] d");
    EXPECT_EQ(Current(p.Get()).result, E_FAIL);
    pos.playResult = S_OK;
    EXPECT_HR(S_OK, p->SetPosition(&pos, POSITION_MOVE)); // to index 0, its result along
    EXPECT_EQ(State(p.Get()), L"[c] a b d");
    EXPECT_EQ(Current(p.Get()).result, E_FAIL);
    for (LONG outside : {4, -1}) {
        pos.index = outside;
        EXPECT_HR(S_OK, p->SetPosition(&pos, POSITION_MOVE));
    }
    EXPECT_EQ(State(p.Get()), L"[c] a b d");

    // A later index: the entry lands exactly there, still current; both bits at once.
    EXPECT_HR(S_OK, p->Next());
    pos = {3, HRESULT(0x80070002)};
    EXPECT_HR(S_OK, p->SetPosition(&pos, POSITION_MOVE | POSITION_RESULT));
    EXPECT_EQ(State(p.Get()), L"c b d [a]");
    EXPECT_EQ(Current(p.Get()).result, HRESULT(0x80070002));
}

TEST(PlaylistObject, ItemFieldsByMask)
{
    const Entry base = Distinct(0, L"base"), other = Distinct(1, L"other");
    auto p = NewPlaylist();
    PlaybackItem item = In(base);
    item.validMask = 0; // Insert takes every field regardless (bit -1 below sees them)
    ASSERT_HR(S_OK, p->Insert(&item, -1));
    // Each bit replaces its own field group (byte ranges of PlaybackItem) and no other;
    // bits beyond the 18 are ignored. The path (bit 0x10) is compared separately.
#define GROUP(first, size) {offsetof(PlaybackItem, first), size}
    std::vector<std::pair<size_t, size_t>> groups = {
        GROUP(xPosition, 16), GROUP(bounceStep, 16), GROUP(windowLeft, 16), GROUP(position, 8),
        GROUP(fileName, 0),   GROUP(parentWindow, 4), GROUP(loops, 4),    GROUP(volume, 4),
        GROUP(style, 4),      GROUP(scale, 4),      GROUP(rate, 4)};
    for (size_t flag = 0; flag < 7; ++flag)
        groups.push_back({offsetof(PlaybackItem, scaleToScreen) + flag, 1});
    for (int bit = -1; bit < 18; ++bit) {
        item = In(base);
        if (bit >= 0)
            ASSERT_HR(S_OK, p->SetCurrentItem(&item));
        item = In(other);
        item.validMask = bit < 0 ? 0 : (1u << bit) | 0xfffc0000u;
        ASSERT_HR(S_OK, p->SetCurrentItem(&item));
        Entry expected = Taken(base, false);
        const Entry source = Taken(other);
        if (bit >= 0)
            std::memcpy(reinterpret_cast<BYTE *>(&expected.item) + groups[bit].first,
                        reinterpret_cast<const BYTE *>(&source.item) + groups[bit].first, groups[bit].second);
        expected.path = bit == 4 ? other.path : base.path;
        EXPECT_EQ(Record(Current(p.Get())), Record(expected)) << "mask bit " << bit;
    }
    // The play result is no part of the item; a null name with bit 0x10 empties the path.
    PlaylistPosition pos{0, E_ACCESSDENIED};
    ASSERT_HR(S_OK, p->SetPosition(&pos, POSITION_RESULT));
    item.validMask = ITEM_ALL;
    item.fileName = nullptr;
    ASSERT_HR(S_OK, p->SetCurrentItem(&item));
    const Entry now = Current(p.Get());
    EXPECT_EQ(now.result, E_ACCESSDENIED);
    EXPECT_EQ(now.path, L"");
}

// ---- the file format ------------------------------------------------------------------

TEST(PlaylistFile, SaveAndLoadFollowTheLayout)
{
    TempDir dir;
    const std::wstring path = dir / L"one.plst";
    const Entry e = Distinct(0, L"C:\\v\\a.avi"); // 10 characters; some flags given as 7
    auto p = NewPlaylist();
    const PlaybackItem item = In(e);
    ASSERT_HR(S_OK, p->Insert(&item, -1));
    PlaylistPosition pos{0, e.result};
    ASSERT_HR(S_OK, p->SetPosition(&pos, POSITION_RESULT));
    ASSERT_HR(S_OK, p->Save(path.c_str(), FALSE));
    const Bytes expected = Concat({Header(1), Record(Taken(e))});
    ASSERT_EQ(expected.size(), 141u);
    EXPECT_EQ(ReadBytes(path), expected);
    EXPECT_EQ(dir.Names().size(), 1u) << "temporary file left behind";

    // Every field read back, an empty path with no path bytes among them; reserved bytes
    // are skipped and bytes after the last entry ignored. Saving writes the records back,
    // flags as 1, without the trailing bytes.
    const Entry first = Distinct(1, L"\\\\server\\share\\clip.mpg"), second = Distinct(2, L"");
    ASSERT_TRUE(WriteBytes(path, Concat({Header(2), Record(first, 0x5a5a5a5a), Record(second), Bytes(37, 0xEE)})));
    ASSERT_HR(S_OK, p->Load(path.c_str()));
    ASSERT_EQ(Count(p.Get()), 2);
    EXPECT_EQ(Index(p.Get()), 0);
    EXPECT_EQ(Record(Current(p.Get())), Record(Taken(first)));
    EXPECT_HR(S_OK, p->Next());
    EXPECT_EQ(Record(Current(p.Get())), Record(Taken(second)));
    ASSERT_HR(S_OK, p->Save(nullptr, FALSE));
    EXPECT_EQ(ReadBytes(path), Concat({Header(2), Record(Taken(first)), Record(Taken(second))}));
}

// Save(null) writes to the name of the last load. (Every refused header and count is
// checked by DamagedFilesLoadSafely.)
TEST(PlaylistFile, RememberedName)
{
    TempDir dir;
    const std::wstring path = dir / L"h.plst";
    const Entry e = Distinct(0, L"a");
    const PlaybackItem item = In(e);
    auto p = NewPlaylist();
    EXPECT_HR(E_INVALIDARG, PlaylistOf({L"never loaded"})->Save(nullptr, FALSE));
    // A negative count loads as empty, and the name is kept.
    ASSERT_TRUE(WriteBytes(path, Concat({Header(-5), Record(e)})));
    EXPECT_HR(S_OK, p->Load(path.c_str()));
    EXPECT_EQ(Count(p.Get()), 0);
    ASSERT_HR(S_OK, p->Insert(&item, -1));
    EXPECT_HR(S_OK, p->Save(nullptr, FALSE));
    EXPECT_EQ(ReadBytes(path), Concat({Header(1), Record(Taken(e, false))}));
    // A refused header (version 2) empties the playlist and forgets the name.
    ASSERT_TRUE(WriteBytes(path, Concat({Header(1, 2), Record(e)})));
    EXPECT_HR(STG_E_INVALIDHEADER, p->Load(path.c_str()));
    EXPECT_EQ(Count(p.Get()), 0);
    ASSERT_HR(S_OK, p->Insert(&item, -1));
    EXPECT_HR(E_INVALIDARG, p->Save(nullptr, FALSE));
    // The remembered file must exist still.
    ASSERT_HR(S_OK, p->Save(path.c_str(), FALSE));
    ASSERT_HR(S_OK, p->Load(path.c_str()));
    ASSERT_TRUE(DeleteFileW(path.c_str()));
    EXPECT_HR(STG_E_FILENOTFOUND, p->Save(nullptr, FALSE));
    EXPECT_TRUE(dir.Names().empty());
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
    TempDir dir(std::string(drive) + "\\");
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
        const HRESULT hr = big->Save(round == 0 ? path.c_str() : nullptr, FALSE);
        EXPECT_TRUE(FAILED(hr)) << HrText(hr);
        EXPECT_EQ(ReadBytes(path), original);
        ASSERT_HR(S_OK, big->Load(path.c_str()));
    }
    // A new file that does not fit is not left behind half written; nor is anything else.
    EXPECT_TRUE(FAILED(big->Save((dir / L"new.plst").c_str(), TRUE)));
    EXPECT_EQ(dir.Names(), (std::vector<std::wstring>{L"filler", L"keep.plst"}));
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
            return testing::AssertionFailure() << "bad header: " << HrText(hr) << ", " << count << " entries";
        return testing::AssertionSuccess();
    }
    if (hr != S_OK)
        return testing::AssertionFailure() << "Load gave " << HrText(hr);
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
        b = one;
        PutAt(b, 18, n < 0 ? n : -n); // the value made negative, as the entry count
        ASSERT_TRUE(check(b, "count", uint32_t(n)));
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
        } else if (i % 5 == 2) { // a range repeated (a removed range is a cut's cousin)
            const size_t from = below(b.size()), len = below(b.size() - from) + 1;
            const Bytes range(b.begin() + from, b.begin() + from + len);
            b.insert(b.begin() + from, range.begin(), range.end());
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
