// The playlist file (".plst"): a 22-byte header (magic, version, entry count) and the
// entries back to back, little-endian and packed. This is the only code that knows the
// layout; the playlist object hands it whole entry lists.
#pragma once

#include <windows.h>

#include <cstdint>
#include <list>
#include <memory_resource>
#include <string>

#include "abi.h"
#include "media_item.h"

// One playlist entry: a playable item (every PlaybackItem field except validMask) plus the
// result of the entry's last play attempt. The name takes its memory from the list's
// resource (see playlist_arena.h).
struct PlaylistEntry : BasicMediaItem<std::pmr::wstring> {
    using allocator_type = std::pmr::polymorphic_allocator<PlaylistEntry>;

    explicit PlaylistEntry(const allocator_type &allocator = {}) : BasicMediaItem(allocator) {}
    PlaylistEntry(const PlaylistEntry &other, const allocator_type &allocator = {})
        : BasicMediaItem(allocator), playResult(other.playResult)
    {
        fields = other.fields;
        fileName = other.fileName;
    }
    PlaylistEntry(PlaylistEntry &&other, const allocator_type &allocator)
        : BasicMediaItem(allocator), playResult(other.playResult)
    {
        fields = other.fields;
        fileName = std::move(other.fileName);
    }
    PlaylistEntry &operator=(const PlaylistEntry &) = default;

    HRESULT playResult = S_OK;
};
using PlaylistEntries = std::pmr::list<PlaylistEntry>;

namespace plst {

inline constexpr size_t kHeaderSize = 22;
inline constexpr size_t kEntryFixedSize = 99; // an entry takes 99 + 2n bytes
inline constexpr uint16_t kVersion = 1;

// Overwrites the field groups that mask names (the path too; null gives an empty path),
// the seven flags normalised to 0/1. playResult is left alone.
void AssignItemFields(PlaylistEntry &entry, const PlaybackItem &item, DWORD mask);

// Reads a playlist file into entries (cleared first).
//  - open failures: file not found -> STG_E_FILENOTFOUND, sharing violation ->
//    STG_E_SHAREVIOLATION, anything else -> E_FAIL;
//  - a header that is cut short, a wrong magic or a version other than 1 ->
//    STG_E_INVALIDHEADER with no entries;
//  - a file that ends inside an entry (or before entryCount entries) is not rejected:
//    the entries that were read whole are kept and the result is S_OK. A damaged tail
//    then costs only the damaged entries, and the reader never looks past the data, so
//    nothing is allocated beyond what the file itself holds.
//  - a read error -> E_FAIL with no entries; out of memory -> E_OUTOFMEMORY, no entries.
[[nodiscard]] HRESULT Read(const wchar_t *path, PlaylistEntries &entries);

enum class SaveMode {
    CreateOrReplace, // a path was given, failIfExists false
    CreateNew,       // a path was given, failIfExists true
    ReplaceExisting, // the remembered file, which must exist
};

// Writes entries to path. An existing file is never written in place: the new contents go
// to a temporary file ("~xxxxxxxx.tmp") in the same folder, are flushed to the disk and
// then replace it, so a failed or interrupted save leaves either the old file or the
// whole new one (a killed process may leave the temporary file behind, never a damaged
// playlist). A file that the save itself created goes again when it fails. Results: S_OK;
// STG_E_FILENOTFOUND, STG_E_PATHNOTFOUND, STG_E_SHAREVIOLATION, STG_E_FILEALREADYEXISTS
// from opening the target; E_FAIL when writing fails (disk full) or anything else.
[[nodiscard]] HRESULT Write(const wchar_t *path, SaveMode mode, const PlaylistEntries &entries);

} // namespace plst
