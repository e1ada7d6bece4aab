// The program's entry point: installation check, settings, then one mode.
#include <windows.h>

#include "command_line.h"
#include "configuration.h"
#include "installation.h"
#include "preview.h"
#include "run_saver.h"
#include "saver_ids.h"
#include "settings.h"

namespace {

// The entry point owns the settings for the whole life of the process.
Settings g_settings;

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int)
{
    wchar_t installFolder[300];
    if (!FindInstallation(installFolder)) {
        wchar_t message[500] = {};
        LoadStringW(instance, IDS_INSTALLATION_DAMAGED, message, 500);
        MessageBoxW(nullptr, message, L"Reelhaven", MB_ICONEXCLAMATION | MB_OK);
        return 1;
    }

    g_settings.SetDefaults();
    g_settings.Load();

    const SaverCommand command = ParseCommandLine(commandLine);
    switch (command.mode) {
    case SaverMode::Configure:
        if (command.useForeground)
            RunConfiguration(GetForegroundWindow(), false, g_settings);
        else
            RunConfiguration(command.window, true, g_settings);
        break;
    case SaverMode::Preview:
        RunPreview(command.window, instance);
        break;
    case SaverMode::Run:
        RunSaver(g_settings, installFolder);
        break;
    case SaverMode::None:
        break;
    }
    return 0;
}
