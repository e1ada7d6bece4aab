// VideoCache under Wine: N: is a network drive (see cache_test.sh), the install folder a
// scratch folder below the temporary folder.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "settings.h"
#include "video_cache.h"

namespace {

constexpr LONGLONG kDay = 864000000000LL;

LONGLONG Now()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return static_cast<LONGLONG>((static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
}

FILETIME AsFileTime(LONGLONG value)
{
    return {static_cast<DWORD>(value), static_cast<DWORD>(static_cast<ULONGLONG>(value) >> 32)};
}

void WriteFileText(const std::wstring &path, const std::string &text)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << "cannot write " << std::string(path.begin(), path.end());
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

std::string ReadFileText(const std::wstring &path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return "<missing>";
    char buffer[256];
    DWORD read = 0;
    ReadFile(file, buffer, sizeof buffer, &read, nullptr);
    CloseHandle(file);
    return std::string(buffer, read);
}

// Sets the last-access and last-write times, each unless it is 0.
void SetTimes(const std::wstring &path, LONGLONG accessed, LONGLONG written)
{
    HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << std::string(path.begin(), path.end());
    const FILETIME access = AsFileTime(accessed), write = AsFileTime(written);
    ASSERT_TRUE(SetFileTime(file, nullptr, accessed ? &access : nullptr, written ? &write : nullptr));
    CloseHandle(file);
}

LONGLONG WriteTimeOf(const std::wstring &path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    return static_cast<LONGLONG>((static_cast<ULONGLONG>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                                 data.ftLastWriteTime.dwLowDateTime);
}

bool Exists(const std::wstring &path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string Narrow(const std::wstring &text) { return std::string(text.begin(), text.end()); }

class CacheTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        install_ = std::wstring(temp) + L"rh-cache-test";  // no backslash: Start adds one
        cacheDir_ = install_ + L"\\Cache\\";
        RemoveAll();
        CreateDirectoryW(install_.c_str(), nullptr);
        CreateDirectoryW(cacheDir_.c_str(), nullptr);
        CreateDirectoryW(L"N:\\videos", nullptr);
        ZeroMemory(&settings_, sizeof settings_);
        settings_.noCache = false;
        settings_.cacheExpirationPeriod = 10;
        settings_.cacheCleanupInterval = 2;
        settings_.cacheLastCleanup = Now();  // no cleanup unless a test wants one
    }
    void TearDown() override { RemoveAll(); }

    void RemoveAll()
    {
        for (const std::wstring &dir : {cacheDir_, install_ + L"\\"}) {
            WIN32_FIND_DATAW found;
            HANDLE list = FindFirstFileW((dir + L"*").c_str(), &found);
            if (list == INVALID_HANDLE_VALUE)
                continue;
            do {
                if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                    SetFileAttributesW((dir + found.cFileName).c_str(), FILE_ATTRIBUTE_NORMAL);
                    DeleteFileW((dir + found.cFileName).c_str());
                }
            } while (FindNextFileW(list, &found));
            FindClose(list);
        }
        RemoveDirectoryW(cacheDir_.c_str());
        RemoveDirectoryW(install_.c_str());
    }

    static std::string Resolve(VideoCache &cache, const std::wstring &source)
    {
        wchar_t out[MAX_PATH];
        cache.Resolve(source.c_str(), out);
        return Narrow(out);
    }

    Settings settings_;
    std::wstring install_, cacheDir_;
};

TEST_F(CacheTest, NetworkVideoIsCopiedRefreshedAndKeptWhenTheShareIsGone)
{
    // Wine's drive mapping from cache_test.sh.
    ASSERT_EQ(GetDriveTypeW(L"N:\\"), static_cast<UINT>(DRIVE_REMOTE));
    const std::wstring source = L"N:\\videos\\clip.avi", cached = cacheDir_ + L"clip.avi";
    WriteFileText(source, "first");
    SetTimes(source, 0, Now() - kDay);
    VideoCache cache;
    cache.Start(install_.c_str(), settings_);
    EXPECT_EQ(Resolve(cache, source), Narrow(cached));
    EXPECT_EQ(ReadFileText(cached), "first");

    // Unchanged source: the copy is played as it is (not rewritten).
    WriteFileText(cached, "stale");
    SetTimes(cached, 0, WriteTimeOf(source));
    EXPECT_EQ(Resolve(cache, source), Narrow(cached));
    EXPECT_EQ(ReadFileText(cached), "stale");

    // A new write time on the source refreshes the copy, also over a read-only copy.
    WriteFileText(source, "second");
    SetFileAttributesW(cached.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(Resolve(cache, source), Narrow(cached));
    EXPECT_EQ(ReadFileText(cached), "second");
    EXPECT_TRUE(GetFileAttributesW(cached.c_str()) & FILE_ATTRIBUTE_READONLY);

    // The share is gone: the copy is played unchanged.
    ASSERT_TRUE(DeleteFileW(source.c_str()));
    EXPECT_EQ(Resolve(cache, source), Narrow(cached));
    EXPECT_EQ(ReadFileText(cached), "second");

    // Another clip.avi in another folder shares the one copy.
    WriteFileText(L"N:\\clip.avi", "other");
    EXPECT_EQ(Resolve(cache, L"N:\\clip.avi"), Narrow(cached));
    EXPECT_EQ(ReadFileText(cached), "other");
    DeleteFileW(L"N:\\clip.avi");
}

TEST_F(CacheTest, LocalFilesPlayInPlaceUnlessTheCacheHoldsTheirName)
{
    const std::wstring local = install_ + L"\\local.avi", cached = cacheDir_ + L"local.avi";
    WriteFileText(local, "local");
    VideoCache cache;
    cache.Start(install_.c_str(), settings_);
    EXPECT_EQ(Resolve(cache, local), Narrow(local));
    EXPECT_FALSE(Exists(cached));

    // A copy of the same name is played instead, and refreshed from the local source.
    WriteFileText(cached, "old copy");
    SetTimes(cached, 0, Now() - 2 * kDay);
    EXPECT_EQ(Resolve(cache, local), Narrow(cached));
    EXPECT_EQ(ReadFileText(cached), "local");
}

TEST_F(CacheTest, NoCacheOrNoFolderPlaysEverythingWhereItIs)
{
    const std::wstring source = L"N:\\videos\\net.avi";
    WriteFileText(source, "net");
    settings_.noCache = true;  // the default
    {
        VideoCache cache;
        cache.Start(install_.c_str(), settings_);
        EXPECT_EQ(Resolve(cache, source), Narrow(source));
        EXPECT_FALSE(Exists(cacheDir_ + L"net.avi"));
    }
    // Caching on but no cache folder: the copy fails and the source is played.
    settings_.noCache = false;
    RemoveDirectoryW(cacheDir_.c_str());
    VideoCache cache;
    cache.Start(install_.c_str(), settings_);
    EXPECT_EQ(Resolve(cache, source), Narrow(source));
    DeleteFileW(source.c_str());
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
        {L"read-only.avi", now - 30 * kDay, true, false},
        {L"almost.avi", now - 10 * kDay + 3600 * 10000000LL, false, true},  // 9 days 23 hours
        {L"young.avi", now - kDay, false, true},
        {L"ahead.avi", now + 20 * kDay, false, true},  // accessed "in the future"
    };
    auto prepare = [&] {
        for (auto &file : files) {
            const std::wstring path = cacheDir_ + file.name;
            WriteFileText(path, "x");
            SetTimes(path, file.accessed, 0);
            if (file.readOnly)
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
        }
    };

    // Last cleanup one day ago, or ahead of the clock: no cleanup, nothing changes.
    prepare();
    for (LONGLONG last : {now - kDay, now + 5 * kDay}) {
        settings_.cacheLastCleanup = last;
        VideoCache cache;
        cache.Start(install_.c_str(), settings_);
        cache.Stop();
        EXPECT_EQ(settings_.cacheLastCleanup, last);
        for (auto &file : files)
            EXPECT_TRUE(Exists(cacheDir_ + file.name)) << Narrow(file.name);
    }

    // Two days ago (the interval): the cleanup runs, also with caching off.
    settings_.noCache = true;
    settings_.cacheLastCleanup = now - 2 * kDay;
    VideoCache cache;
    cache.Start(install_.c_str(), settings_);
    // Stop ends the thread after the entry it is on, so let it finish its listing first.
    for (int i = 0; i < 100 && (Exists(cacheDir_ + L"ten-days.avi") || Exists(cacheDir_ + L"read-only.avi")); ++i)
        Sleep(50);
    cache.Stop();
    EXPECT_GE(settings_.cacheLastCleanup, now);
    for (auto &file : files)
        EXPECT_EQ(Exists(cacheDir_ + file.name), file.survives) << Narrow(file.name);
}

TEST_F(CacheTest, FirstRunEverStartsACleanupAndAMissingFolderEndsIt)
{
    settings_.cacheLastCleanup = 0;
    RemoveDirectoryW(cacheDir_.c_str());
    VideoCache cache;
    cache.Start(install_.c_str(), settings_);
    cache.Stop();  // bounded by the ctest timeout: the listing fails at once
    EXPECT_GT(settings_.cacheLastCleanup, Now() - kDay);
}

}  // namespace
