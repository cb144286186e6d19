// Resource ids of the UI layer's test program.
#pragma once

#define IDD_TEST_DDX        100
#define IDD_TEST_PAGE       101

#define IDS_TEST_PLAIN      200
#define IDS_TEST_PARTS      201
#define IDS_TEST_FORMAT     202
#define IDS_TEST_CAPTION    203
#define IDS_TEST_NOTIP      204

#define IDC_NAME            1000
#define IDC_PORT            1001
#define IDC_PARITY_NONE     1002
#define IDC_PARITY_ODD      1003
#define IDC_PARITY_EVEN     1004
#define IDC_BAUD            1005
#define IDC_FLOW            1006
#define IDC_PAGE_VALUE      1010
