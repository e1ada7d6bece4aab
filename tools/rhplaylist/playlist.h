// The installed player library's playlist object, the one code that knows the .plst
// format, with the operations the commands need. Methods that return int give kDone, or
// the exit code after saying what failed.
#pragma once

#include <windows.h>

#include <wrl/client.h>

#include <string>
#include <vector>

#include "abi.h"
#include "fields.h"

struct Entry {
    std::wstring file;
    PlaybackItem item;  // fileName is null: the name is in file
    HRESULT result;     // of the last play; < 0 means it failed
};

class Playlist {
public:
    int Create();
    int Load(const std::wstring &path);

    LONG Count() const;
    std::vector<Entry> Entries();
    // index must name an entry: a whole number from 0 to Count() - 1.
    int CheckIndex(const wchar_t *text, LONG &index) const;

    // Appends files, each as entry (its fileName is not used), stored as full paths.
    int Append(const std::vector<std::wstring> &files, PlaybackItem entry);
    void Remove(LONG index);
    void SetFields(LONG index, const Fields &fields);
    // Takes entry from out and puts it in again at to, with every field and its last play
    // result.
    int Move(LONG from, LONG to);

    // Writes the playlist beside path under a passing name, then puts it in path's place
    // in one step, so a failure leaves the file that was there as it was.
    int SaveOver(const std::wstring &path);

private:
    // Makes entry index current (the object only steps one entry at a time).
    void Select(LONG index);

    Microsoft::WRL::ComPtr<IHCYFWPlaylist> list_;
};
