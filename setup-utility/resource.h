// Resource ids of the setup utility, grouped by kind and range. The framework ids (57345 and
// up, 59392, 59393) come from the UI layer's uires.h. Only #defines: Brenvik.rc includes this.
#pragma once

#include "uires.h"

// --- Dialogs (100 - 127) ----------------------------------------------------------------------
#define IDD_ABOUTBOX                100

// --- Frame resources (128): title string, main menu, keyboard table, icon, toolbar, bitmap ----
#define IDR_MAINFRAME               128

// --- Strings (129 - 199) ----------------------------------------------------------------------
#define IDS_PANE_DEVICE             129     // caption over the tree
#define IDS_COLUMN_NAME             130     // list column headings
#define IDS_COLUMN_DESCRIPTION      131
#define IDS_NO_CONTROL_OBJECT       132     // the POSPrinter control object check
#define IDS_OTHER_CONTROL_OBJECT    133
#define IDS_WARNING                 134     // caption of warnings
#define IDS_COLUMN_CONNECTION       141

// --- Icons of the tree and list (206 - 215): image list indexes 0, 1, 2 in this order --------
#define IDI_DEVICE_CLASS            206
#define IDI_DEVICE                  207
#define IDI_LOGICAL_NAME            210

// --- Menus (208) ------------------------------------------------------------------------------
#define IDR_CONTEXTMENU             208     // pop-ups: 0 class, 1 device, 2 logical name

// --- Commands (32773 - 32851) -----------------------------------------------------------------
#define ID_TOOLS_CHECKHEALTH        32773
#define ID_EDIT_ADDDEVICE           32775
#define ID_EDIT_ADDLDN              32776
#define ID_DEVICE_DELETE            32777
#define ID_DEVICE_SPECIFIC_BUTTON   32779   // toolbar only, no handler
#define ID_EDIT_COMMSETTINGS        32780
#define ID_FILE_PROPERTY            32783
#define ID_VIEW_LARGEICON           32784   // the four view styles are consecutive
#define ID_VIEW_SMALLICON           32785
#define ID_VIEW_LIST                32786
#define ID_VIEW_DETAILS             32787
#define ID_CLASS_EXPORTREGISTRY     32820   // context menu, greyed, no handler
#define ID_DEVICE_SPECIFIC          32822   // context menu, greyed, no handler
#define ID_DEVICE_EXPORTREGISTRY    32826   // context menu, greyed, no handler
#define ID_EDIT_RENAMELDN           32832
#define ID_OPTION_PORTRANGE         32833
#define ID_NAME_DELETELDN           32839
#define ID_EDIT_REFRESH             32846
#define ID_EDIT_INVERTSELECTION     32850
#define ID_EDIT_DELETESELECTED      32851

// --- Controls of the About dialog (1000 - 1099) -----------------------------------------------
#define IDC_ABOUT_TEXT              1000
