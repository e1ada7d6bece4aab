// Holds a file open with no sharing for up to a minute (the test ends it sooner), so that
// tests see another process's sharing violation.   hold_file PATH
// Exit codes: 0 held for the minute, 2 bad arguments, 3 could not open.
#include <windows.h>

int wmain(int argc, wchar_t **argv)
{
    if (argc != 2)
        return 2;
    // The test probes the file meanwhile; a probe that is open just now is waited out.
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int i = 0; i < 50 && file == INVALID_HANDLE_VALUE; ++i) {
        file = CreateFileW(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION)
            Sleep(100);
        else
            break;
    }
    if (file == INVALID_HANDLE_VALUE)
        return 3;
    Sleep(60000);
    CloseHandle(file);
    return 0;
}
