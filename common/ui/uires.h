// Command, window and string ids that the UI layer itself knows about. The numbers follow the
// long-standing Windows convention for frame programs (commands from 0xE100, frame child windows
// from 0xE800, rebar bands from 0xEB00), so resource files keep their familiar values. Only
// #defines: resource scripts include this file too.
#pragma once

// --- Strings (0xE000 - 0xE0FF) ----------------------------------------------------------------
#define IDS_IDLEMESSAGE         0xE001  // 57345: status bar text while no menu item is highlighted

// --- Commands of the file, edit and application groups (0xE100 - 0xE1FF) ---------------------
#define ID_FILE_NEW             0xE100  // 57600
#define ID_FILE_OPEN            0xE101  // 57601
#define ID_FILE_SAVE            0xE103  // 57603
#define ID_FILE_PRINT           0xE107  // 57607
#define ID_EDIT_COPY            0xE122  // 57634
#define ID_EDIT_CUT             0xE123  // 57635
#define ID_EDIT_PASTE           0xE125  // 57637
#define ID_EDIT_SELECT_ALL      0xE12A  // 57642
#define ID_EDIT_UNDO            0xE12B  // 57643
#define ID_APP_ABOUT            0xE140  // 57664
#define ID_APP_EXIT             0xE141  // 57665
#define ID_NEXT_PANE            0xE150  // 57680
#define ID_PREV_PANE            0xE151  // 57681

// --- View commands (0xE800 - 0xE8FF) ----------------------------------------------------------
#define ID_VIEW_TOOLBAR         0xE800  // 59392
#define ID_VIEW_STATUS_BAR      0xE801  // 59393

// --- Child window ids of a frame (0xE800 - 0xE8FF, a separate number space from commands) -----
#define IDW_TOOLBAR             0xE800
#define IDW_STATUS_BAR          0xE801
#define IDW_COMMAND_BAR         0xE805
#define IDW_CLIENT              0xE900

// --- Rebar band ids (0xEB00 - 0xEBFF): band n of a frame's rebar gets 0xEB00 + n -------------
#define IDW_BAND_FIRST          0xEB00
#define IDW_BAND_LAST           0xEBFF
