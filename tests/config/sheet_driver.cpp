#include "sheet_driver.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "configuration.h"

bool WaitUntil(const std::function<bool()> &done, DWORD ms)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (done())
            return true;
        if (GetTickCount() - start > ms)
            return false;
        Sleep(20);
    }
}

namespace {

bool HasTabControl(HWND window)
{
    return FindWindowExW(window, nullptr, WC_TABCONTROLW, nullptr) != nullptr;
}

struct Search {
    const wchar_t *caption;
    HWND except;
    HWND found;
    bool wantSheet;
};

BOOL CALLBACK FindTopLevel(HWND window, LPARAM parameter)
{
    auto *search = reinterpret_cast<Search *>(parameter);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() || window == search->except || !IsWindowVisible(window))
        return TRUE;
    wchar_t className[64] = L"";
    GetClassNameW(window, className, 64);
    if (wcscmp(className, L"#32770") != 0)
        return TRUE;
    if (search->wantSheet) {
        if (HasTabControl(window)) {
            search->found = window;
            return FALSE;
        }
        return TRUE;
    }
    if (WindowText(window) == search->caption && !HasTabControl(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

} // namespace

std::wstring WindowText(HWND window)
{
    wchar_t text[2048] = L"";
    GetWindowTextW(window, text, 2048);
    return text;
}

void SheetRun::Start(HWND parent, bool parentFromCommandLine)
{
    settings_.SetDefaults();
    settings_.Load();
    finished_ = false;
    thread_ = std::thread([this, parent, parentFromCommandLine] {
        RunConfiguration(parent, parentFromCommandLine, settings_);
        finished_ = true;
    });
    Search search{nullptr, nullptr, nullptr, true};
    EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&search));
    search.except = search.found; // a sheet a failed case could not close
    WaitUntil([&] {
        search.found = nullptr;
        EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr && PropSheet_GetCurrentPageHwnd(search.found) != nullptr;
    });
    sheet_ = search.found;
}

bool SheetRun::Finish(DWORD ms)
{
    bool done = WaitUntil([this] { return finished_.load(); }, ms);
    if (done && thread_.joinable())
        thread_.join();
    return done;
}

namespace {
BOOL CALLBACK CloseOtherDialogs(HWND window, LPARAM sheet)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t className[64] = L"";
    GetClassNameW(window, className, 64);
    if (process == GetCurrentProcessId() && window != reinterpret_cast<HWND>(sheet) && IsWindowVisible(window) &&
        wcscmp(className, L"#32770") == 0) {
        PostMessageW(window, WM_COMMAND, IDNO, 0);
        PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
    }
    return TRUE;
}
} // namespace

SheetRun::~SheetRun()
{
    if (thread_.joinable()) {
        // A failed case may leave the sheet open: close whatever it shows (No to a question)
        // and then the sheet with Cancel, so the next case starts clean.
        for (int attempt = 0; attempt < 20 && !finished_; ++attempt) {
            EnumWindows(CloseOtherDialogs, reinterpret_cast<LPARAM>(sheet_));
            WaitUntil([this] { return finished_.load(); }, 300);
            if (sheet_ && !finished_)
                PostMessageW(sheet_, WM_COMMAND, IDCANCEL, 0);
            WaitUntil([this] { return finished_.load(); }, 500);
        }
        if (finished_)
            thread_.join();
        else
            thread_.detach();
    }
}

HWND SheetRun::Page(int index) const
{
    return sheet_ ? PropSheet_IndexToHwnd(sheet_, index) : nullptr;
}

HWND SheetRun::Grid() const
{
    return GetDlgItem(PlaylistPage(), 32775);
}

HWND FindDialog(const wchar_t *caption, HWND except, DWORD ms)
{
    Search search{caption, except, nullptr, false};
    WaitUntil([&] {
        search.found = nullptr;
        EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr;
    }, ms);
    return search.found;
}

std::wstring MessageText(HWND box)
{
    return WindowText(GetDlgItem(box, 0xFFFF));
}

void Press(HWND dialog, int buttonId)
{
    HWND button = GetDlgItem(dialog, buttonId);
    if (button && IsWindowEnabled(button))
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    else
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED), 0);
}

std::wstring AnswerMessage(int answer, DWORD ms)
{
    HWND box = FindDialog(L"Reelhaven", nullptr, ms);
    if (!box)
        return L"(no message)";
    std::wstring text = MessageText(box);
    Press(box, answer);
    WaitUntil([box] { return !IsWindow(box); }, 5000);
    return text;
}

bool NoMessage(DWORD ms)
{
    return FindDialog(L"Reelhaven", nullptr, ms) == nullptr;
}

std::wstring CellText(HWND grid, int row, int column)
{
    wchar_t text[600] = L"";
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 600;
    SendMessageW(grid, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    return text;
}

int RowCount(HWND grid)
{
    return static_cast<int>(SendMessageW(grid, LVM_GETITEMCOUNT, 0, 0));
}

UINT RowState(HWND grid, int row, UINT mask)
{
    return static_cast<UINT>(SendMessageW(grid, LVM_GETITEMSTATE, row, mask));
}

void SelectRow(HWND grid, int row)
{
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(grid, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
}

namespace {

void MouseAt(POINT screen, bool right)
{
    SetForegroundWindow(GetAncestor(WindowFromPoint(screen), GA_ROOT));
    SetCursorPos(screen.x, screen.y);
    Sleep(30);
    INPUT input[2]{};
    input[0].type = input[1].type = INPUT_MOUSE;
    input[0].mi.dwFlags = right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN;
    input[1].mi.dwFlags = right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP;
    SendInput(2, input, sizeof(INPUT));
    Sleep(150);
}

} // namespace

void ClickCell(HWND grid, int row, int column, bool right)
{
    RECT cell{};
    cell.top = column;
    cell.left = LVIR_LABEL;
    SendMessageW(grid, LVM_GETSUBITEMRECT, row, reinterpret_cast<LPARAM>(&cell));
    if (column == 0) {
        cell.left = LVIR_LABEL;
        SendMessageW(grid, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&cell));
    }
    POINT point{(cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2};
    ClientToScreen(grid, &point);
    MouseAt(point, right);
}

void ClickWindow(HWND window, bool right)
{
    RECT rect;
    GetWindowRect(window, &rect);
    MouseAt(POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2}, right);
}

void Key(WORD vk, bool shift)
{
    std::vector<INPUT> inputs;
    auto add = [&](WORD key, bool up) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = key;
        input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        inputs.push_back(input);
    };
    if (shift)
        add(VK_SHIFT, false);
    add(vk, false);
    add(vk, true);
    if (shift)
        add(VK_SHIFT, true);
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    Sleep(120);
}

void TypeText(const wchar_t *text)
{
    for (; *text; ++text) {
        INPUT input[2]{};
        input[0].type = input[1].type = INPUT_KEYBOARD;
        input[0].ki.wScan = input[1].ki.wScan = *text;
        input[0].ki.dwFlags = KEYEVENTF_UNICODE;
        input[1].ki.dwFlags = KEYEVENTF_UNICODE | KEYEVENTF_KEYUP;
        SendInput(2, input, sizeof(INPUT));
    }
    Sleep(150);
}

void ToolbarClick(HWND page, int toolbarId, int command)
{
    HWND bar = GetDlgItem(page, toolbarId);
    RECT rect{};
    SendMessageW(bar, TB_GETRECT, command, reinterpret_cast<LPARAM>(&rect));
    POINT point{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    ClientToScreen(bar, &point);
    MouseAt(point, false);
}

void ChooseFile(const wchar_t *title, const std::wstring &fileNames)
{
    HWND dialog = FindDialog(title, nullptr, 15000);
    if (!dialog)
        return;
    // The file name box of the explorer-style dialog (combo box 0x47c or edit 0x480).
    HWND name = GetDlgItem(dialog, 0x47c);
    if (name) {
        HWND edit = FindWindowExW(name, nullptr, L"Edit", nullptr);
        if (edit)
            name = edit;
    } else {
        name = GetDlgItem(dialog, 0x480);
    }
    SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(fileNames.c_str()));
    Press(dialog, IDOK);
    WaitUntil([dialog] { return !IsWindow(dialog); }, 10000);
}

void Screenshot(HWND window, const wchar_t *name)
{
    const wchar_t *folder = _wgetenv(L"CONFIG_ARTEFACTS");
    if (!folder || !window)
        return;
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Sleep(300);
    RECT rect;
    GetWindowRect(window, &rect);
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void *bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory, old);
    DWORD stride = ((width * 3 + 3) & ~3);
    DWORD size = stride * height;
    BITMAPFILEHEADER file{};
    file.bfType = 0x4d42;
    file.bfOffBits = sizeof(file) + sizeof(info.bmiHeader);
    file.bfSize = file.bfOffBits + size;
    std::wstring path = std::wstring(folder) + L"\\" + name + L".bmp";
    if (FILE *out = _wfopen(path.c_str(), L"wb")) {
        fwrite(&file, sizeof(file), 1, out);
        fwrite(&info.bmiHeader, sizeof(info.bmiHeader), 1, out);
        fwrite(bits, 1, size, out);
        fclose(out);
    }
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}

namespace {
const wchar_t *kProductKey = L"Software\\Halcyra\\Reelhaven";
std::wstring KeyPath(const wchar_t *subkey)
{
    return subkey && *subkey ? std::wstring(kProductKey) + L"\\" + subkey : std::wstring(kProductKey);
}
} // namespace

bool RegistryDword(const wchar_t *subkey, const wchar_t *name, DWORD *value)
{
    DWORD size = sizeof(*value);
    return RegGetValueW(HKEY_CURRENT_USER, KeyPath(subkey).c_str(), name, RRF_RT_REG_DWORD, nullptr, value,
                        &size) == ERROR_SUCCESS;
}

std::wstring RegistryText(const wchar_t *subkey, const wchar_t *name)
{
    wchar_t text[600] = L"";
    DWORD size = sizeof(text);
    if (RegGetValueW(HKEY_CURRENT_USER, KeyPath(subkey).c_str(), name, RRF_RT_REG_SZ, nullptr, text, &size) !=
        ERROR_SUCCESS)
        return L"(missing)";
    return text;
}

void ClearProductKey()
{
    RegDeleteTreeW(HKEY_CURRENT_USER, kProductKey);
}

void SetRegistryText(const wchar_t *subkey, const wchar_t *name, const wchar_t *text)
{
    RegSetKeyValueW(HKEY_CURRENT_USER, KeyPath(subkey).c_str(), name, REG_SZ, text,
                    static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t)));
}

void SetRegistryDword(const wchar_t *subkey, const wchar_t *name, DWORD value)
{
    RegSetKeyValueW(HKEY_CURRENT_USER, KeyPath(subkey).c_str(), name, REG_DWORD, &value, sizeof(value));
}
