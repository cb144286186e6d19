// The Port Details dialog: the port name, the serial line settings and the buffer and timing
// values of one device, read from its OPOS key when the dialog opens and written back on OK.
#pragma once

#include "controls.h"
#include "dialog.h"
#include "portsettings.h"
#include "resource.h"

#include <string>

class CPortConfigDlg : public ui::CDialogImpl<CPortConfigDlg>
{
public:
    enum { IDD = IDD_PORTDETAILS };

    // maxCom and maxLpt: the highest port numbers the port list offers.
    CPortConfigDlg(const std::wstring &devicePath, LONG maxCom, LONG maxLpt);

    BOOL ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                              LRESULT &result) override;

    const CPortSettings &GetSettings() const { return m_settings; }

private:
    using Map = ui::MsgEntry<CPortConfigDlg>;
    static const Map s_messageMap[];

    LRESULT OnInitDialog(UINT /*msg*/, WPARAM /*wParam*/, LPARAM /*lParam*/, BOOL & /*handled*/);
    LRESULT OnOK(WORD /*code*/, WORD /*id*/, HWND /*control*/, BOOL & /*handled*/);

    void FillPortList(const wchar_t *format, LONG highest);
    // The number in an edit's first line; false when the edit is empty.
    bool ReadNumber(const ui::CEdit &edit, LONG &value) const;

    CPortSettings m_settings;
    ui::CComboBox m_port;
    int m_storedPortEntry = -1;   // the port entry that names the stored port, -1 none
    ui::CComboBox m_lines[kLineSettingCount];   // baud rate, bit length, parity, stop, handshake
    int m_storedLineEntry[kLineSettingCount] = {-1, -1, -1, -1, -1};   // entries the key chose
    LONG m_maxCom;
    LONG m_maxLpt;
    ui::CEdit m_inputBuf;
    ui::CEdit m_outputBuf;
    ui::CEdit m_timeout;
    ui::CEdit m_inputSleep;
};
