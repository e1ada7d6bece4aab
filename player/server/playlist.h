// The playlist object: an ordered list of media entries with a cursor on the current one,
// read from and written to ".plst" files. Registered "Apartment": COM calls it on one
// thread only, so only the reference counts are atomic.
#pragma once

#include <windows.h>

#include "abi.h"
#include "playlist_arena.h"
#include "playlist_file.h"

class Playlist final : public IHCYFWPlaylist {
public:
    Playlist() = default;
    Playlist(const Playlist &) = delete;
    Playlist &operator=(const Playlist &) = delete;

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IHCYFWPlaylist
    STDMETHODIMP Next() override;
    STDMETHODIMP Previous() override;
    STDMETHODIMP First() override;
    STDMETHODIMP GetCount(LONG *count) override;
    STDMETHODIMP Insert(const PlaybackItem *item, LONG index) override;
    STDMETHODIMP Remove(LONG index) override;
    STDMETHODIMP SetPosition(const PlaylistPosition *position, DWORD flags) override;
    STDMETHODIMP GetPosition(PlaylistPosition *position) override;
    STDMETHODIMP SetCurrentItem(const PlaybackItem *item) override;
    STDMETHODIMP GetCurrentItem(PlaybackItem *item) override;
    STDMETHODIMP Load(LPCWSTR path) override;
    STDMETHODIMP Save(LPCWSTR path, boolean failIfExists) override;

private:
    ~Playlist() = default;

    bool Empty() const { return entries_.empty(); }
    PlaylistEntries::iterator At(LONG index);
    void Clear(); // empties the list and recycles all of its memory

    PlaylistArena arena_; // before entries_, which live in it
    PlaylistEntries entries_{&arena_};
    // The current entry (end() only while the list is empty) and its position.
    PlaylistEntries::iterator current_ = entries_.end();
    LONG currentIndex_ = 0;
    std::wstring fileName_; // the file the last successful Load read
    LONG volatile refCount_ = 0;
};
