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

// Size, Bounce and Style: a drop-down list of choices.
class PlaylistPage::ListCol : public EditorCol {
public:
    // What a drop-down column offers and where the choice lives in the row.
    struct Choices {
        int editorId;
        const wchar_t *const *names;
        int count;
        const wchar_t *sample;   // the widest name, with room to spare
        int sampleRepeat;        // Bounce takes twice its sample: room for the list's arrow
        int (*get)(const PlaylistRow &);
        void (*set)(PlaylistRow &, int index);
    };
    ListCol(PlaylistPage *page, const Choices &choices) : EditorCol(page), choices_(choices) {}

protected:
    HWND CreateEditor(const RECT &cell, int x, int width) override;
    void Commit() override;
    const wchar_t *SampleText() const override { return choices_.sample; }
    int SampleWidth(HWND list) const override { return choices_.sampleRepeat * EditorCol::SampleWidth(list); }

private:
    const Choices &choices_;
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
