// The Playlist page: the current playlist as grid rows with seven editable columns, a file
// toolbar (New, Open, Save, Save As) and a row toolbar (Add, Remove, Move Up, Move Down,
// Play). Playlist files are read and written through the player library's playlist object.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

#include "configuration.h"
#include "gridctrl.h"
#include "settings.h"
#include "speed_slider.h"

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
    // The label rectangle of (row, column), scrolled fully into view first.
    bool BringCellIntoView(int row, int column, RECT *cell);
    void PlayRow(int row);
    void ShowPathMenu(int x, int y);

    // Size-mode table: the three item fields of each mode.
    static bool SizeFields(LONG mode, BYTE *scaleToScreen, BYTE *keepAspect, float *scale);
    static bool SizeModeOf(BYTE scaleToScreen, BYTE keepAspect, float scale, LONG *mode);

    class FileCol;
    class EditorCol;
    class LoopsCol;
    class ListCol;
    class SizeCol;
    class BounceCol;
    class StyleCol;
    class SliderCol;
    class VolumeCol;
    class SpeedCol;

private:
    struct ExtensionIcon {
        wchar_t extension[10]; // with its dot, such as .avi
        int image;
    };

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

    HWND CreateToolbar(int id, int bitmap, int firstCommand, const wchar_t *const *labels,
                       int count, HIMAGELIST *images);
    bool CreateColumns();
    void BuildIcons();
    void UpdateIcons();
    void AddIconForPattern(const wchar_t *pattern);
    int FindExtensionImage(const wchar_t *name) const;

    bool InsertPlaylistRow(const wchar_t *path, LONG loops, LONG sizeMode, bool bounce,
                           LONG volume, LONG style, float speed, HRESULT error, int position);
    HRESULT ReadPlaylist(const wchar_t *path);
    bool WritePlaylist(const wchar_t *path);
    // false when the user chose Cancel (or a chosen save did not succeed).
    bool PromptToSave();
    void OnNew();
    void OnOpen();
    bool OnSave();
    bool OnSaveAs();
    void OnAdd();
    void SetOverlay(int row, bool failed);
    void SetTitle();
    void CentreSheet();
    void RefreshFileTexts();

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
    std::vector<ExtensionIcon> icons_;
    HIMAGELIST imageList_ = nullptr;
    HIMAGELIST topImages_ = nullptr;
    HIMAGELIST bottomImages_ = nullptr;
};

// The seven columns. Each editor window keeps its column in its user data.
class PlaylistPage::FileCol : public GridCtrl::Column {
public:
    explicit FileCol(PlaylistPage *page) : page_(page) {}
    void BeginEdit(int row) override;
    void OnHeaderRightClick(int x, int y) override;

private:
    PlaylistPage *page_;
};

// Loops and the three drop-down lists: one editor window over the cell.
class PlaylistPage::EditorCol : public GridCtrl::Column {
public:
    explicit EditorCol(PlaylistPage *page) : page_(page) {}
    ~EditorCol() override;
    void BeginEdit(int row) override;
    void EndEdit() override;

protected:
    virtual HWND CreateEditor(const RECT &cell, int x, int width) = 0;
    virtual void Commit() = 0;
    virtual const wchar_t *SampleText() const = 0;
    // The narrowest the editor may be, in pixels of the grid's font.
    virtual int SampleWidth(HWND list) const;
    static LRESULT CALLBACK EditorProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    PlaylistPage *page_;
    int row_ = -1;
    HWND editor_ = nullptr;
    PlaylistRow *data_ = nullptr;
    WNDPROC editorProc_ = nullptr;
};

class PlaylistPage::LoopsCol : public EditorCol {
public:
    using EditorCol::EditorCol;

protected:
    HWND CreateEditor(const RECT &cell, int x, int width) override;
    void Commit() override;
    const wchar_t *SampleText() const override { return L"Loops  "; }
};

// Size, Bounce and Style: a drop-down list.
class PlaylistPage::ListCol : public EditorCol {
public:
    using EditorCol::EditorCol;

protected:
    HWND CreateEditor(const RECT &cell, int x, int width) override;
    virtual int EditorId() const = 0;
    virtual const wchar_t *const *Items(int *count) const = 0;
    virtual int InitialIndex() const = 0;
};

class PlaylistPage::SizeCol : public ListCol {
public:
    using ListCol::ListCol;

protected:
    void Commit() override;
    const wchar_t *SampleText() const override { return L"Double Original  "; }
    int EditorId() const override;
    const wchar_t *const *Items(int *count) const override;
    int InitialIndex() const override;
};

class PlaylistPage::BounceCol : public ListCol {
public:
    using ListCol::ListCol;

protected:
    void Commit() override;
    const wchar_t *SampleText() const override { return L"yes  "; }
    int SampleWidth(HWND list) const override; // twice the sample: room for the list's arrow
    int EditorId() const override;
    const wchar_t *const *Items(int *count) const override;
    int InitialIndex() const override;
};

class PlaylistPage::StyleCol : public ListCol {
public:
    using ListCol::ListCol;

protected:
    void Commit() override;
    const wchar_t *SampleText() const override { return L"Monitor    "; }
    int EditorId() const override;
    const wchar_t *const *Items(int *count) const override;
    int InitialIndex() const override;
};

// Volume and Speed: a read-only value box over the cell and a pop-up vertical slider below it.
class PlaylistPage::SliderCol : public GridCtrl::Column {
public:
    explicit SliderCol(PlaylistPage *page) : page_(page) {}
    ~SliderCol() override;
    void BeginEdit(int row) override;
    void EndEdit() override;

protected:
    virtual int EditorId() const = 0;
    virtual void SetUpSlider() = 0;            // range, ticks, position
    virtual void OnSliderMoved(int code) = 0;  // update the box
    virtual void Commit() = 0;
    static LRESULT CALLBACK BoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK SliderProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    PlaylistPage *page_;
    int row_ = -1;
    HWND box_ = nullptr;
    HWND slider_ = nullptr;
    PlaylistRow *data_ = nullptr;
    WNDPROC boxProc_ = nullptr;
    WNDPROC sliderProc_ = nullptr;
};

class PlaylistPage::VolumeCol : public SliderCol {
public:
    using SliderCol::SliderCol;

protected:
    int EditorId() const override;
    void SetUpSlider() override;
    void OnSliderMoved(int code) override;
    void Commit() override;
};

class PlaylistPage::SpeedCol : public SliderCol {
public:
    using SliderCol::SliderCol;

protected:
    int EditorId() const override;
    void SetUpSlider() override;
    void OnSliderMoved(int code) override;
    void Commit() override;

private:
    int lastPosition_ = SpeedSlider::kCentre;
};
