// The seven columns of the Playlist page and their in-place editors. Each editor window
// keeps its column in its user data.
#pragma once

#include "playlist_page.h"
#include "speed_slider.h"

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
