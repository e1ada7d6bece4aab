// The .plst format against bytes built here: save, load, open failures under real
// conditions, a full disk and damaged files.
#include "playlist_test.h"

// ---- the file format ------------------------------------------------------------------

TEST_F(PlaylistFile, SaveAndLoadFollowTheLayout)
{
    const Entry e = Distinct(0, L"C:\\v\\a.avi"); // 10 characters; some flags given as 7
    ASSERT_HR(S_OK, Append(p.Get(), e));
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
TEST_F(PlaylistFile, RememberedName)
{
    const Entry e = Distinct(0, L"a");
    EXPECT_HR(E_INVALIDARG, PlaylistOf({L"never loaded"})->Save(nullptr, FALSE));
    // A negative count loads as empty, and the name is kept.
    ASSERT_TRUE(WriteBytes(path, Concat({Header(-5), Record(e)})));
    EXPECT_HR(S_OK, p->Load(path.c_str()));
    EXPECT_EQ(Count(p.Get()), 0);
    ASSERT_HR(S_OK, Append(p.Get(), e));
    EXPECT_HR(S_OK, p->Save(nullptr, FALSE));
    EXPECT_EQ(ReadBytes(path), Concat({Header(1), Record(Taken(e, false))}));
    // A refused header (version 2) empties the playlist and forgets the name.
    ASSERT_TRUE(WriteBytes(path, Concat({Header(1, 2), Record(e)})));
    EXPECT_HR(STG_E_INVALIDHEADER, p->Load(path.c_str()));
    EXPECT_EQ(Count(p.Get()), 0);
    ASSERT_HR(S_OK, Append(p.Get(), e));
    EXPECT_HR(E_INVALIDARG, p->Save(nullptr, FALSE));
    // The remembered file must exist still.
    ASSERT_HR(S_OK, p->Save(path.c_str(), FALSE));
    ASSERT_HR(S_OK, p->Load(path.c_str()));
    ASSERT_TRUE(DeleteFileW(path.c_str()));
    EXPECT_HR(STG_E_FILENOTFOUND, p->Save(nullptr, FALSE));
    EXPECT_TRUE(dir.Names().empty());
}

TEST_F(PlaylistFile, OpenFailuresUnderRealConditions)
{
    p = PlaylistOf({L"a", L"b"});
    const std::wstring missingFolder = dir / L"no such folder\\x.plst";
    EXPECT_HR(STG_E_FILENOTFOUND, NewPlaylist()->Load((dir / L"missing.plst").c_str()));
    EXPECT_HR(E_FAIL, NewPlaylist()->Load(missingFolder.c_str()));
    EXPECT_HR(STG_E_PATHNOTFOUND, p->Save(missingFolder.c_str(), FALSE));

    // failIfExists: the file stays as it was.
    const Bytes original = Concat({Header(1), Record(Distinct(0, L"keep"))});
    ASSERT_TRUE(WriteBytes(path, original));
    EXPECT_HR(STG_E_FILEALREADYEXISTS, p->Save(path.c_str(), TRUE));
    EXPECT_EQ(ReadBytes(path), original);

    // Someone else holds the file open without sharing (the system checks sharing per
    // handle, whichever process holds it).
    {
        const UniqueHandle held(
            CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held);
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
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < 300; ++i)
            ASSERT_HR(S_OK, Append(big.Get(), e));
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
TEST_F(PlaylistFile, DamagedFilesLoadSafely)
{
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
