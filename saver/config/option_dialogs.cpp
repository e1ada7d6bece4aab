// The Options page's dialogs: Playlist Defaults, Video Files Filter and Add File Type.
#include "option_dialogs.h"

#include <commctrl.h>

#include <cwchar>
#include <string>

#include "config/config_ids.h"
#include "config_common.h"
#include "speed_slider.h"
#include "value_limits.h"

namespace {

// Reads the box as a decimal number; no number counts as 0. The box takes four digits
// from the keyboard, but a longer text put there otherwise is refused, not cut to four.
long ReadLoops(HWND dialog, int id)
{
    wchar_t text[12] = L"";
    GetDlgItemTextW(dialog, id, text, 12);
    return wcstol(text, nullptr, 10);
}

void FillList(HWND dialog, int id, const wchar_t *const *items, int count, int selection)
{
    for (int n = 0; n < count; ++n)
        SendDlgItemMessageW(dialog, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(items[n]));
    SendDlgItemMessageW(dialog, id, CB_SETCURSEL, selection, 0);
}

// ---- Playlist Defaults ----

class PlaylistDefaultsDialog {
public:
    explicit PlaylistDefaultsDialog(Settings &settings) : settings_(settings) {}
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

private:
    INT_PTR OnInitDialog(HWND window);
    INT_PTR OnCommand(WORD id);
    INT_PTR OnHScroll(HWND control, int code);
    void ShowSpeed(float speed);

    Settings &settings_;
    HWND window_ = nullptr;
    int lastSpeedPosition_ = SpeedSlider::kCentre;
};

INT_PTR CALLBACK PlaylistDefaultsDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto *dialog = DialogOwner<PlaylistDefaultsDialog>(window, message, lParam, DialogKind::Dialog);
    if (!dialog)
        return FALSE;
    switch (message) {
    case WM_INITDIALOG:
        return dialog->OnInitDialog(window);
    case WM_COMMAND:
        return dialog->OnCommand(LOWORD(wParam));
    case WM_HSCROLL:
        return dialog->OnHScroll(reinterpret_cast<HWND>(lParam), LOWORD(wParam));
    case WM_CLOSE:
        EndDialog(window, 0);
        return TRUE;
    }
    return FALSE;
}

void PlaylistDefaultsDialog::ShowSpeed(float speed)
{
    wchar_t text[16];
    swprintf(text, 16, L"%04.2f", static_cast<double>(speed));
    SetDlgItemTextW(window_, IDC_DEFAULT_SPEED_LABEL, text);
}

INT_PTR PlaylistDefaultsDialog::OnInitDialog(HWND window)
{
    using namespace SpeedSlider;
    window_ = window;
    const PlaylistRow &defaults = settings_.playlistDefaults;
    SendDlgItemMessageW(window_, IDC_DEFAULT_LOOPS, EM_LIMITTEXT, kLoopDigits, 0);
    SetDlgItemInt(window_, IDC_DEFAULT_LOOPS, static_cast<UINT>(defaults.loops), TRUE);
    FillList(window_, IDC_DEFAULT_SIZE, kSizeNames, kSizeModeCount, defaults.sizeMode);
    static const wchar_t *const bounce[] = {L"no", L"yes"};
    FillList(window_, IDC_DEFAULT_BOUNCE, bounce, 2, defaults.bounce ? 1 : 0);
    SetVolumeRange(window_, IDC_DEFAULT_VOLUME);
    SendDlgItemMessageW(window_, IDC_DEFAULT_VOLUME, TBM_SETPOS, TRUE, defaults.volume);
    SetPercentLabel(window_, IDC_DEFAULT_VOLUME_LABEL, defaults.volume);
    FillList(window_, IDC_DEFAULT_STYLE, kStyleNames, kStyleCount, defaults.displayStyle != 0 ? 1 : 0);

    lastSpeedPosition_ = SetUp(GetDlgItem(window_, IDC_DEFAULT_SPEED), defaults.speed, Orientation::Horizontal);
    ShowSpeed(defaults.speed);
    return TRUE;
}

INT_PTR PlaylistDefaultsDialog::OnHScroll(HWND control, int code)
{
    using namespace SpeedSlider;
    if (control == GetDlgItem(window_, IDC_DEFAULT_VOLUME)) {
        SetPercentLabel(window_, IDC_DEFAULT_VOLUME_LABEL, SliderPosition(window_, IDC_DEFAULT_VOLUME));
    } else if (control == GetDlgItem(window_, IDC_DEFAULT_SPEED)) {
        ShowSpeed(OnMoved(control, code, &lastSpeedPosition_, Orientation::Horizontal));
    }
    return TRUE;
}

INT_PTR PlaylistDefaultsDialog::OnCommand(WORD id)
{
    if (id == IDCANCEL) {
        EndDialog(window_, 0);
        return TRUE;
    }
    if (id != IDOK)
        return FALSE;
    long loops = ReadLoops(window_, IDC_DEFAULT_LOOPS);
    if (!kLoopRange.Holds(loops)) {
        // This one message has its own caption.
        MessageBoxW(window_, Format(L"Valid values for Loops are %ld to %ld.", kLoopRange.low, kLoopRange.high).c_str(),
                    L"Invalid value", MB_ICONINFORMATION);
        HWND box = GetDlgItem(window_, IDC_DEFAULT_LOOPS);
        SetFocus(box);
        SendMessageW(box, EM_SETSEL, 0, -1);
        return TRUE;
    }
    PlaylistRow &defaults = settings_.playlistDefaults;
    defaults.loops = loops;
    LRESULT size = SendDlgItemMessageW(window_, IDC_DEFAULT_SIZE, CB_GETCURSEL, 0, 0);
    if (size >= 0)
        defaults.sizeMode = static_cast<LONG>(size);
    defaults.bounce = SendDlgItemMessageW(window_, IDC_DEFAULT_BOUNCE, CB_GETCURSEL, 0, 0) != 0;
    defaults.volume = SliderPosition(window_, IDC_DEFAULT_VOLUME);
    LRESULT style = SendDlgItemMessageW(window_, IDC_DEFAULT_STYLE, CB_GETCURSEL, 0, 0);
    if (style == 0 || style == 1)
        defaults.displayStyle = static_cast<LONG>(style);
    defaults.speed = SpeedSlider::PositionToSpeed(SliderPosition(window_, IDC_DEFAULT_SPEED),
                                                  SpeedSlider::Orientation::Horizontal);
    EndDialog(window_, 0);
    return TRUE;
}

// ---- Video Files Filter ----

class FileTypesDialog {
public:
    FileTypesDialog(HINSTANCE instance, Settings &settings) : instance_(instance), settings_(settings) {}
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

private:
    INT_PTR OnInitDialog(HWND window);
    INT_PTR OnCommand(WORD id, WORD code);
    void OnRemove();
    void OnOk();

    HINSTANCE instance_;
    Settings &settings_;
    HWND window_ = nullptr;
};

INT_PTR CALLBACK FileTypesDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto *dialog = DialogOwner<FileTypesDialog>(window, message, lParam, DialogKind::Dialog);
    if (!dialog)
        return FALSE;
    switch (message) {
    case WM_INITDIALOG:
        return dialog->OnInitDialog(window);
    case WM_COMMAND:
        return dialog->OnCommand(LOWORD(wParam), HIWORD(wParam));
    case WM_CLOSE:
        EndDialog(window, 0);
        return TRUE;
    }
    return FALSE;
}

INT_PTR FileTypesDialog::OnInitDialog(HWND window)
{
    window_ = window;
    ForEachExtension(settings_.videoFileTypes, [&](const wchar_t *extension) {
        SendDlgItemMessageW(window_, IDC_TYPE_LIST, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(extension));
    });
    EnableWindow(GetDlgItem(window_, IDC_TYPE_REMOVE), FALSE);
    return TRUE;
}

void FileTypesDialog::OnRemove()
{
    HWND list = GetDlgItem(window_, IDC_TYPE_LIST);
    LRESULT selected = SendMessageW(list, LB_GETCURSEL, 0, 0);
    if (selected < 0)
        return;
    SendMessageW(list, LB_DELETESTRING, selected, 0);
    LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    if (count <= 0) {
        // Keep the keyboard focus somewhere useful when the button goes grey.
        if (GetFocus() == GetDlgItem(window_, IDC_TYPE_REMOVE))
            SetFocus(GetDlgItem(window_, IDC_TYPE_ADD));
        EnableWindow(GetDlgItem(window_, IDC_TYPE_REMOVE), FALSE);
        return;
    }
    SendMessageW(list, LB_SETCURSEL, selected < count ? selected : count - 1, 0);
}

void FileTypesDialog::OnOk()
{
    HWND list = GetDlgItem(window_, IDC_TYPE_LIST);
    std::wstring types;
    LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT n = 0; n < count; ++n) {
        LRESULT length = SendMessageW(list, LB_GETTEXTLEN, n, 0);
        if (length < 0)
            continue;
        std::wstring item(length + 1, L'\0');
        SendMessageW(list, LB_GETTEXT, n, reinterpret_cast<LPARAM>(item.data()));
        item.resize(length);
        types += L"*" + item + L";";
    }
    if (types.size() > 199)
        types.resize(199);
    if (!types.empty() && types.back() == L';')
        types.pop_back();
    CopyText(settings_.videoFileTypes, 200, types.c_str());
}

INT_PTR FileTypesDialog::OnCommand(WORD id, WORD code)
{
    switch (id) {
    case IDC_TYPE_LIST:
        if (code == LBN_SELCHANGE)
            EnableWindow(GetDlgItem(window_, IDC_TYPE_REMOVE),
                         SendDlgItemMessageW(window_, IDC_TYPE_LIST, LB_GETCURSEL, 0, 0) >= 0);
        return TRUE;
    case IDC_TYPE_REMOVE:
        OnRemove();
        return TRUE;
    case IDC_TYPE_ADD: {
        wchar_t extension[100];
        if (RunAddFileTypeDialog(instance_, window_, extension, 100) == 1)
            SendDlgItemMessageW(window_, IDC_TYPE_LIST, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(extension));
        return TRUE;
    }
    case IDOK:
        OnOk();
        EndDialog(window_, IDOK);
        return TRUE;
    case IDCANCEL:
        EndDialog(window_, 0);
        return TRUE;
    }
    return FALSE;
}

// ---- Add File Type ----

struct AddFileTypeState {
    wchar_t *extension;
    size_t size;
};

INT_PTR CALLBACK AddFileTypeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        SendDlgItemMessageW(window, IDC_TYPE_EXTENSION, EM_LIMITTEXT, 99, 0);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            auto *state = reinterpret_cast<AddFileTypeState *>(GetWindowLongPtrW(window, DWLP_USER));
            wchar_t text[100] = L"";
            GetDlgItemTextW(window, IDC_TYPE_EXTENSION, text, 100);
            const wchar_t *rest = text;
            if (*rest == L'*')
                ++rest;
            if (*rest == L'.')
                ++rest;
            std::wstring extension = std::wstring(L".") + rest;
            size_t limit = state->size < 100 ? state->size : 100;
            CopyText(state->extension, limit, extension.c_str());
            EndDialog(window, 1);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(window, 0);
            return TRUE;
        }
        break;
    case WM_CLOSE:
        EndDialog(window, 0);
        return TRUE;
    }
    return FALSE;
}

} // namespace

INT_PTR RunPlaylistDefaultsDialog(HINSTANCE instance, HWND owner, Settings &settings)
{
    PlaylistDefaultsDialog dialog(settings);
    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_PLAYLIST_DEFAULTS), owner, PlaylistDefaultsDialog::DialogProc,
                    reinterpret_cast<LPARAM>(&dialog));
    return 0;
}

INT_PTR RunFileTypesDialog(HINSTANCE instance, HWND owner, Settings &settings)
{
    FileTypesDialog dialog(instance, settings);
    INT_PTR result = DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_FILE_TYPES), owner, FileTypesDialog::DialogProc,
                                     reinterpret_cast<LPARAM>(&dialog));
    return result == IDOK ? IDOK : 0;
}

INT_PTR RunAddFileTypeDialog(HINSTANCE instance, HWND owner, wchar_t *extension, size_t size)
{
    AddFileTypeState state{extension, size};
    INT_PTR result = DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_ADD_FILE_TYPE), owner, AddFileTypeProc,
                                     reinterpret_cast<LPARAM>(&state));
    return result == 1 ? 1 : 0;
}
