// Resource ids of the virtual port installer. Only #defines: Pelkrane.rc includes this.
#pragma once

// Dialogs, the package and the icon.
#define IDD_MAIN                101
#define IDR_PACKAGE             103     // RCDATA: the driver package (7z)
#define IDI_MAIN                106
#define IDD_PORTTYPE            107
#define IDD_WAIT                108
#define IDD_CHGPORT             109

// Controls.
#define IDC_PORT_LIST           1000
#define IDC_REFRESH             1001
#define IDC_INSTALL             1002
#define IDC_UNINSTALL           1003
#define IDC_SERIAL              1005
#define IDC_PARALLEL            1006
#define IDC_PROGRESS            1007
#define IDC_CHGPORT             1008
#define IDC_NEW_NAME            1009

// Strings (message boxes carry the program's name as caption).
#define IDS_WARNING             40000
#define IDS_ERROR               40001
#define IDS_PORT_EXISTS         40002
#define IDS_NO_PORT             40003
#define IDS_SELECT_PORT         40004
#define IDS_INSTALL_FAILED      40005
#define IDS_UNINSTALL_FAILED    40006
#define IDS_COLUMN_NAME         40007
#define IDS_INSTALL_DONE        40008
#define IDS_UNINSTALL_DONE      40009
#define IDS_COLUMN_TYPE         40010
