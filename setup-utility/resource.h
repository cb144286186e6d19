// Resource ids of the setup utility, grouped by kind and range. The framework ids (57345 and
// up, 59392, 59393) come from the UI layer's uires.h. Only #defines: Brenvik.rc includes this.
#pragma once

#include "uires.h"

// --- Dialogs ----------------------------------------------------------------------------------
#define IDD_ABOUTBOX                100
#define IDD_ADDDEVICE               164
#define IDD_PORTRANGE               211
#define IDD_PORTDETAILS             212
#define IDD_DEVICEDETAILS           213
#define IDD_ADDLDN                  214

// --- Frame resources (128): title string, main menu, keyboard table, icon, toolbar, bitmap ----
#define IDR_MAINFRAME               128

// --- Strings (129 - 199) ----------------------------------------------------------------------
#define IDS_PANE_DEVICE             129     // caption over the tree
#define IDS_COLUMN_NAME             130     // list column headings
#define IDS_COLUMN_DESCRIPTION      131
#define IDS_NO_CONTROL_OBJECT       132     // the POSPrinter control object check
#define IDS_OTHER_CONTROL_OBJECT    133
#define IDS_WARNING                 134     // caption of warnings
#define IDS_OUT_OF_RANGE            135     // port range dialog
#define IDS_PROPERTY                136     // title of the device property sheet
#define IDS_CANNOT_OPEN_REGISTRY    137
#define IDS_ERROR                   138     // caption of errors
#define IDS_SETTING_REGISTRY_FAILS  139
#define IDS_REPLACE_LDN             140     // rename onto an existing name: %s new name, %s its device
#define IDS_COLUMN_CONNECTION       141
#define IDS_INVALID_LDN             142
#define IDS_LDN_EXISTS              143
#define IDS_PORT_SERIAL             144     // port kinds 1 - 4 of the add device dialog
#define IDS_PORT_PARALLEL           145
#define IDS_PORT_USB                146
#define IDS_PORT_ETHERNET           147
#define IDS_SELECT_DEVICE           148
#define IDS_SELECT_PORT             149
#define IDS_ADD_DEVICE_FAILS        150     // %d: registry error code
#define IDS_DELETE_DEVICE_FAILS     151     // %d: registry error code
#define IDS_CONFIRM_DELETE          152
#define IDS_CHECKHEALTH_FAILS       153     // %s step, %ld result, %ld extended result
#define IDS_CONTROL_NOT_CREATED     155     // %s ProgID, %08lX COM error
#define IDS_CHECKHEALTH_CALL_FAILS  156     // %s member, %08lX COM error
#define IDS_DEVICE_EXISTS           154

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

// --- Controls (dialogs share numbers; each define names one dialog's control) ----------------
#define IDC_ABOUT_TEXT              1000

// Add New Device (164)
#define IDC_ADD_PORT                1000    // port kinds of the model
#define IDC_ADD_MODEL               1001
#define IDC_ADD_CONNECTION          1073    // hidden, unused
#define IDC_ADD_LDN                 1074
#define IDC_ADD_REFERENCE           1075    // hidden, unused
#define IDC_ADD_CHECKHEALTH         1079    // hidden, unused
#define IDC_ADD_DEVICE_SETTING      1089    // hidden, unused
#define IDC_ADD_DEVICE_GROUP        1098
#define IDC_ADD_LDN_GROUP           1099
#define IDC_ADD_VER1                1101    // hidden, unused
#define IDC_ADD_VER2                1102    // hidden, unused
#define IDC_ADD_DESCRIPTION         1158
#define IDC_ADD_INF                 1171    // hidden, unused

// Port range (211)
#define IDC_RANGE_COM_SPIN          1011
#define IDC_RANGE_COM               1012
#define IDC_RANGE_LPT               1013
#define IDC_RANGE_LPT_SPIN          1014
#define IDC_RANGE_COM_DEFAULT       1002
#define IDC_RANGE_LPT_DEFAULT       1004
#define IDC_RANGE_COM_LABEL         1046
#define IDC_RANGE_LPT_LABEL         1047

// Port Details (212)
#define IDC_PORT_NAME               1000
#define IDC_PORT_USED_BY            1004    // never shown
#define IDC_PORT_MASTER_LIST        1006    // never shown
#define IDC_PORT_INPUTSLEEP         1042
#define IDC_PORT_BAUDRATE           1047
#define IDC_PORT_BITLENGTH          1049
#define IDC_PORT_PARITY             1050
#define IDC_PORT_STOPBIT            1051
#define IDC_PORT_HANDSHAKE          1056
#define IDC_PORT_INPUTBUF           1057
#define IDC_PORT_OUTPUTBUF          1058
#define IDC_PORT_TIMEOUT            1059
#define IDC_PORT_EDIT               1073    // hidden when the dialog opens
#define IDC_PORT_USB_AUTO           1075    // hidden when the dialog opens
#define IDC_PORT_UPDATE             1078    // hidden when the dialog opens
#define IDC_PORT_CHECKHEALTH        1087    // never shown
#define IDC_PORT_DEVICE_SETTING     1089    // never shown

// Details of device (213)
#define IDC_DETAIL_DESCRIPTION      1001
#define IDC_DETAIL_SONAME           1081
#define IDC_DETAIL_DEVICEDESC       1158
#define IDC_DETAIL_DEVICENAME       1161
#define IDC_DETAIL_SERVICE          1172
#define IDC_DETAIL_VERSION          1173

// Add New LDN (214)
#define IDC_LDN_DEVICE              1001
#define IDC_LDN_CONTINUE            1002    // disabled, no handler
#define IDC_LDN_CLASS               1071
#define IDC_LDN_NAME                1074

#define IDC_HELP_BUTTON             57670   // disabled or hidden, no handler
