// Reads another process from outside, as a soak run samples it: its threads from a Toolhelp32
// snapshot, its working set and private bytes, its handles and its GDI and USER objects.
// Prints one line "pid threads working_kib private_kib handles gdi user" for the process
// running the named executable (the one with the most threads, when several do), or "none".
// Wine answers 0 for the handle count and the GUI objects of another process.
//   soak_probe.exe EXE_NAME
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cwchar>
#include <map>

int wmain(int argc, wchar_t **argv)
{
    if (argc != 2) {
        fwprintf(stderr, L"usage: soak_probe EXE_NAME\n");
        return 2;
    }
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS | TH32CS_SNAPTHREAD, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return 1;
    std::map<DWORD, int> threads;
    PROCESSENTRY32W process{};
    process.dwSize = sizeof(process);
    for (BOOL more = Process32FirstW(snap, &process); more; more = Process32NextW(snap, &process))
        if (_wcsicmp(process.szExeFile, argv[1]) == 0)
            threads[process.th32ProcessID] = 0;
    THREADENTRY32 thread{};
    thread.dwSize = sizeof(thread);
    for (BOOL more = Thread32First(snap, &thread); more; more = Thread32Next(snap, &thread)) {
        auto it = threads.find(thread.th32OwnerProcessID);
        if (it != threads.end())
            ++it->second;
    }
    CloseHandle(snap);
    DWORD pid = 0;
    int most = -1;
    for (const auto &[id, count] : threads)
        if (count > most) {
            pid = id;
            most = count;
        }
    if (most < 0) {
        wprintf(L"none\n");
        return 3;
    }
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof(memory);
    DWORD handles = 0, gdi = 0, user = 0;
    if (HANDLE target = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid)) {
        (void)GetProcessMemoryInfo(target, reinterpret_cast<PROCESS_MEMORY_COUNTERS *>(&memory),
                                   sizeof(memory));
        (void)GetProcessHandleCount(target, &handles);
        gdi = GetGuiResources(target, GR_GDIOBJECTS);
        user = GetGuiResources(target, GR_USEROBJECTS);
        CloseHandle(target);
    }
    wprintf(L"%lu %d %zu %zu %lu %lu %lu\n", pid, most, memory.WorkingSetSize / 1024,
            memory.PrivateUsage / 1024, handles, gdi, user);
    return 0;
}
