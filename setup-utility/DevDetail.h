// The read-only property page of one device: six values of its OPOS device key.
#pragma once

#include "propsheet.h"
#include "resource.h"

#include <string>

class CDevDetail : public ui::CPropertyPageImpl<CDevDetail>
{
public:
    enum { IDD = IDD_DEVICEDETAILS };

    std::wstring m_keyPath;   // HKLM path of the device key, set before the sheet runs

    BOOL ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                              LRESULT &result) override;

private:
    using Map = ui::MsgEntry<CDevDetail>;
    static const Map s_messageMap[];

    LRESULT OnInitDialog(UINT /*msg*/, WPARAM /*wParam*/, LPARAM /*lParam*/, BOOL & /*handled*/);
};
