#include "options_page.h"

#include <commctrl.h>
#include <commdlg.h>

#include <string>

#include "config/config_ids.h"
#include "config_common.h"
#include "option_dialogs.h"

namespace {

void SetCheck(HWND dialog, int id, bool on)
{
    CheckDlgButton(dialog, id, on ? BST_CHECKED : BST_UNCHECKED);
}

bool GetCheck(HWND dialog, int id)
{
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

} // namespace

// ---- Options page ----

INT_PTR CALLBACK OptionsPage::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto *page = DialogOwner<OptionsPage>(window, message, lParam, DialogKind::PropertyPage);
    if (!page)
        return FALSE;
    switch (message) {
    case WM_INITDIALOG:
        return page->OnInitDialog(window);
    case WM_COMMAND:
        return page->OnCommand(LOWORD(wParam));
    case WM_NOTIFY:
        return page->OnNotify(reinterpret_cast<NMHDR *>(lParam));
    case WM_HSCROLL:
        return page->OnHScroll(reinterpret_cast<HWND>(lParam));
    case WM_CTLCOLORSTATIC:
        return page->OnCtlColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    }
    return FALSE;
}

INT_PTR OptionsPage::OnInitDialog(HWND window)
{
    page_ = window;
    SendDlgItemMessageW(page_, IDC_BOUNCE_SPEED, TBM_SETRANGE, FALSE, MAKELPARAM(0, kBounceSpeedCount - 1));
    SendDlgItemMessageW(page_, IDC_BOUNCE_SPEED, TBM_SETPOS, TRUE,
                        FindBounceSpeed(settings_->bounceStep, settings_->bounceInterval));

    ShowFileTypes();

    SetVolumeRange(page_, IDC_MASTER_VOLUME);
    SendDlgItemMessageW(page_, IDC_MASTER_VOLUME, TBM_SETPOS, TRUE, settings_->masterVolume);
    SetPercentLabel(page_, IDC_MASTER_VOLUME_LABEL, settings_->masterVolume);

    SetCheck(page_, IDC_RANDOM_ORDER, settings_->randomOrderPlayback);
    SetCheck(page_, IDC_CONTINUE, settings_->continueWhereStopped);
    SetCheck(page_, IDC_IGNORE_MOUSE, settings_->ignoreMouseMovement);
    SetCheck(page_, IDC_KEYBOARD, settings_->keyboardControls);

    focusBrush_.reset(CreateSolidBrush(settings_->focusColor));

    // Each renderer work-around applies to some Windows versions only.
    if (IsXpOrLater()) {
        SetCheck(page_, IDC_CLASSIC_RENDERER, settings_->useClassicVideoRenderer);
    } else {
        EnableWindow(GetDlgItem(page_, IDC_CLASSIC_RENDERER), FALSE);
        EnableWindow(GetDlgItem(page_, IDC_CLASSIC_RENDERER_NOTE), FALSE);
    }
    if (IsVistaOrLater()) {
        EnableWindow(GetDlgItem(page_, IDC_SINGLE_RENDERER), FALSE);
        EnableWindow(GetDlgItem(page_, IDC_SINGLE_RENDERER_NOTE), FALSE);
    } else {
        SetCheck(page_, IDC_SINGLE_RENDERER, settings_->useSingleRendererDesktopMode);
    }
    return TRUE;
}

void OptionsPage::CopyControlsToSettings()
{
    int row = SliderPosition(page_, IDC_BOUNCE_SPEED);
    if (row >= 0 && row < kBounceSpeedCount) {
        settings_->bounceStep = kBounceSpeeds[row].step;
        settings_->bounceInterval = kBounceSpeeds[row].interval;
    }
    settings_->masterVolume = SliderPosition(page_, IDC_MASTER_VOLUME);
    settings_->randomOrderPlayback = GetCheck(page_, IDC_RANDOM_ORDER);
    settings_->continueWhereStopped = GetCheck(page_, IDC_CONTINUE);
    settings_->ignoreMouseMovement = GetCheck(page_, IDC_IGNORE_MOUSE);
    settings_->keyboardControls = GetCheck(page_, IDC_KEYBOARD);
    settings_->useClassicVideoRenderer = GetCheck(page_, IDC_CLASSIC_RENDERER);
    settings_->useSingleRendererDesktopMode = GetCheck(page_, IDC_SINGLE_RENDERER);
}

INT_PTR OptionsPage::OnCommand(WORD id)
{
    switch (id) {
    case IDC_DEFAULTS_CHANGE:
        RunPlaylistDefaultsDialog(instance_, page_, *settings_);
        return TRUE;
    case IDC_FILE_TYPES_EDIT:
        if (RunFileTypesDialog(instance_, page_, *settings_) == IDOK)
            ShowFileTypes();
        return TRUE;
    case IDC_FOCUS_COLOR:
        ChooseFocusColor();
        return TRUE;
    case IDC_MONITORS_CHANGE:
        RunMonitorsDialog(instance_, page_, *settings_);
        return TRUE;
    }
    return FALSE;
}

void OptionsPage::ShowFileTypes()
{
    std::wstring shown;
    ForEachExtension(settings_->videoFileTypes, [&](const wchar_t *extension) {
        if (!shown.empty())
            shown += L", ";
        shown += extension;
    });
    SetDlgItemTextW(page_, IDC_FILE_TYPES_BOX, shown.c_str());
}

void OptionsPage::ChooseFocusColor()
{
    COLORREF custom[16] = {};
    CHOOSECOLORW choose{};
    choose.lStructSize = sizeof(choose);
    choose.hwndOwner = page_;
    choose.rgbResult = settings_->focusColor;
    choose.lpCustColors = custom;
    choose.Flags = CC_FULLOPEN | CC_RGBINIT;
    if (!ChooseColorW(&choose) || choose.rgbResult == settings_->focusColor)
        return;
    focusBrush_.reset(CreateSolidBrush(choose.rgbResult));
    settings_->focusColor = choose.rgbResult;
    InvalidateRect(GetDlgItem(page_, IDC_FOCUS_SAMPLE), nullptr, TRUE);
}

INT_PTR OptionsPage::OnNotify(NMHDR *header)
{
    switch (header->code) {
    case PSN_HELP:
        OpenHelpFile(*help_, L"Options.htm", page_);
        return TRUE;
    case PSN_KILLACTIVE:
    case PSN_QUERYCANCEL:
        CopyControlsToSettings();
        SetWindowLongPtrW(page_, DWLP_MSGRESULT, FALSE);
        return TRUE;
    }
    return FALSE;
}

INT_PTR OptionsPage::OnHScroll(HWND control)
{
    if (control == GetDlgItem(page_, IDC_MASTER_VOLUME))
        SetPercentLabel(page_, IDC_MASTER_VOLUME_LABEL, SliderPosition(page_, IDC_MASTER_VOLUME));
    return TRUE;
}

INT_PTR OptionsPage::OnCtlColorStatic(HDC dc, HWND control)
{
    if (control != GetDlgItem(page_, IDC_FOCUS_SAMPLE) || !focusBrush_)
        return FALSE;
    SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
    SetBkColor(dc, settings_->focusColor);
    return reinterpret_cast<INT_PTR>(focusBrush_.get());
}
