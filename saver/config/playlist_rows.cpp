// The Playlist page's rows and the playlist object's items: a row's record and cell texts,
// and reading and writing a playlist file (a row's fields become an item's through
// playlist_row.h, as in the playlist tool).
#include "playlist_page.h"

#include <wrl/client.h>

#include <cwchar>
#include <new>

#include "abi.h"
#include "config_common.h"
#include "playlist_row.h"
#include "value_limits.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr int kPathLimit = 300; // path buffers with their terminator
constexpr HRESULT kSharingViolation = STG_E_SHAREVIOLATION;

const wchar_t *NameText(const wchar_t *const *names, int count, LONG index)
{
    return index >= 0 && index < count ? names[index] : L"unknown";
}

// The part of `path` after its last backslash.
wchar_t *NameOf(wchar_t *path)
{
    wchar_t *slash = wcsrchr(path, L'\\');
    return slash ? slash + 1 : path;
}

ComPtr<IHCYFWPlaylist> CreatePlaylist(HRESULT *hr)
{
    ComPtr<IHCYFWPlaylist> playlist;
    *hr = CoCreateInstance(CLSID_Playlist, nullptr, CLSCTX_ALL, IID_IHCYFWPlaylist,
                           reinterpret_cast<void **>(playlist.GetAddressOf()));
    return playlist;
}

} // namespace

bool PlaylistPage::InsertPlaylistRow(const wchar_t *path, const PlaylistRow &values, int position)
{
    auto *row = new (std::nothrow) PlaylistRow(values);
    if (!row)
        return false;
    CopyText(row->path, kPathLimit, path);
    row->name = NameOf(row->path);
    // A stored -1 means as often as possible.
    row->loops = values.loops == -1 ? kLoopRange.high : kLoopRange.Clamp(values.loops);

    wchar_t loops[16], volume[16], speed[16];
    swprintf(loops, 16, L"%d", static_cast<int>(row->loops));
    swprintf(volume, 16, L"%d%%", static_cast<int>(row->volume));
    swprintf(speed, 16, L"%04.2f", static_cast<double>(row->speed));
    const wchar_t *cells[kColumnCount] = {settings_->showPath ? row->path : row->name,
                                          loops,
                                          NameText(kSizeNames, kSizeModeCount, row->sizeMode),
                                          row->bounce ? L"yes" : L"no",
                                          volume,
                                          NameText(kStyleNames, kStyleCount, row->displayStyle),
                                          speed};
    LVITEMW items[kColumnCount]{};
    for (int n = 0; n < kColumnCount; ++n) {
        items[n].mask = LVIF_TEXT;
        items[n].pszText = const_cast<wchar_t *>(cells[n]);
    }
    items[0].lParam = reinterpret_cast<LPARAM>(row);
    items[0].mask |= LVIF_IMAGE;
    items[0].iImage = icons_.ImageOf(row->name);
    if (items[0].iImage < 0) {
        items[0].iImage = I_IMAGENONE;
    } else if (row->error < 0) {
        items[0].mask |= LVIF_STATE;
        items[0].state = INDEXTOOVERLAYMASK(1);
        items[0].stateMask = LVIS_OVERLAYMASK;
    }
    if (!grid_.InsertRow(position, items)) {
        delete row;
        return false;
    }
    return true;
}

HRESULT PlaylistPage::ReadPlaylist(const wchar_t *path)
{
    HRESULT hr;
    ComPtr<IHCYFWPlaylist> playlist = CreatePlaylist(&hr);
    if (FAILED(hr))
        return hr;
    HRESULT loaded = playlist->Load(path);
    if (FAILED(loaded))
        return loaded;
    grid_.EndAllEdits();
    grid_.DeleteAllRows();
    // The rows about to be shown are the file's: nothing of them is unsaved.
    changed_ = false;

    LONG count = 0;
    if (FAILED(playlist->GetCount(&count)))
        count = 0;
    // One repaint for the whole list instead of one per row.
    HWND list = grid_.Window();
    if (list)
        SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    PlaylistRow values{};
    // A size that matches no mode keeps the previous item's mode.
    values.sizeMode = loaded;
    for (LONG n = 0; n < count; ++n) {
        PlaybackItem item{};
        if (SUCCEEDED(playlist->GetCurrentItem(&item))) {
            CoTaskString name(item.fileName);
            PlaylistPosition position{};
            playlist->GetPosition(&position);
            ItemToRow(item, values);
            values.error = position.playResult;
            InsertPlaylistRow(name.get() ? name.get() : L"", values, -1);
        }
        playlist->Next();
    }
    if (list) {
        SendMessageW(list, WM_SETREDRAW, TRUE, 0);
        grid_.Redraw(true);
    }
    return loaded;
}

bool PlaylistPage::WritePlaylist(const wchar_t *path)
{
    HRESULT hr;
    ComPtr<IHCYFWPlaylist> playlist = CreatePlaylist(&hr);
    if (FAILED(hr)) {
        ShowMessage(page_,
                    L"Couldn't save the playlist. If this problem persists, go to Add/Remove Programs and repair "
                    L"Reelhaven.",
                    MB_ICONEXCLAMATION);
        return false;
    }
    int count = ListView_GetItemCount(grid_.Window());
    for (int n = 0; n < count; ++n) {
        PlaylistRow *row = RowData(n);
        if (!row)
            continue;
        PlaybackItem item{};
        item.fileName = row->path;
        RowToItem(*row, item);
        if (FAILED(playlist->Insert(&item, -1))) {
            ShowMessage(page_, L"Failed to save playlist.", MB_ICONEXCLAMATION);
            return false;
        }
    }
    hr = playlist->Save(path, FALSE);
    if (SUCCEEDED(hr))
        return true;
    ShowMessage(page_,
                hr == kSharingViolation ? L"Couldn't save playlist because file is in use by another application."
                                        : L"Failed to save playlist.",
                MB_ICONEXCLAMATION);
    return false;
}

void PlaylistPage::SetOverlay(int row, bool failed)
{
    ListView_SetItemState(grid_.Window(), row, failed ? INDEXTOOVERLAYMASK(1) : 0, LVIS_OVERLAYMASK);
}

void PlaylistPage::RefreshFileTexts()
{
    int count = ListView_GetItemCount(grid_.Window());
    for (int n = 0; n < count; ++n)
        if (PlaylistRow *row = RowData(n))
            grid_.SetCellText(n, 0, settings_->showPath ? row->path : row->name);
    grid_.Redraw();
}
