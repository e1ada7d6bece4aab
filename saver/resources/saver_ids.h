// Resource numbers of the program's start-up, preview and run resources (the
// configuration dialog's resources are numbered in config/).
#pragma once

#define IDS_DESCRIPTION 1          // the name Windows lists the screen saver under
#define IDS_INSTALLATION_DAMAGED 11
#define IDI_REELHAVEN 100          // the program's icon
#define IDB_PREVIEW 101            // 152 x 112, 24 bits per pixel
#define IDR_MESSAGE_VIDEO 127      // resource type "AVI": "Playlist is empty"
