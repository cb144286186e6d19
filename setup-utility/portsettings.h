// The communication settings of one device as the Port Details dialog edits them: the port
// name, five serial line settings stored as indexes into label tables, and four buffer and
// timing values. Read from and written to the device's OPOS key; windowless, so the rules can
// be checked without the dialog.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Port group of a device, from the last letter of its GroupID value.
enum PortGroup : LONG
{
    GroupNone = -1,
    GroupSerial = 0,
    GroupParallel = 1,
    GroupUsb = 2,
    GroupEthernet = 3,
};

// One offered choice: the index stored in the registry and the label the user sees.
struct CLabel
{
    LONG index;
    std::wstring label;
};

// Choices in the order they were added; repeats stay.
class CLabelTable
{
public:
    void Add(LONG index, const std::wstring &label) { m_entries.push_back({index, label}); }
    size_t GetSize() const { return m_entries.size(); }
    const CLabel &operator[](size_t position) const { return m_entries[position]; }
    // Position of the first entry with this index, or -1.
    int Find(LONG index) const;
    bool Contains(LONG index) const { return Find(index) >= 0; }

private:
    std::vector<CLabel> m_entries;
};

// Appends to table the entries that text names: decimal indexes, each followed by one
// separator character of any kind. Indexes outside [0, count) are skipped; order and repeats
// stay. labels[i] is the label of index i.
void ParseSelList(CLabelTable &table, const wchar_t *text, const wchar_t *const labels[], int count);

// The five serial line settings, in dialog and storage order.
enum LineSetting
{
    SettingBaudrate,
    SettingBitLength,
    SettingParity,
    SettingStop,
    SettingHandShake,
    kLineSettingCount
};

// Index value meaning "nothing chosen": such a setting is not written.
constexpr LONG kNoIndex = -1;

class CPortSettings
{
public:
    // Builds the key path from the device path ("<class>\<device key>") and reads the group.
    explicit CPortSettings(const std::wstring &devicePath);

    // Fills the record from the device key; values that are absent, too long or of another
    // type leave their fields as they were.
    void ReadPortSettings();
    // Stores the record in the device key (which must exist). Fields holding kNoIndex, or -1
    // for the four numbers, and a port not chosen are left as the key has them.
    void WritePortSettings() const;

    bool IsSerial() const { return m_group == GroupSerial; }
    bool IsParallel() const { return m_group == GroupParallel; }

    // The labels of a setting by index (the stop bits' index 0 has an empty label).
    static const wchar_t *const *Labels(LineSetting setting, int &count);

    static constexpr LONG XonXoffKey = 3;   // the index the "XON/XOFF" handshake entry takes

    std::wstring m_keyPath;
    LONG m_group = GroupNone;
    std::wstring m_port;
    // The key holds a Port that could not be read (too long, not text, unterminated): m_port
    // is then empty, yet the key names a port, which stays unless another one is chosen.
    bool m_portUnreadable = false;
    bool m_writePort = true;     // false: the port was not chosen and is kept
    CLabelTable m_tables[kLineSettingCount];
    LONG m_selected[kLineSettingCount] = {kNoIndex, kNoIndex, kNoIndex, kNoIndex, kNoIndex};
    LONG m_xonXoff = 0;          // kNoIndex: not chosen, not written
    LONG m_inputBuf = -1;
    LONG m_outputBuf = -1;
    LONG m_timeout = -1;
    LONG m_inputSleep = -1;
};
