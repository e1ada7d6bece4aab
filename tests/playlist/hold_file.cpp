// Holds a file open with no sharing until told to let go, so that tests see another
// process's sharing violation.   hold_file PATH READY_EVENT STOP_EVENT
// Exit codes: 0 let go when told, 2 bad arguments, 3 could not open, 4 never told.
#include <windows.h>

int wmain(int argc, wchar_t **argv)
{
    if (argc != 4)
        return 2;
    HANDLE file = CreateFileW(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 3;
    HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[2]);
    HANDLE stop = OpenEventW(SYNCHRONIZE, FALSE, argv[3]);
    if (!ready || !stop)
        return 2;
    SetEvent(ready);
    DWORD wait = WaitForSingleObject(stop, 60000);
    CloseHandle(file);
    CloseHandle(ready);
    CloseHandle(stop);
    return wait == WAIT_OBJECT_0 ? 0 : 4;
}
