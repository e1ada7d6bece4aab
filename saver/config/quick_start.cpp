#include "quick_start.h"

#include <richedit.h>

#include <string>

#include "config/config_ids.h"
#include "config_common.h"
#include "handles.h"

namespace {

class QuickStartDialog {
public:
    explicit QuickStartDialog(const HelpLocation &location) : location_(location) {}
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

private:
    INT_PTR OnInitDialog(HWND window);
    INT_PTR OnCommand(WORD id);
    static DWORD CALLBACK StreamIn(DWORD_PTR cookie, LPBYTE buffer, LONG wanted, LONG *read);

    const HelpLocation &location_;
    HWND window_ = nullptr;
    UniqueHandle file_;
};

INT_PTR CALLBACK QuickStartDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto *dialog = DialogOwner<QuickStartDialog>(window, message, lParam, DialogKind::Dialog);
    if (!dialog)
        return FALSE;
    switch (message) {
    case WM_INITDIALOG:
        return dialog->OnInitDialog(window);
    case WM_COMMAND:
        return dialog->OnCommand(LOWORD(wParam));
    case WM_CLOSE:
        EndDialog(window, IDOK);
        return TRUE;
    }
    return FALSE;
}

INT_PTR QuickStartDialog::OnInitDialog(HWND window)
{
    window_ = window;
    std::wstring path = std::wstring(location_.folder) + L"QuickStart.rtf";
    if (path.size() < 500) {
        file_.reset(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    if (file_) {
        EDITSTREAM stream{};
        stream.dwCookie = reinterpret_cast<DWORD_PTR>(this);
        stream.pfnCallback = StreamIn;
        SendDlgItemMessageW(window, IDC_QUICK_START_TEXT, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&stream));
        file_.reset();
    }
    SetFocus(GetDlgItem(window, IDOK));
    return FALSE;
}

DWORD CALLBACK QuickStartDialog::StreamIn(DWORD_PTR cookie, LPBYTE buffer, LONG wanted, LONG *read)
{
    auto *dialog = reinterpret_cast<QuickStartDialog *>(cookie);
    *read = 0;
    if (!dialog->file_)
        return 0;
    DWORD got = 0;
    if (!ReadFile(dialog->file_.get(), buffer, static_cast<DWORD>(wanted), &got, nullptr))
        got = 0;
    *read = static_cast<LONG>(got);
    if (got < static_cast<DWORD>(wanted))
        dialog->file_.reset();
    return 0;
}

INT_PTR QuickStartDialog::OnCommand(WORD id)
{
    if (id == IDOK || id == IDCANCEL) {
        PostMessageW(window_, WM_CLOSE, 0, 0);
        return TRUE;
    }
    return FALSE;
}

} // namespace

void RunQuickStartDialog(HINSTANCE instance, HWND owner, const HelpLocation &location)
{
    QuickStartDialog dialog(location);
    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_QUICK_START), owner, QuickStartDialog::DialogProc,
                    reinterpret_cast<LPARAM>(&dialog));
}
