// The Welcome dialog shown once on first use: QuickStart.rtf from the installation folder
// in a read-only rich-edit control.
#pragma once

#include <windows.h>

#include "help.h"

// Runs the modal dialog; the rich-edit library must be loaded by the caller.
void RunQuickStartDialog(HINSTANCE instance, HWND owner, const HelpLocation &location);
