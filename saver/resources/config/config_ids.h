// Resource and control identifiers of the configuration dialog. Shared by config.rc and
// the code in saver/config; the program's other resources (string 11, bitmap 101, the
// message video 127) are in saver.rc.
#pragma once

// Strings.
#define IDS_FILE_MOVED 4
#define IDS_CANT_PLAY_FORMAT 5
#define IDS_AUDIO_FORMAT 6
#define IDS_PLAY_ERROR 7
#define IDS_UNTITLED 8
#define IDS_OPEN_FAILED 9

// Dialog templates.
#define IDD_PLAYLIST_PAGE 103
#define IDD_OPTIONS_PAGE 104
#define IDD_ABOUT_PAGE 105
#define IDD_PLAYLIST_DEFAULTS 120
#define IDD_FILE_TYPES 121
#define IDD_ADD_FILE_TYPE 122
#define IDD_QUICK_START 135
#define IDD_MONITORS 138

// Icons, bitmaps, cursor, menu.
#define IDI_PLAYLIST_TAB 106
#define IDI_OPTIONS_TAB 107
#define IDI_ABOUT_TAB 108
#define IDI_PLAY_FAILED 137
#define IDB_FILE_TOOLBAR 111
#define IDB_ROW_TOOLBAR 118
#define IDC_LINK_HAND 123
#define IDM_FILE_COLUMN 119
#define IDM_SHOW_PATH 40007

// Playlist page: toolbars, grid, their commands, the editors.
#define IDC_THEME_BUTTON 1055
#define IDC_FILE_TOOLBAR 32774
#define IDC_GRID 32775
#define IDC_ROW_TOOLBAR 32789
#define IDC_NEW 32769
#define IDC_OPEN 32770
#define IDC_SAVE 32771
#define IDC_SAVE_AS 32772
#define IDC_ADD 32776
#define IDC_REMOVE 32777
#define IDC_MOVE_UP 32778
#define IDC_MOVE_DOWN 32779
#define IDC_PLAY 32780
#define IDC_LOOPS_EDITOR 32781
#define IDC_SIZE_EDITOR 32782
#define IDC_VOLUME_EDITOR 32784
#define IDC_BOUNCE_EDITOR 32785
#define IDC_STYLE_EDITOR 32786
#define IDC_SPEED_EDITOR 32788

// Options page.
#define IDC_DEFAULTS_CHANGE 1020
#define IDC_BOUNCE_SPEED 1022
#define IDC_FILE_TYPES_BOX 1023
#define IDC_FILE_TYPES_EDIT 1012
#define IDC_MASTER_VOLUME 1014
#define IDC_MASTER_VOLUME_LABEL 1029
#define IDC_RANDOM_ORDER 1005
#define IDC_CONTINUE 1006
#define IDC_IGNORE_MOUSE 1007
#define IDC_KEYBOARD 1009
#define IDC_FOCUS_COLOR 1049
#define IDC_FOCUS_SAMPLE 1051
#define IDC_CLASSIC_RENDERER 1053
#define IDC_CLASSIC_RENDERER_NOTE 1054
#define IDC_SINGLE_RENDERER 1056
#define IDC_SINGLE_RENDERER_NOTE 1057
#define IDC_MONITORS_CHANGE 1058

// Playlist Defaults dialog.
#define IDC_DEFAULT_LOOPS 1024
#define IDC_DEFAULT_SIZE 1014
#define IDC_DEFAULT_BOUNCE 1015
#define IDC_DEFAULT_VOLUME 1011
#define IDC_DEFAULT_VOLUME_LABEL 1026
#define IDC_DEFAULT_STYLE 1016
#define IDC_DEFAULT_SPEED 1012
#define IDC_DEFAULT_SPEED_LABEL 1027

// Video Files Filter and Add File Type dialogs.
#define IDC_TYPE_LIST 1017
#define IDC_TYPE_ADD 1028
#define IDC_TYPE_REMOVE 1002
#define IDC_TYPE_EXTENSION 1010

// Monitors dialog.
#define IDC_MONITOR_MAP 1060
#define IDC_EACH_MONITOR 1061
#define IDC_IDENTIFY 1062

// Quick Start dialog and About page.
#define IDC_QUICK_START_TEXT 102
#define IDC_ABOUT_LOGO 1101
#define IDC_ABOUT_PRODUCT 1102
#define IDC_ABOUT_NOTICE 1103
#define IDC_LINK_HOME 1104
#define IDC_LINK_SUPPORT 1105
#define IDC_LINK_VIDEOS 1106
