#include "file_type_icons.h"

#include <shellapi.h>

#include <cwchar>

#include "config/config_ids.h"
#include "config_common.h"
#include "gridctrl.h"

FileTypeIcons::~FileTypeIcons()
{
    if (list_)
        ImageList_Destroy(list_);
}

void FileTypeIcons::Add(const wchar_t *pattern)
{
    SHFILEINFOW info{};
    if (!SHGetFileInfoW(pattern, FILE_ATTRIBUTE_NORMAL, &info, sizeof(info),
                        SHGFI_USEFILEATTRIBUTES | SHGFI_ICON | SHGFI_SMALLICON) ||
        !info.hIcon)
        return;
    int image = ImageList_AddIcon(list_, info.hIcon);
    if (image >= 0) {
        Entry entry{};
        CopyText(entry.extension, 10, pattern[0] ? pattern + 1 : pattern);
        entry.image = image;
        entries_.push_back(entry);
    }
    DestroyIcon(info.hIcon);
}

void FileTypeIcons::Build(GridCtrl &grid, HINSTANCE instance, const wchar_t *types)
{
    HIMAGELIST list = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 5, 1);
    if (!list)
        return;
    HIMAGELIST old = list_;
    list_ = list;
    grid.SetImageList(nullptr);
    entries_.clear();
    ForEachPiece(types, L";", [&](const wchar_t *pattern) { Add(pattern); });
    HICON failed = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_PLAY_FAILED), IMAGE_ICON, 16, 16, 0));
    if (failed) {
        int image = ImageList_AddIcon(list, failed);
        if (image >= 0)
            ImageList_SetOverlayImage(list, image, 1);
        DestroyIcon(failed);
    }
    grid.SetImageList(list);
    if (old)
        ImageList_Destroy(old);
}

bool FileTypeIcons::Update(GridCtrl &grid, HINSTANCE instance, const wchar_t *types)
{
    if (entries_.empty()) {
        Build(grid, instance, types);
        return true;
    }
    ForEachPiece(types, L";", [&](const wchar_t *pattern) {
        const wchar_t *extension = pattern + 1;
        bool known = false;
        for (const Entry &entry : entries_)
            known = known || wcsncmp(entry.extension, extension, 10) == 0;
        if (!known)
            Add(pattern);
    });
    return false;
}

int FileTypeIcons::ImageOf(const wchar_t *name) const
{
    const wchar_t *dot = wcsrchr(name, L'.');
    if (!dot)
        return -1;
    for (const Entry &entry : entries_)
        if (wcsncmp(entry.extension, dot, 10) == 0)
            return entry.image;
    return -1;
}
