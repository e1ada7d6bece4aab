// File-system helpers of the video cache, shared by its look-up and copy threads and the
// cache itself: long paths, the running account, and names opened as themselves.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "handles.h"

namespace cache_files {

constexpr LONGLONG kDay = 864000000000LL;  // FILETIME units per day

LONGLONG AsInt64(const FILETIME &time);
LONGLONG Now();
// The full form of path, or empty when it has none.
std::wstring FullPath(const std::wstring &path);
// Full paths longer than the classic limit reach the file functions in their long form.
std::wstring ForFileApi(const std::wstring &full);
// The running account's SID of one kind (TokenUser, or TokenOwner: the owner its new files
// get), as bytes; empty when the token cannot be read.
std::vector<BYTE> TokenSid(TOKEN_INFORMATION_CLASS kind);
std::wstring SidText(const std::vector<BYTE> &sid);
// A file that is itself, once: no directory, no reparse point (a link or junction to
// somewhere else), no second name elsewhere.
bool IsPlainFile(HANDLE file, BY_HANDLE_FILE_INFORMATION &info);
bool OwnedBy(HANDLE file, const std::vector<BYTE> &user, const std::vector<BYTE> &owner);
// Opens a name in the cache as itself: a reparse point is never followed.
UniqueHandle OpenEntry(const std::wstring &path, DWORD access);
// The file's last-write time; false when it cannot be opened or read.
bool LastWriteTime(const std::wstring &path, FILETIME &written);
// Deletes a file through an open handle, emptied first, so that freeing gigabytes takes
// the time of this thread only: under Wine the deletion itself happens in the server, which
// every thread of the session waits on.
void EmptyAndDelete(HANDLE file);
// Vista and later can break off a thread's read or open on a share that stopped answering.
void BreakOffIo(HANDLE thread);

// Starts a worker that holds its own reference to state, so a thread that Stop stopped
// waiting for never touches freed memory.
template <typename State>
HANDLE StartWorker(const std::shared_ptr<State> &state)
{
    auto *owner = new std::shared_ptr<State>(state);
    const HANDLE thread = CreateThread(nullptr, 0, &State::Run, owner, 0, nullptr);
    if (!thread)
        delete owner;
    return thread;
}

}  // namespace cache_files
