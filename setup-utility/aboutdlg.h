// The About box: program name and version over the program's icon; OK or Esc closes it.
#pragma once

#include "dialog.h"
#include "resource.h"

class CAboutDlg : public ui::CDialogImpl<CAboutDlg>
{
public:
    enum { IDD = IDD_ABOUTBOX };

    BOOL ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                              LRESULT &result) override;

private:
    using Map = ui::MsgEntry<CAboutDlg>;
    static const Map s_messageMap[];
};
