// A playable item as the code on either side of the contract holds it: the record's fields
// and a file name of its own. The fields' fileName is always null, so an item copied or
// moved never points into another item's name; a record that points at the name is made
// only for one call across the contract.
#pragma once

#include <windows.h>

#include <memory_resource>
#include <string>

#include "abi.h"

// Copies the field groups that mask names from `from` into `to`, the flags as 0 or 1; the
// file name is left to the caller, whose string it is. Answers the groups whose stored
// values changed.
DWORD CopyItemGroups(PlaybackItem &to, const PlaybackItem &from, DWORD mask);

template <typename String>
struct BasicMediaItem {
    PlaybackItem fields = DefaultPlaybackItem(); // fileName stays null
    String fileName;

    BasicMediaItem() = default;
    explicit BasicMediaItem(const typename String::allocator_type &allocator) : fileName(allocator) {}

    // The item a record describes; a null name is an empty one. May throw std::bad_alloc.
    static BasicMediaItem FromRecord(const PlaybackItem &record)
    {
        BasicMediaItem item;
        item.Assign(record);
        return item;
    }
    // Every field of the record, and its name. May throw std::bad_alloc.
    void Assign(const PlaybackItem &record)
    {
        fileName = record.fileName ? record.fileName : L"";
        fields = record;
        fields.fileName = nullptr;
    }
    // The record for one call across the contract; its name is valid while this item lives
    // and its name is not changed.
    PlaybackItem Record()
    {
        PlaybackItem record = fields;
        record.fileName = fileName.data();
        return record;
    }
};

using MediaItem = BasicMediaItem<std::wstring>;
