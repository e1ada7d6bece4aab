// The Playlist page: the current playlist as grid rows with seven editable columns, a file
// toolbar (New, Open, Save, Save As) and a row toolbar (Add, Remove, Move Up, Move Down,
// Play). Playlist files are read and written through the player library's playlist object.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

#include "file_type_icons.h"
#include "gridctrl.h"
#include "help.h"
#include "settings.h"

class PlaylistPage {
public:
    PlaylistPage(HINSTANCE instance, Settings *settings, HelpLocation *help, HWND sheetParent,
                 bool centre);
    ~PlaylistPage();
    PlaylistPage(const PlaylistPage &) = delete;
    PlaylistPage &operator=(const PlaylistPage &) = delete;

    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    // What the columns and the tests reach.
    HWND Window() const { return page_; }
    HINSTANCE Instance() const { return instance_; }
    GridCtrl &Grid() { return grid_; }
    Settings &GetSettings() { return *settings_; }
    bool Changed() const { return changed_; }
    void MarkChanged() { changed_ = true; }
    PlaylistRow *RowData(int row) const;
    void PlayRow(int row);
    void ShowPathMenu(int x, int y);

    class FileCol;
    class EditorCol;
    class LoopsCol;
    class ListCol;
    class SliderCol;
    class VolumeCol;
    class SpeedCol;

private:
    INT_PTR OnInitDialog(HWND window);
    INT_PTR OnCommand(WORD id);
    INT_PTR OnNotify(NMHDR *header);
    INT_PTR OnTimer(WPARAM id);
    INT_PTR OnDestroy();
    INT_PTR OnHelp();
    INT_PTR OnSetActive();
    INT_PTR OnLeave();
    LRESULT OnToolbarCustomDraw(NMCUSTOMDRAW *draw);
    void ShowQuickStart();

    // Toolbars (playlist_toolbars.cpp).
    HWND CreateToolbar(int id, int bitmap, int firstCommand, const wchar_t *const *labels,
                       int count, HIMAGELIST *images);
    bool CreateColumns(); // playlist_columns.cpp

    // Rows and playlist items (playlist_rows.cpp).
    // A row for `path` with the values of `values` (its path aside).
    bool InsertPlaylistRow(const wchar_t *path, const PlaylistRow &values, int position);
    HRESULT ReadPlaylist(const wchar_t *path);
    bool WritePlaylist(const wchar_t *path);
    void SetOverlay(int row, bool failed);
    void RefreshFileTexts();

    // Commands.
    // Shows the open or save dialog for a playlist; false when the user chose nothing.
    bool ChoosePlaylist(bool save, wchar_t *path, WORD *fileOffset);
    // false when the user chose Cancel (or a chosen save did not succeed).
    bool PromptToSave();
    void OnNew();
    void OnOpen();
    bool OnSave();
    bool OnSaveAs();
    void OnAdd();
    void SetTitle();
    void CentreSheet();

    HINSTANCE instance_;
    Settings *settings_;
    HelpLocation *help_;
    HWND sheetParent_;
    bool centre_;
    HWND page_ = nullptr;
    HWND topBar_ = nullptr;
    HWND bottomBar_ = nullptr;
    GridCtrl grid_;
    std::vector<std::unique_ptr<GridCtrl::Column>> columns_;
    COLORREF gridColor_ = 0;
    bool changed_ = false;
    bool themed_ = false;
    FileTypeIcons icons_;
    HIMAGELIST topImages_ = nullptr;
    HIMAGELIST bottomImages_ = nullptr;
};
