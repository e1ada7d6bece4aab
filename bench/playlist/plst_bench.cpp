// Times Save and Load of a 100,000-entry playlist with 60-character paths against one
// ReadFile of the same file's bytes, the floor any loader has to pay.
//   plst_bench [FOLDER] [ROUNDS]   (FOLDER defaults to %TEMP%, ROUNDS to 10; best round counts)
#include <windows.h>
#include <objbase.h>
#include <wrl/client.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <cstdio>
#include <string>
#include <vector>

#include "abi.h"
#include "handles.h"
#include "module.h"

using Microsoft::WRL::ComPtr;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kEntries = 100000;
constexpr size_t kPathLength = 60;

double Milliseconds(Clock::time_point since)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

bool Check(HRESULT hr, const char *what)
{
    if (FAILED(hr))
        std::fprintf(stderr, "%s failed: 0x%08lx\n", what, static_cast<unsigned long>(hr));
    return SUCCEEDED(hr);
}

// Open, size, one ReadFile of everything, close: what Load is measured against.
double RawRead(const std::wstring &path, std::vector<BYTE> &buffer, DWORD &got)
{
    const auto start = Clock::now();
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    got = 0;
    if (file && GetFileSizeEx(file.get(), &size) && size_t(size.QuadPart) <= buffer.size())
        ReadFile(file.get(), buffer.data(), DWORD(size.QuadPart), &got, nullptr);
    return Milliseconds(start);
}

// The same into a buffer allocated for the file, as a reader that keeps the bytes would.
double RawReadNew(const std::wstring &path)
{
    const auto start = Clock::now();
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (file && GetFileSizeEx(file.get(), &size)) {
        std::unique_ptr<BYTE[]> buffer(new BYTE[size_t(size.QuadPart)]);
        DWORD got = 0;
        ReadFile(file.get(), buffer.get(), DWORD(size.QuadPart), &got, nullptr);
    }
    return Milliseconds(start);
}

// One WriteFile of the same bytes to a new file, then FlushFileBuffers: what Save is
// made of besides its own work (Save also flushes, so that a crash right after the
// replacement cannot leave an empty file in the old one's place).
void RawWrite(const std::wstring &path, const std::vector<BYTE> &bytes, DWORD size, double &write, double &flush)
{
    const auto start = Clock::now();
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (file)
        WriteFile(file.get(), bytes.data(), size, &written, nullptr);
    write = Milliseconds(start);
    if (file)
        FlushFileBuffers(file.get());
    file.reset();
    flush = Milliseconds(start) - write;
    DeleteFileW(path.c_str());
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
    ComApartment apartment(COINIT_APARTMENTTHREADED);
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = argc > 1 ? argv[1] : temp;
    if (!folder.empty() && folder.back() != L'\\')
        folder += L'\\';
    const int rounds = argc > 2 ? std::max(1, _wtoi(argv[2])) : 10;
    const std::wstring path = folder + L"plst_bench.plst";

    ComPtr<IHCYFWPlaylist> playlist;
    if (!Check(CreatePlaylistObject(IID_IHCYFWPlaylist, reinterpret_cast<void **>(playlist.GetAddressOf())),
               "CreatePlaylistObject"))
        return 1;
    PlaybackItem item = DefaultPlaybackItem();
    std::wstring name(kPathLength, L'x');
    for (int i = 0; i < kEntries; ++i) {
        // Distinct 60-character paths, like a folder full of numbered clips.
        wchar_t number[16];
        std::swprintf(number, 16, L"%08d.avi", i);
        name.replace(name.size() - 12, 12, number);
        name.replace(0, 12, L"D:\\Videos\\c\\");
        item.fileName = name.data();
        item.loops = i;
        if (!Check(playlist->Insert(&item, -1), "Insert"))
            return 1;
    }

    // The first load into a new object and a first read into a new buffer both pay for
    // fresh memory; the later rounds reuse it.
    auto start = Clock::now();
    if (!Check(playlist->Save(path.c_str(), FALSE), "Save"))
        return 1;
    const double firstSave = Milliseconds(start);
    const double firstRaw = RawReadNew(path);
    DWORD bytes = 0;
    ComPtr<IHCYFWPlaylist> loaded;
    if (!Check(CreatePlaylistObject(IID_IHCYFWPlaylist, reinterpret_cast<void **>(loaded.GetAddressOf())),
               "CreatePlaylistObject"))
        return 1;
    start = Clock::now();
    if (!Check(loaded->Load(path.c_str()), "Load"))
        return 1;
    const double firstLoad = Milliseconds(start);

    double save = 1e30, load = 1e30, raw = 1e30, write = 1e30, flush = 1e30;
    std::vector<BYTE> buffer(64 << 20);
    for (int round = 0; round < rounds; ++round) {
        start = Clock::now();
        if (!Check(playlist->Save(path.c_str(), FALSE), "Save"))
            return 1;
        save = std::min(save, Milliseconds(start));

        raw = std::min(raw, RawRead(path, buffer, bytes));
        double w, f;
        RawWrite(folder + L"plst_bench_raw.bin", buffer, bytes, w, f);
        write = std::min(write, w);
        flush = std::min(flush, f);

        start = Clock::now();
        if (!Check(loaded->Load(path.c_str()), "Load"))
            return 1;
        load = std::min(load, Milliseconds(start));
    }
    LONG count = 0;
    (void)loaded->GetCount(&count);
    DeleteFileW(path.c_str());
    if (count != kEntries) {
        std::fprintf(stderr, "loaded %ld entries, expected %d\n", static_cast<long>(count), kEntries);
        return 1;
    }

    std::printf("playlist: %d entries, %zu-character paths, file %lu bytes (best of %d)\n", kEntries,
                kPathLength, static_cast<unsigned long>(bytes), rounds);
    std::printf("raw ReadFile:          %8.2f ms\n", raw);
    std::printf("Load:                  %8.2f ms  (%.2fx raw read, target 4x)\n", load, load / raw);
    std::printf("Save:                  %8.2f ms  (%.2fx raw read, target 4x)\n", save, save / raw);
    std::printf("first round, fresh memory: raw read %.2f ms (into a new buffer), Load %.2f ms (%.2fx), "
                "Save %.2f ms (%.2fx)\n", firstRaw, firstLoad, firstLoad / firstRaw, firstSave, firstSave / firstRaw);
    std::printf("for Save: one raw WriteFile %.2f ms, FlushFileBuffers %.2f ms\n", write, flush);
    return 0;
}
