// VideoCache under Wine: N: is a network drive (see cache_test.sh), the install folder a
// scratch folder below the temporary folder.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "settings.h"
#include "video_cache.h"

namespace {

constexpr LONGLONG kDay = 864000000000LL;

// A FILETIME as one number of 100 ns units.
LONGLONG Value(const FILETIME &t) { return LONGLONG((ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime); }
LONGLONG Now()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return Value(now);
}
LONGLONG WriteTimeOf(const std::wstring &path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    return Value(data.ftLastWriteTime);
}
LONGLONG SizeOf(const std::wstring &path) { std::error_code e; return LONGLONG(std::filesystem::file_size(path, e)); }
bool Exists(const std::wstring &path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

UniqueHandle Open(const std::wstring &path, DWORD access, DWORD share, DWORD creation)
{
    return UniqueHandle(CreateFileW(path.c_str(), access, share, nullptr, creation, 0, nullptr));
}

// Text, or a sparse file of size bytes that ends in a marker.
void WriteFileText(const std::wstring &path, const std::string &text, LONGLONG size = 0)
{
    const UniqueHandle file = Open(path, GENERIC_WRITE, 0, CREATE_ALWAYS);
    EXPECT_TRUE(file) << "cannot write " << path;
    LARGE_INTEGER at{.QuadPart = size ? size - LONGLONG(text.size()) : 0};
    DWORD written = 0;
    SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN);
    WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

std::string ReadFileText(const std::wstring &path)
{
    const UniqueHandle file = Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_EXISTING);
    char buffer[256];
    DWORD read = 0;
    const bool ok = file && ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr);
    return ok ? std::string(buffer, read) : "<missing>";
}

// Sets the last-access and last-write times, each unless it is 0.
void SetTimes(const std::wstring &path, LONGLONG accessed, LONGLONG written)
{
    const UniqueHandle file = Open(path, FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    const FILETIME access{DWORD(accessed), DWORD(ULONGLONG(accessed) >> 32)};
    const FILETIME write{DWORD(written), DWORD(ULONGLONG(written) >> 32)};
    EXPECT_TRUE(SetFileTime(file.get(), nullptr, accessed ? &access : nullptr, written ? &write : nullptr)) << path;
}

// Polls until done() holds, for at most a minute (copies run on the cache's own thread).
template <typename Done>
bool WaitFor(Done done)
{
    for (int i = 0; i < 3000; ++i, Sleep(20))
        if (done())
            return true;
    return done();
}

// The files in dir whose names match pattern, as full paths.
std::vector<std::wstring> Files(const std::wstring &dir, const wchar_t *pattern = L"*")
{
    std::vector<std::wstring> files;
    WIN32_FIND_DATAW found;
    HANDLE list = FindFirstFileW((dir + pattern).c_str(), &found);
    if (list == INVALID_HANDLE_VALUE)
        return files;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            files.push_back(dir + found.cFileName);
    } while (FindNextFileW(list, &found));
    FindClose(list);
    return files;
}

class CacheTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TearDown();
        CreateDirectoryW(install_.c_str(), nullptr);
        CreateDirectoryW(cacheDir_.c_str(), nullptr);
        CreateDirectoryW(L"N:\\videos", nullptr);
        settings_.cacheExpirationPeriod = 10;
        settings_.cacheCleanupInterval = 2;
        settings_.cacheLastCleanup = Now();  // no cleanup unless a test wants one
    }
    void TearDown() override // read-only copies too
    {
        std::error_code ignored;
        for (const auto &file : std::filesystem::recursive_directory_iterator(install_, ignored))
            SetFileAttributesW(file.path().c_str(), FILE_ATTRIBUTE_NORMAL);
        std::filesystem::remove_all(install_, ignored);
    }

    // The one copy in the cache folder whose name matches pattern, once it is there.
    std::wstring WaitForCopy(const wchar_t *pattern)
    {
        std::vector<std::wstring> found;
        WaitFor([&] { return (found = Files(cacheDir_, pattern)).size() == 1; });
        return found.size() == 1 ? found[0] : L"<no copy " + std::wstring(pattern) + L">";
    }

    Settings settings_{}; // caching on
    // No backslash at the end: Start adds one.
    const std::wstring install_ = (std::filesystem::temp_directory_path() / L"rh-cache-test").wstring();
    const std::wstring cacheDir_ = install_ + L"\\Cache\\";
};

TEST_F(CacheTest, NetworkVideoIsCopiedInTheBackgroundRefreshedAndKeptWhenTheShareIsGone)
{
    // Wine's drive mapping from cache_test.sh.
    ASSERT_EQ(GetDriveTypeW(L"N:\\"), static_cast<UINT>(DRIVE_REMOTE));
    const std::wstring source = L"N:\\videos\\clip.avi", local = install_ + L"\\local.avi";
    WriteFileText(source, "first");
    SetTimes(source, 0, Now() - kDay);
    WriteFileText(local, "local");
    VideoCache cache;
    cache.Start(install_.c_str(), settings_);
    // The share answers at once; only a loaded machine would make it miss the short wait.
    cache.SetLookupWait(10000);
    // A local file plays in place; a network one from the share until its copy is made.
    EXPECT_EQ(cache.Resolve(local.c_str()), local);
    EXPECT_EQ(cache.Resolve(source.c_str()), source);
    const std::wstring cached = WaitForCopy(L"clip*.avi");
    EXPECT_EQ(Files(cacheDir_).size(), 1u);  // copies are made in order: the local file was not queued
    EXPECT_EQ(ReadFileText(cached), "first");
    EXPECT_EQ(cache.Resolve(source.c_str()), cached);

    // Unchanged source: the copy is played as it is (not rewritten).
    WriteFileText(cached, "stale");
    SetTimes(cached, 0, WriteTimeOf(source));
    EXPECT_EQ(cache.Resolve(source.c_str()), cached);
    EXPECT_EQ(ReadFileText(cached), "stale");

    // A new write time on the source: the source plays while the copy is refreshed, also
    // over a read-only copy, which stays read-only.
    WriteFileText(source, "second");
    SetFileAttributesW(cached.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(cache.Resolve(source.c_str()), source);
    EXPECT_TRUE(WaitFor([&] {
        return ReadFileText(cached) == "second" && (GetFileAttributesW(cached.c_str()) & FILE_ATTRIBUTE_READONLY);
    }));
    EXPECT_EQ(cache.Resolve(source.c_str()), cached);

    // The share is gone: the copy is played unchanged.
    ASSERT_TRUE(DeleteFileW(source.c_str()));
    EXPECT_EQ(cache.Resolve(source.c_str()), cached);
    EXPECT_EQ(ReadFileText(cached), "second");
}

// S: (see cache_test.sh) is a share that stops answering on demand: while N:\slow-on exists,
// a look-up of a name beginning with "slow" takes 10 s there. Resolve runs on the thread
// that answers input, and never waits for it: the bounds below only catch such a wait.
TEST_F(CacheTest, AShareThatDoesNotAnswerHoldsUpNeitherResolveNorStop)
{
    if (GetDriveTypeW(L"S:\\") != DRIVE_REMOTE)
        GTEST_SKIP() << "no slow share: cache_test.sh makes it with FUSE";
    const std::wstring backing = L"N:\\slow-share\\", slowOn = L"N:\\slow-on";
    const std::wstring source = L"S:\\slowclip.avi", fresh = L"S:\\slownew.avi";
    WriteFileText(backing + L"slowclip.avi", "first");
    SetTimes(backing + L"slowclip.avi", 0, Now() - kDay);
    WriteFileText(backing + L"slownew.avi", "new");
    VideoCache cache;
    cache.Start(install_.c_str(), settings_);
    EXPECT_EQ(cache.Resolve(source.c_str()), source);
    const std::wstring cached = WaitForCopy(L"slowclip-*.avi");
    ASSERT_EQ(ReadFileText(cached), "first");

    // The source changes, and the share stops answering.
    WriteFileText(backing + L"slowclip.avi", "second");
    WriteFileText(slowOn, "");
    Sleep(1500);  // what the system knew of the share's names has expired
    const auto timed = [&](const std::wstring &path, std::wstring &played) {
        const DWORD start = GetTickCount();
        played = cache.Resolve(path.c_str());
        return GetTickCount() - start;
    };
    std::wstring played;
    EXPECT_LT(timed(source, played), 5000u);
    EXPECT_EQ(played, cached);  // the copy as it is: the source did not say in time
    // Asked again while that look-up is out: answered without a wait each time (40 waits
    // for the look-up would take 6 s).
    DWORD again = 0;
    for (int i = 0; i < 40; ++i) {
        again += timed(source, played);
        EXPECT_EQ(played, cached);
    }
    EXPECT_LT(again, 3000u);
    // Without a copy the source is played; its look-up waits behind the first one.
    EXPECT_LT(timed(fresh, played), 5000u);
    EXPECT_EQ(played, fresh);
    // The share answers again (the look-ups under way still take their 10 s): the change is
    // found and the copy refreshed after all.
    DeleteFileW(slowOn.c_str());
    EXPECT_TRUE(WaitFor([&] { return ReadFileText(cached) == "second"; }));

    // Stop while a look-up waits: the look-up thread is left to the process's end.
    WriteFileText(slowOn, "");
    Sleep(1500);
    EXPECT_EQ(cache.Resolve(source.c_str()), cached);
    const DWORD stopping = GetTickCount();
    cache.Stop();
    EXPECT_LT(GetTickCount() - stopping, 5000u);
    DeleteFileW(slowOn.c_str());
}

TEST_F(CacheTest, SameNameInTwoFoldersGetsTwoCopies)
{
    CreateDirectoryW(L"N:\\a", nullptr);
    CreateDirectoryW(L"N:\\b", nullptr);
    const std::wstring a = L"N:\\a\\clip.avi", b = L"N:\\b\\clip.avi", byNameAlone = cacheDir_ + L"clip.avi";
    const LONGLONG stamp = Now() - kDay;
    for (auto [path, text] : {std::pair{a, "picture A"}, {b, "picture B"}, {byNameAlone, "picture A"}}) {
        WriteFileText(path, text);
        SetTimes(path, 0, stamp);
    }
    VideoCache cache;
    cache.Start(install_.c_str(), settings_);
    // A copy named by the file name alone could be either's: neither plays it.
    EXPECT_EQ(cache.Resolve(a.c_str()), a);
    EXPECT_EQ(cache.Resolve(b.c_str()), b);
    ASSERT_TRUE(WaitFor([&] { return Files(cacheDir_, L"clip-*.avi").size() == 2; }));
    const std::wstring copyA = cache.Resolve(a.c_str()), copyB = cache.Resolve(b.c_str()); // told apart by contents
    EXPECT_EQ(ReadFileText(copyA), "picture A");
    EXPECT_EQ(ReadFileText(copyB), "picture B");
    for (const std::wstring &copy : {copyA, copyB}) {
        EXPECT_EQ(copy.rfind(cacheDir_, 0), 0u) << copy;
        EXPECT_TRUE(copy.ends_with(L".avi")) << copy;  // the media framework goes by it
    }
    // Another spelling of the same path is the same copy.
    EXPECT_EQ(_wcsicmp(cache.Resolve(L"n:\\A\\CLIP.AVI").c_str(), copyA.c_str()), 0);
}

TEST_F(CacheTest, AnEntryThatClimbsOutOfItsFolderIsCopiedIntoTheCacheOnly)
{
    CreateDirectoryW(L"N:\\videos\\a", nullptr);
    WriteFileText(L"N:\\x.avi", "x");
    const std::wstring entry = L"N:\\videos\\a/../../x.avi";
    VideoCache cache;
    cache.Start(install_.c_str(), settings_);
    EXPECT_EQ(cache.Resolve(entry.c_str()), entry);
    EXPECT_EQ(ReadFileText(WaitForCopy(L"x-*.avi")), "x");
    EXPECT_EQ(Files(cacheDir_).size(), 1u);
    EXPECT_TRUE(Files(install_ + L"\\").empty());
}

// The player gets the copy's path as it is, so it stays below MAX_PATH; where the cache
// folder leaves no room for a name, the source is played.
TEST_F(CacheTest, LongPathsAreKeptWholeAndLongNamesCutToFit)
{
    const std::wstring folder = L"N:\\" + std::wstring(200, L'd'), source = folder + L"\\" + std::wstring(240, L'v') + L".avi";
    CreateDirectoryW(folder.c_str(), nullptr);
    WriteFileText(L"\\\\?\\" + source, "long");
    VideoCache cache;
    cache.Start(install_.c_str(), settings_);
    EXPECT_EQ(cache.Resolve(source.c_str()), source);
    const std::wstring copy = WaitForCopy(L"vvv*.avi");
    EXPECT_EQ(ReadFileText(copy), "long");
    EXPECT_LT(copy.size(), size_t(MAX_PATH)) << copy;
    EXPECT_EQ(cache.Resolve(source.c_str()), copy);
    cache.Stop();

    const std::wstring deep = install_ + L"\\" + std::wstring(MAX_PATH - 20 - install_.size(), L'i');
    CreateDirectoryW(deep.c_str(), nullptr);
    CreateDirectoryW((deep + L"\\Cache").c_str(), nullptr);
    WriteFileText(L"N:\\videos\\clip.avi", "clip");
    VideoCache deepCache;
    deepCache.Start(deep.c_str(), settings_);
    EXPECT_EQ(deepCache.Resolve(L"N:\\videos\\clip.avi"), L"N:\\videos\\clip.avi");
    Sleep(500);  // time for a copy, had one been queued
    deepCache.Stop();
    EXPECT_TRUE(Files(deep + L"\\Cache\\").empty());
}

// Another user's junction in place of the cache folder (a symbolic link here, see
// cache_test.sh) would have this user's run copy into, and delete from, the folder it
// points at: all of it with an expiration of 0 days. The run leaves it alone.
TEST_F(CacheTest, CacheFolderThatIsALinkIsLeftAlone)
{
    const std::wstring victim = L"N:\\victim\\", source = L"N:\\videos\\clip.avi";
    ASSERT_TRUE(GetFileAttributesW(L"N:\\linked\\Cache") & FILE_ATTRIBUTE_REPARSE_POINT) << "see cache_test.sh";
    WriteFileText(victim + L"letter.doc", "mine");
    WriteFileText(source, "clip");
    settings_.cacheLastCleanup = 0;  // a cleanup is due
    settings_.cacheExpirationPeriod = 0;
    VideoCache cache;
    cache.Start(L"N:\\linked", settings_);
    EXPECT_EQ(cache.Resolve(source.c_str()), source);
    Sleep(1000);  // time for a copy and a cleanup, had either started
    cache.Stop();
    EXPECT_EQ(Files(victim), std::vector<std::wstring>{victim + L"letter.doc"});
    EXPECT_EQ(settings_.cacheLastCleanup, 0);
}

// Files of another account in the cache folder (cache_test.sh makes them as root, owned by
// "nobody"): one planted under the very name and write time this user's copy has is not
// played nor replaced, and an old one is not deleted.
TEST_F(CacheTest, FilesOfAnotherAccountAreNeitherPlayedNorDeleted)
{
    const std::wstring foreign = L"N:\\foreign\\", install = L"N:\\install", folder = install + L"\\Cache\\";
    if (Files(foreign).size() != 2)
        GTEST_SKIP() << "no files of another account: cache_test.sh makes them as root";
    CreateDirectoryW(install.c_str(), nullptr);
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring source = L"N:\\videos\\clip.avi";
    WriteFileText(source, "clip");
    SetTimes(source, 0, Now() - kDay);
    std::vector<std::wstring> copies;
    {
        VideoCache cache;
        cache.Start(install.c_str(), settings_);
        cache.Resolve(source.c_str());
        ASSERT_TRUE(WaitFor([&] { return (copies = Files(folder, L"clip-*.avi")).size() == 1; }));
    }
    // Moved, not copied, so that they keep their owner.
    ASSERT_TRUE(DeleteFileW(copies[0].c_str()));
    ASSERT_TRUE(MoveFileW((foreign + L"planted").c_str(), copies[0].c_str()));
    SetTimes(copies[0], 0, WriteTimeOf(source));
    ASSERT_TRUE(MoveFileW((foreign + L"old").c_str(), (folder + L"old.avi").c_str()));
    SetTimes(folder + L"old.avi", Now() - 30 * kDay, 0);

    settings_.cacheLastCleanup = 0;
    VideoCache cache;
    cache.Start(install.c_str(), settings_);
    EXPECT_EQ(cache.Resolve(source.c_str()), source);
    WaitFor([&] { return settings_.cacheLastCleanup != 0; });
    Sleep(1000);  // time for a copy and the cleanup, had either touched them
    cache.Stop();
    EXPECT_EQ(ReadFileText(copies[0]), "planted\n");
    EXPECT_EQ(ReadFileText(folder + L"old.avi"), "old\n");
}

TEST_F(CacheTest, LargeCopyAppearsOnlyWholeAndABrokenOffOneGoesOnInTheNextRun)
{
    const std::wstring medium = L"N:\\videos\\medium.avi", big = L"N:\\videos\\big.avi";
    WriteFileText(medium, "end!", 256LL << 20);
    WriteFileText(big, "end!", 5LL << 30);
    SetTimes(big, 0, Now() - kDay);
    std::wstring copy;
    {
        VideoCache cache;
        cache.Start(install_.c_str(), settings_);
        EXPECT_EQ(cache.Resolve(medium.c_str()), medium);
        // The copy's name is only ever seen holding the whole file.
        copy = WaitForCopy(L"medium-*.avi");
        EXPECT_EQ(SizeOf(copy), 256LL << 20);
        EXPECT_EQ(WriteTimeOf(copy), WriteTimeOf(medium));
        EXPECT_EQ(cache.Resolve(medium.c_str()), copy);
    }
    EXPECT_EQ(Files(cacheDir_), std::vector<std::wstring>{copy});

    // 5 GB takes far longer to copy than these generous bounds, which only catch a wait
    // for the whole copy. The part copied when the run stops is kept.
    const auto partials = [&] { return Files(cacheDir_, L"big-*.part"); };
    LONGLONG kept = 0;
    {
        VideoCache cache;
        cache.Start(install_.c_str(), settings_);
        const DWORD resolving = GetTickCount();
        EXPECT_EQ(cache.Resolve(big.c_str()), big);
        EXPECT_LT(GetTickCount() - resolving, 5000u);
        ASSERT_TRUE(WaitFor([&] { return partials().size() == 1 && SizeOf(partials()[0]) > 0; }));
        const DWORD stopping = GetTickCount();
        cache.Stop();
        EXPECT_LT(GetTickCount() - stopping, 5000u);
    }
    EXPECT_TRUE(Files(cacheDir_, L"big-*.avi").empty());
    ASSERT_EQ(partials().size(), 1u);
    const std::wstring partial = partials()[0];
    kept = SizeOf(partial);
    EXPECT_LT(kept, 5LL << 30);

    // The next run goes on from there: what was copied is not copied again (a mark on the
    // partial copy's first bytes stays), and the copy grows past it.
    {
        const UniqueHandle file = Open(partial, GENERIC_WRITE, 0, OPEN_EXISTING);
        DWORD written = 0;
        ASSERT_TRUE(file && WriteFile(file.get(), "MARK", 4, &written, nullptr));
    }
    {
        VideoCache cache;
        cache.Start(install_.c_str(), settings_);
        EXPECT_EQ(cache.Resolve(big.c_str()), big);
        EXPECT_TRUE(WaitFor([&] { return SizeOf(partial) > kept; }));
    }
    EXPECT_EQ(ReadFileText(partial).substr(0, 4), "MARK");

    // Another version of the source starts over: its partial copy replaces the old one.
    SetTimes(big, 0, Now());
    {
        VideoCache cache;
        cache.Start(install_.c_str(), settings_);
        EXPECT_EQ(cache.Resolve(big.c_str()), big);
        EXPECT_TRUE(WaitFor([&] { return partials().size() == 1 && partials()[0] != partial; }));
    }
    ASSERT_EQ(partials().size(), 1u);
    EXPECT_NE(ReadFileText(partials()[0]).substr(0, 4), "MARK");
}

TEST_F(CacheTest, NoCacheOrNoFolderPlaysEverythingWhereItIs)
{
    const std::wstring source = L"N:\\videos\\net.avi";
    WriteFileText(source, "net");
    settings_.noCache = true;  // the default
    {
        VideoCache cache;
        cache.Start(install_.c_str(), settings_);
        EXPECT_EQ(cache.Resolve(source.c_str()), source);
        EXPECT_FALSE(Exists(cacheDir_ + L"net.avi"));
    }
    // Caching on but no cache folder: the copy fails and the source is played. As a first
    // run ever, it starts a cleanup too, which the missing folder ends at once.
    settings_.noCache = false;
    settings_.cacheLastCleanup = 0;
    RemoveDirectoryW(cacheDir_.c_str());
    VideoCache cache;
    cache.Start(install_.c_str(), settings_);
    EXPECT_EQ(cache.Resolve(source.c_str()), source);
    cache.Stop();  // bounded by the ctest timeout
    EXPECT_GT(settings_.cacheLastCleanup, Now() - kDay);
}

TEST_F(CacheTest, CleanupRemovesOldCopiesOnlyWhenDue)
{
    const LONGLONG now = Now();
    struct {
        const wchar_t *name;
        LONGLONG accessed;
        bool readOnly;
        bool survives;
    } files[] = {
        {L"ten-days.avi", now - 10 * kDay - 60 * 10000000LL, false, false},
        {L"clip-0123456789abcdef.avi", now - 12 * kDay, false, false},  // named with its source's digest
        {L"read-only.avi", now - 30 * kDay, true, false},
        {L"almost.avi", now - 10 * kDay + 3600 * 10000000LL, false, true},  // 9 days 23 hours
        {L"young.avi", now - kDay, false, true},
        {L"ahead.avi", now + 20 * kDay, false, true},  // accessed "in the future"
    };
    for (auto &file : files) {
        const std::wstring path = cacheDir_ + file.name;
        WriteFileText(path, "x");
        SetTimes(path, file.accessed, 0);
        if (file.readOnly)
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
    }

    // Last cleanup one day ago, or ahead of the clock: no cleanup, nothing changes.
    for (LONGLONG last : {now - kDay, now + 5 * kDay}) {
        settings_.cacheLastCleanup = last;
        VideoCache cache;
        cache.Start(install_.c_str(), settings_);
        cache.Stop();
        EXPECT_EQ(settings_.cacheLastCleanup, last);
        for (auto &file : files)
            EXPECT_TRUE(Exists(cacheDir_ + file.name)) << file.name;
    }

    // Two days ago (the interval): the cleanup runs, also with caching off.
    settings_.noCache = true;
    settings_.cacheLastCleanup = now - 2 * kDay;
    VideoCache cache;
    cache.Start(install_.c_str(), settings_);
    // Stop ends the thread after the entry it is on, so let it finish its listing first.
    WaitFor([&] { return !Exists(cacheDir_ + L"ten-days.avi") && !Exists(cacheDir_ + L"read-only.avi"); });
    cache.Stop();
    EXPECT_GE(settings_.cacheLastCleanup, now);
    for (auto &file : files)
        EXPECT_EQ(Exists(cacheDir_ + file.name), file.survives) << file.name;
}

}  // namespace
