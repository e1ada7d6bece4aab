#include "configuration.h"

#include <commctrl.h>
#include <objbase.h>

#include "about_page.h"
#include "config/config_ids.h"
#include "handles.h"
#include "options_page.h"
#include "playlist_page.h"
#include "settings.h"

namespace {

UINT CALLBACK PageCallback(HWND, UINT, PROPSHEETPAGEW *)
{
    return 1;
}

HINSTANCE ProgramInstance()
{
    return GetModuleHandleW(nullptr);
}

} // namespace

bool ConfigSheet::Run(HelpLocation &location, HWND parent, bool parentFromCommandLine, Settings &settings)
{
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_TAB_CLASSES};
    InitCommonControlsEx(&controls);
    HINSTANCE instance = ProgramInstance();

    PlaylistPage playlist(instance, &settings, &location, parent, !parentFromCommandLine);
    OptionsPage options(instance, &settings, &location);
    AboutPage about(instance, &settings, &location);

    LocateInstallationFolder(location);
    DWORD help = location.found ? PSP_HASHELP : 0;

    PROPSHEETPAGEW pages[3]{};
    struct PageInfo {
        int templateId;
        int icon;
        DLGPROC procedure;
        void *object;
        DWORD help;
    } info[3] = {
        {IDD_PLAYLIST_PAGE, IDI_PLAYLIST_TAB, PlaylistPage::DialogProc, &playlist, help},
        {IDD_OPTIONS_PAGE, IDI_OPTIONS_TAB, OptionsPage::DialogProc, &options, help},
        {IDD_ABOUT_PAGE, IDI_ABOUT_TAB, AboutPage::DialogProc, &about, 0},
    };
    for (int n = 0; n < 3; ++n) {
        PROPSHEETPAGEW &page = pages[n];
        page.dwSize = sizeof(page);
        page.dwFlags = PSP_USEICONID | PSP_USECALLBACK | info[n].help;
        page.hInstance = instance;
        page.pszTemplate = MAKEINTRESOURCEW(info[n].templateId);
        page.pszIcon = MAKEINTRESOURCEW(info[n].icon);
        page.pfnDlgProc = info[n].procedure;
        page.lParam = reinterpret_cast<LPARAM>(info[n].object);
        page.pfnCallback = PageCallback;
    }

    PROPSHEETHEADERW header{};
    header.dwSize = sizeof(header);
    header.dwFlags = PSH_PROPSHEETPAGE | PSH_NOAPPLYNOW;
    header.hwndParent = parent;
    header.hInstance = instance;
    header.pszCaption = L"Reelhaven Configuration";
    header.nPages = 3;
    header.nStartPage = 0;
    header.ppsp = pages;
    INT_PTR result = PropertySheetW(&header);

    about.DeleteFont();
    options.DeleteBrush();
    return result > 0;
}

void RunConfiguration(HWND parent, bool parentFromCommandLine, Settings &settings)
{
    ComApartment apartment(COINIT_APARTMENTTHREADED);
    HelpLocation location{};
    bool saved = ConfigSheet().Run(location, parent, parentFromCommandLine, settings);
    settings.Save(saved);
}
