#include "playlist.h"

#include <cstring>
#include <iterator>
#include <new>

#include "module.h"

// Null pointer arguments cannot arrive through a proxy; called directly they are refused
// with E_POINTER rather than dereferenced.

STDMETHODIMP Playlist::QueryInterface(REFIID riid, void **ppv)
{
    if (!ppv)
        return E_POINTER;
    if (IsEqualIID(riid, IID_IHCYFWPlaylist) || IsEqualIID(riid, IID_IUnknown)) {
        *ppv = static_cast<IHCYFWPlaylist *>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) Playlist::AddRef()
{
    LibraryAddRef();
    return static_cast<ULONG>(InterlockedIncrement(&refCount_));
}

STDMETHODIMP_(ULONG) Playlist::Release()
{
    const LONG count = InterlockedDecrement(&refCount_);
    LibraryRelease();
    if (count == 0)
        delete this;
    return static_cast<ULONG>(count);
}

PlaylistEntries::iterator Playlist::At(LONG index)
{
    // Walk from the nearer end; the list has no random access.
    const LONG count = static_cast<LONG>(entries_.size());
    if (index <= count / 2)
        return std::next(entries_.begin(), index);
    return std::prev(entries_.end(), count - index);
}

void Playlist::Clear()
{
    entries_.clear();
    arena_.Reset();
    current_ = entries_.end();
    currentIndex_ = 0;
}

STDMETHODIMP Playlist::Next()
{
    if (Empty())
        return E_UNEXPECTED;
    if (++current_ == entries_.end()) {
        current_ = entries_.begin();
        currentIndex_ = 0;
    } else {
        ++currentIndex_;
    }
    return S_OK;
}

STDMETHODIMP Playlist::Previous()
{
    if (Empty())
        return E_UNEXPECTED;
    if (current_ == entries_.begin()) {
        current_ = std::prev(entries_.end());
        currentIndex_ = static_cast<LONG>(entries_.size()) - 1;
    } else {
        --current_;
        --currentIndex_;
    }
    return S_OK;
}

STDMETHODIMP Playlist::First()
{
    if (Empty())
        return E_UNEXPECTED;
    current_ = entries_.begin();
    currentIndex_ = 0;
    return S_OK;
}

STDMETHODIMP Playlist::GetCount(LONG *count)
{
    if (!count)
        return E_POINTER;
    *count = static_cast<LONG>(entries_.size());
    return S_OK;
}

STDMETHODIMP Playlist::Insert(const PlaybackItem *item, LONG index)
{
    if (!item)
        return E_POINTER;
    const LONG count = static_cast<LONG>(entries_.size());
    const bool append = index < 0 || index >= count;
    try {
        auto entry = entries_.emplace(append ? entries_.end() : At(index));
        try {
            plst::AssignItemFields(*entry, *item, ITEM_ALL);
        } catch (const std::bad_alloc &) {
            entries_.erase(entry);
            throw;
        }
        current_ = entry;
        currentIndex_ = append ? count : index;
    } catch (const std::bad_alloc &) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

STDMETHODIMP Playlist::Remove(LONG index)
{
    if (index < -1)
        return E_INVALIDARG;
    if (Empty())
        return E_UNEXPECTED;
    const LONG count = static_cast<LONG>(entries_.size());
    if (index >= count)
        return E_INVALIDARG;
    if (index == -1 || index == currentIndex_) {
        // The next entry takes the current one's place; past the end the first does.
        current_ = entries_.erase(current_);
        if (current_ == entries_.end()) {
            current_ = entries_.begin();
            currentIndex_ = 0;
        }
        return S_OK;
    }
    entries_.erase(At(index));
    if (index < currentIndex_)
        --currentIndex_;
    return S_OK;
}

STDMETHODIMP Playlist::SetPosition(const PlaylistPosition *position, DWORD flags)
{
    if (!position)
        return E_POINTER;
    if (Empty())
        return E_UNEXPECTED;
    const LONG count = static_cast<LONG>(entries_.size());
    const LONG target = position->index;
    if ((flags & POSITION_MOVE) && target >= 0 && target < count && target != currentIndex_) {
        // splice relinks the node, so current_ stays valid. A move to a later index lands
        // exactly at that index as well: before the entry that follows the target place.
        auto before = At(target < currentIndex_ ? target : target + 1);
        entries_.splice(before, entries_, current_);
        currentIndex_ = target;
    }
    if (flags & POSITION_RESULT)
        current_->playResult = position->playResult;
    return S_OK;
}

STDMETHODIMP Playlist::GetPosition(PlaylistPosition *position)
{
    if (!position)
        return E_POINTER;
    if (Empty())
        return E_UNEXPECTED;
    position->index = currentIndex_;
    position->playResult = current_->playResult;
    return S_OK;
}

STDMETHODIMP Playlist::SetCurrentItem(const PlaybackItem *item)
{
    if (!item)
        return E_POINTER;
    if (Empty())
        return E_UNEXPECTED;
    try {
        plst::AssignItemFields(*current_, *item, item->validMask);
    } catch (const std::bad_alloc &) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

STDMETHODIMP Playlist::GetCurrentItem(PlaybackItem *item)
{
    if (!item)
        return E_POINTER;
    if (Empty())
        return E_UNEXPECTED;
    // The receiver frees the name with CoTaskMemFree, also across apartments.
    const std::pmr::wstring &path = current_->fileName;
    auto *name = static_cast<wchar_t *>(CoTaskMemAlloc((path.size() + 1) * sizeof(wchar_t)));
    if (!name) {
        item->fileName = nullptr;
        return E_OUTOFMEMORY;
    }
    std::memcpy(name, path.c_str(), (path.size() + 1) * sizeof(wchar_t));
    *item = current_->fields;
    item->fileName = name;
    item->validMask = ITEM_ALL;
    return S_OK;
}

STDMETHODIMP Playlist::Load(LPCWSTR path)
{
    // A failed load leaves an empty playlist with no remembered name.
    Clear();
    fileName_.clear();
    if (!path)
        return E_POINTER;
    HRESULT hr = plst::Read(path, entries_);
    if (FAILED(hr)) {
        Clear();
        return hr;
    }
    try {
        fileName_ = path;
    } catch (const std::bad_alloc &) {
        Clear();
        return E_OUTOFMEMORY;
    }
    current_ = entries_.begin();
    currentIndex_ = 0;
    return S_OK;
}

STDMETHODIMP Playlist::Save(LPCWSTR path, boolean failIfExists)
{
    if (Empty())
        return E_UNEXPECTED;
    if (path)
        return plst::Write(path, failIfExists ? plst::SaveMode::CreateNew : plst::SaveMode::CreateOrReplace,
                           entries_);
    if (fileName_.empty())
        return E_INVALIDARG;
    return plst::Write(fileName_.c_str(), plst::SaveMode::ReplaceExisting, entries_);
}

HRESULT CreatePlaylistObject(REFIID riid, void **ppv)
{
    auto *playlist = new (std::nothrow) Playlist;
    if (!playlist) {
        if (ppv)
            *ppv = nullptr;
        return E_OUTOFMEMORY;
    }
    playlist->AddRef();
    HRESULT hr = playlist->QueryInterface(riid, ppv);
    playlist->Release();
    return hr;
}
