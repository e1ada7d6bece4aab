// Times, over 10 rounds, Resolve of a 5 GB video on a network drive with no copy in the
// cache yet (the call the playing thread makes), and Stop once the background copy has
// written a first part; then counts what is left in the cache folder (the partial copy,
// kept for the next run; each round removes it first so as to start a copy anew).
//   bench_cache SOURCE INSTALL_FOLDER
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench_figures.h"
#include "settings.h"
#include "video_cache.h"

namespace {

int FilesIn(const std::wstring &folder)
{
    WIN32_FIND_DATAW found;
    HANDLE list = FindFirstFileW((folder + L"*").c_str(), &found);
    int count = 0;
    if (list != INVALID_HANDLE_VALUE) {
        do
            count += !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
        while (FindNextFileW(list, &found));
        FindClose(list);
    }
    return count;
}

void Empty(const std::wstring &folder)
{
    WIN32_FIND_DATAW found;
    HANDLE list = FindFirstFileW((folder + L"*").c_str(), &found);
    if (list == INVALID_HANDLE_VALUE)
        return;
    do
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            DeleteFileW((folder + found.cFileName).c_str());
    while (FindNextFileW(list, &found));
    FindClose(list);
}

void Report(const char *what, const std::vector<double> &times)
{
    printf("%-34s median %8.2f ms   worst %8.2f ms\n", what, Median(times), Worst(times));
}

}  // namespace

int wmain(int argc, wchar_t **argv)
{
    if (argc < 3)
        return 2;
    Settings settings{};
    settings.noCache = false;
    settings.cacheExpirationPeriod = 10;
    settings.cacheCleanupInterval = 2;
    FILETIME now;  // no cleanup during the rounds
    GetSystemTimeAsFileTime(&now);
    settings.cacheLastCleanup = static_cast<LONGLONG>((static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
    const std::wstring cacheFolder = std::wstring(argv[2]) + L"\\Cache\\";
    std::vector<double> resolves, stops;
    int leftovers = 0;
    for (int round = 0; round < 10; ++round) {
        Empty(cacheFolder);
        VideoCache cache;
        cache.Start(argv[2], settings);
        double start = NowMs();
        const std::wstring played = cache.Resolve(argv[1]);
        resolves.push_back(NowMs() - start);
        if (played != argv[1])
            printf("round %d: Resolve gave another path\n", round);
        for (int i = 0; i < 1000 && FilesIn(cacheFolder) == 0; ++i)
            Sleep(5);
        start = NowMs();
        cache.Stop();
        stops.push_back(NowMs() - start);
        leftovers += FilesIn(cacheFolder);
    }
    Report("Resolve, 5 GB on a network drive", resolves);
    Report("Stop during its copy", stops);
    printf("files in the cache folder after each Stop: %.1f on average (the partial copy, kept)\n", leftovers / 10.0);
    return 0;
}
