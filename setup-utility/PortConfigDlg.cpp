#include "PortConfigDlg.h"

#include "MainFrm.h"
#include "DeviceTree.h"
#include "strings.h"

#include <cwchar>

namespace {

const int kLineControls[kLineSettingCount] = {
    IDC_PORT_BAUDRATE, IDC_PORT_BITLENGTH, IDC_PORT_PARITY, IDC_PORT_STOPBIT, IDC_PORT_HANDSHAKE,
};

} // namespace

const CPortConfigDlg::Map CPortConfigDlg::s_messageMap[] = {
    Map::CommandCode(IDOK, BN_CLICKED, &CPortConfigDlg::OnOK),
    Map::CommandCode(IDCANCEL, BN_CLICKED, &CPortConfigDlg::OnEndCancel),
    Map::Message(WM_INITDIALOG, &CPortConfigDlg::OnInitDialog),
    Map::Message(WM_CLOSE, &CPortConfigDlg::OnCloseCancel),
};

CPortConfigDlg::CPortConfigDlg(const std::wstring &devicePath, LONG maxCom, LONG maxLpt)
    : m_settings(devicePath), m_maxCom(maxCom), m_maxLpt(maxLpt)
{
}

BOOL CPortConfigDlg::ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                          LRESULT &result)
{
    return ui::RouteMessage(this, s_messageMap, hwnd, msg, wParam, lParam, result);
}

void CPortConfigDlg::FillPortList(const wchar_t *format, LONG highest)
{
    for (LONG n = 1; n <= highest; ++n)
        m_port.AddString(ui::Format(format, static_cast<int>(n)).c_str());
    // A stored port that this dialog cannot read is left without a selection, so that OK
    // keeps it: "None" would erase it.
    if (m_settings.m_portUnreadable)
        return;
    if (m_settings.m_port.empty()) {
        m_port.SetCurSel(0);
        return;
    }
    // Only a port entry of exactly that name, letter case ignored ("None" is no port name).
    // Anything else leaves the list without a selection, and an OK that leaves it so keeps
    // the stored port.
    const int count = m_port.GetCount();
    for (int i = 1; i < count; ++i) {
        if (_wcsicmp(m_port.GetLBText(i).c_str(), m_settings.m_port.c_str()) == 0) {
            m_port.SetCurSel(i);
            m_storedPortEntry = i;
            return;
        }
    }
}

LRESULT CPortConfigDlg::OnInitDialog(UINT, WPARAM, LPARAM, BOOL &)
{
    m_port = GetDlgItem(IDC_PORT_NAME);
    for (int s = 0; s < kLineSettingCount; ++s)
        m_lines[s] = GetDlgItem(kLineControls[s]);
    m_inputBuf = GetDlgItem(IDC_PORT_INPUTBUF);
    m_outputBuf = GetDlgItem(IDC_PORT_OUTPUTBUF);
    m_timeout = GetDlgItem(IDC_PORT_TIMEOUT);
    m_inputSleep = GetDlgItem(IDC_PORT_INPUTSLEEP);
    CenterWindow(GetParent());

    for (int id : {IDC_PORT_EDIT, IDC_PORT_UPDATE, IDC_PORT_USB_AUTO})
        ::ShowWindow(GetDlgItem(id), SW_HIDE);
    for (int id : {IDC_PORT_BAUDRATE, IDC_PORT_BITLENGTH, IDC_PORT_PARITY, IDC_PORT_STOPBIT,
                   IDC_PORT_HANDSHAKE, IDC_PORT_INPUTBUF, IDC_PORT_INPUTSLEEP})
        ::EnableWindow(GetDlgItem(id), FALSE);

    m_settings.ReadPortSettings();
    m_port.AddString(L"None");

    if (m_settings.IsSerial()) {
        for (int s = 0; s < kLineSettingCount; ++s)
            m_lines[s].EnableWindow(true);
        FillPortList(L"COM%d", m_maxCom);
        for (int s = 0; s < kLineSettingCount; ++s) {
            const CLabelTable &table = m_settings.m_tables[s];
            for (size_t i = 0; i < table.GetSize(); ++i)
                m_lines[s].AddString(table[i].label.c_str());
            LONG wanted = m_settings.m_selected[s];
            // XonXoff 1 is the XON/XOFF entry, 0 leaves HandShake to choose; any other value
            // is unknown and chooses nothing, so that an OK without a choice keeps both.
            if (s == SettingHandShake && m_settings.m_xonXoff != 0)
                wanted = m_settings.m_xonXoff == 1 ? CPortSettings::XonXoffKey : kNoIndex;
            int position = wanted == kNoIndex ? -1 : table.Find(wanted);
            if (position >= 0)
                m_lines[s].SetCurSel(position);
            m_storedLineEntry[s] = position;
        }
    } else if (m_settings.IsParallel()) {
        FillPortList(L"LPT%d", m_maxLpt);
    }

    if (m_settings.m_inputBuf > 0)
        m_inputBuf.SetWindowText(ui::Format(L"%u", static_cast<unsigned>(m_settings.m_inputBuf)));
    if (m_settings.m_outputBuf > 0)
        m_outputBuf.SetWindowText(ui::Format(L"%u", static_cast<unsigned>(m_settings.m_outputBuf)));
    if (m_settings.m_timeout >= 0)
        m_timeout.SetWindowText(ui::Format(L"%u", static_cast<unsigned>(m_settings.m_timeout)));
    if (m_settings.m_inputSleep >= 0)
        m_inputSleep.SetWindowText(ui::Format(L"%u", static_cast<unsigned>(m_settings.m_inputSleep)));
    m_inputBuf.LimitText(4);
    m_outputBuf.LimitText(4);
    m_timeout.LimitText(4);
    m_inputSleep.LimitText(2);
    return FALSE;
}

bool CPortConfigDlg::ReadNumber(const ui::CEdit &edit, LONG &value) const
{
    wchar_t line[20] = {};
    line[0] = 19;   // EM_GETLINE takes the buffer's size in its first character
    LRESULT chars = edit.SendMessage(EM_GETLINE, 0, reinterpret_cast<LPARAM>(line));
    if (chars <= 0)
        return false;
    line[chars < 19 ? chars : 19] = L'\0';
    value = wcstol(line, nullptr, 10);
    return true;
}

LRESULT CPortConfigDlg::OnOK(WORD, WORD, HWND, BOOL &)
{
    // A port list without a selection keeps the stored port: the device may be on a port
    // beyond the current range, on one longer than this dialog reads, or on USB or Ethernet.
    // Nor is a stored port rewritten while its own entry is still chosen: it keeps its
    // spelling.
    int port = m_port.GetCurSel();
    m_settings.m_writePort = port >= 0 && port != m_storedPortEntry;
    m_settings.m_port = port > 0 ? m_port.GetLBText(port) : std::wstring();

    if (m_settings.IsSerial()) {
        // A combo without a selection keeps the stored value of its setting, and so does one
        // still on the entry the stored value chose: an untouched OK changes nothing (XON/XOFF
        // shown for a key whose HandShake is not 0 keeps that HandShake).
        for (int s = 0; s < kLineSettingCount; ++s) {
            int position = m_lines[s].GetCurSel();
            const CLabelTable &table = m_settings.m_tables[s];
            m_settings.m_selected[s] =
                position >= 0 && position != m_storedLineEntry[s] && static_cast<size_t>(position) < table.GetSize()
                    ? table[static_cast<size_t>(position)].index : kNoIndex;
        }
        LONG &handShake = m_settings.m_selected[SettingHandShake];
        if (handShake == kNoIndex) {
            m_settings.m_xonXoff = kNoIndex;
        } else if (handShake >= CPortSettings::XonXoffKey) {
            m_settings.m_xonXoff = handShake - CPortSettings::XonXoffKey + 1;
            handShake = 0;
        } else {
            m_settings.m_xonXoff = 0;
        }
    }

    const struct { const ui::CEdit *edit; LONG *value; bool zeroIsAbsent; } numbers[] = {
        {&m_inputBuf, &m_settings.m_inputBuf, true},
        {&m_outputBuf, &m_settings.m_outputBuf, true},
        {&m_timeout, &m_settings.m_timeout, false},
        {&m_inputSleep, &m_settings.m_inputSleep, false},
    };
    for (const auto &n : numbers) {
        LONG value = 0;
        if (ReadNumber(*n.edit, value))
            *n.value = n.zeroIsAbsent && value == 0 ? -1 : value;
    }

    m_settings.WritePortSettings();
    EndDialog(IDOK);
    return 0;
}

// --- The main frame's command ---------------------------------------------------------------------

LRESULT CMainFrame::OnCommSettings(WORD, WORD, HWND, BOOL &)
{
    const std::wstring *path = DeviceItemMap.Lookup(m_tree.GetSelectedItem());
    if (!path)
        return 0;
    CPortConfigDlg dialog(*path, m_highestComPort, m_highestLptPort);
    dialog.DoModal();
    return 0;
}
