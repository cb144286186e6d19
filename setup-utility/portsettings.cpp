#include "portsettings.h"

#include "AtlReg.h"
#include "devicestore.h"

#include <cwchar>

namespace {

// Each label names the speed the service object sets for that stored index.
const wchar_t *const kBaudLabels[] = {
    L"110 bps", L"300 bps", L"600 bps", L"1200 bps", L"2400 bps", L"4800 bps",
    L"9600 bps", L"19200 bps", L"38400 bps", L"57600 bps", L"115200 bps",
};
const wchar_t *const kBitLengthLabels[] = {L"7", L"8"};
const wchar_t *const kParityLabels[] = {L"None", L"Even", L"Odd"};
const wchar_t *const kStopLabels[] = {L"", L"1 bit", L"2 bits"};
const wchar_t *const kHandShakeLabels[] = {L"Disable", L"RTS/CTS", L"DTR/DSR"};
const wchar_t kXonXoffLabel[] = L"XON/XOFF";

struct SettingInfo
{
    const wchar_t *selName;     // REG_SZ list of the indexes offered
    const wchar_t *valueName;   // REG_DWORD chosen index
    const wchar_t *const *labels;
    int count;
};

const SettingInfo kSettings[kLineSettingCount] = {
    {L"BaudrateSel", L"Baudrate", kBaudLabels, 11},
    {L"BitLengthSel", L"BitLength", kBitLengthLabels, 2},
    {L"ParitySel", L"Parity", kParityLabels, 3},
    {L"StopSel", L"Stop", kStopLabels, 3},
    {L"HandShakeSel", L"HandShake", kHandShakeLabels, 3},
};

// Buffer sizes in characters, terminator included.
constexpr ULONG kGroupChars = 9;
constexpr ULONG kPortChars = 19;
constexpr ULONG kSelListChars = 19;

// A string value that fits a buffer of `chars` characters. Fails with ERROR_FILE_NOT_FOUND
// when the value is absent, and otherwise when it is not text, unterminated or too long.
LONG QueryShortString(CRegKey &key, const wchar_t *name, ULONG chars, std::wstring &text)
{
    std::wstring buffer(chars, L'\0');
    ULONG size = chars;
    LONG rc = key.QueryStringValue(name, &buffer[0], &size);
    if (rc == ERROR_SUCCESS)
        text.assign(buffer.c_str());
    return rc;
}

void QueryLong(CRegKey &key, const wchar_t *name, LONG &value)
{
    DWORD number = 0;
    if (key.QueryDWORDValue(name, number) == ERROR_SUCCESS)
        value = static_cast<LONG>(number);
}

} // namespace

int CLabelTable::Find(LONG index) const
{
    for (size_t i = 0; i < m_entries.size(); ++i)
        if (m_entries[i].index == index)
            return static_cast<int>(i);
    return -1;
}

void ParseSelList(CLabelTable &table, const wchar_t *text, const wchar_t *const labels[], int count)
{
    const wchar_t *end = text + wcslen(text);
    const wchar_t *p = text;
    while (p < end) {
        // Where no number starts, wcstol answers 0 and leaves the position where it was.
        wchar_t *after = nullptr;
        long index = wcstol(p, &after, 10);
        if (index >= 0 && index < count)
            table.Add(index, labels[index]);
        p = after + 1;   // over the one separator that follows
    }
}

const wchar_t *const *CPortSettings::Labels(LineSetting setting, int &count)
{
    count = kSettings[setting].count;
    return kSettings[setting].labels;
}

CPortSettings::CPortSettings(const std::wstring &devicePath) : m_keyPath(DeviceKeyPath(devicePath))
{
    CRegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, m_keyPath.c_str(), KEY_READ) != ERROR_SUCCESS)
        return;
    std::wstring groupId;
    if (QueryShortString(key, L"GroupID", kGroupChars, groupId) != ERROR_SUCCESS || groupId.empty())
        return;
    switch (groupId.back()) {   // upper case only
    case L'S': m_group = GroupSerial; break;
    case L'P': m_group = GroupParallel; break;
    case L'U': m_group = GroupUsb; break;
    case L'E': m_group = GroupEthernet; break;
    default: break;
    }
}

void CPortSettings::ReadPortSettings()
{
    CRegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, m_keyPath.c_str(), KEY_READ) != ERROR_SUCCESS)
        return;
    std::wstring port;
    LONG rc = QueryShortString(key, L"Port", kPortChars, port);
    if (rc == ERROR_SUCCESS && !port.empty())
        m_port = port;
    // Present but not readable here: a port the dialog cannot show, so it must not be taken
    // for "no port" and overwritten by an OK that changed nothing.
    m_portUnreadable = rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND;

    if (IsSerial()) {
        for (int s = 0; s < kLineSettingCount; ++s) {
            const SettingInfo &info = kSettings[s];
            std::wstring list;
            if (QueryShortString(key, info.selName, kSelListChars, list) == ERROR_SUCCESS)
                ParseSelList(m_tables[s], list.c_str(), info.labels, info.count);
            QueryLong(key, info.valueName, m_selected[s]);
        }
        std::wstring list;
        if (QueryShortString(key, L"XonXoffSel", kSelListChars, list) == ERROR_SUCCESS) {
            CLabelTable scratch;
            ParseSelList(scratch, list.c_str(), kHandShakeLabels, 3);
            if (scratch.Contains(1))
                m_tables[SettingHandShake].Add(XonXoffKey, kXonXoffLabel);
        }
        QueryLong(key, L"XonXoff", m_xonXoff);
    }

    QueryLong(key, L"InputBuf", m_inputBuf);
    QueryLong(key, L"OutputBuf", m_outputBuf);
    QueryLong(key, L"Timeout", m_timeout);
    QueryLong(key, L"InputSleep", m_inputSleep);
}

void CPortSettings::WritePortSettings() const
{
    CRegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, m_keyPath.c_str(), KEY_WRITE) != ERROR_SUCCESS)
        return;
    if (m_writePort)
        key.SetStringValue(L"Port", m_port.c_str());
    if (IsSerial()) {
        for (int s = 0; s < kLineSettingCount; ++s)
            if (m_selected[s] != kNoIndex)
                key.SetDWORDValue(kSettings[s].valueName, static_cast<DWORD>(m_selected[s]));
        if (m_xonXoff != kNoIndex)
            key.SetDWORDValue(L"XonXoff", static_cast<DWORD>(m_xonXoff));
    }
    const struct { const wchar_t *name; LONG value; } numbers[] = {
        {L"InputBuf", m_inputBuf}, {L"OutputBuf", m_outputBuf},
        {L"Timeout", m_timeout}, {L"InputSleep", m_inputSleep},
    };
    for (const auto &n : numbers)
        if (n.value >= 0)
            key.SetDWORDValue(n.name, static_cast<DWORD>(n.value));
}
