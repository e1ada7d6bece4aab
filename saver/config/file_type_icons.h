// The small icons of the playlist grid: one per video file type of the settings, taken from
// the shell, and the play-failure mark as overlay image 1. The list is made once and grows
// as file types are added; types removed keep their icons.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <vector>

class GridCtrl;

class FileTypeIcons {
public:
    FileTypeIcons() = default;
    ~FileTypeIcons();
    FileTypeIcons(const FileTypeIcons &) = delete;
    FileTypeIcons &operator=(const FileTypeIcons &) = delete;

    // A new list for the patterns of `types` ("*.avi;*.mpg") and the failure mark, handed
    // to the grid in place of the one it had.
    void Build(GridCtrl &grid, HINSTANCE instance, const wchar_t *types);
    // Icons for the patterns not seen yet; a first build when there is none yet (true then).
    bool Update(GridCtrl &grid, HINSTANCE instance, const wchar_t *types);
    // The image of a file name's extension (case-sensitive), or -1.
    int ImageOf(const wchar_t *name) const;

private:
    struct Entry {
        wchar_t extension[10]; // with its dot, such as .avi
        int image;
    };
    void Add(const wchar_t *pattern);

    std::vector<Entry> entries_;
    HIMAGELIST list_ = nullptr;
};
