// A named pipe server that accepts every client and never writes: a file whose reads never
// complete, as a share that has stopped answering. Runs until it is killed.
//   quiet_pipe NAME      serves \\.\pipe\NAME
#include <windows.h>

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: quiet_pipe NAME\n");
        return 2;
    }
    const std::wstring name = std::wstring(L"\\\\.\\pipe\\") + argv[1];
    for (;;) {
        // Each client keeps its own instance, left open and silent.
        HANDLE pipe = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT,
                                       PIPE_UNLIMITED_INSTANCES, 4096, 4096, 0, nullptr);
        if (pipe == INVALID_HANDLE_VALUE)
            return 1;
        printf("listening\n");
        fflush(stdout);
        if (!ConnectNamedPipe(pipe, nullptr) && GetLastError() != ERROR_PIPE_CONNECTED)
            CloseHandle(pipe);
    }
}
