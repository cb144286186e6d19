// The Port Details record without its dialog: the selection lists, the port group, and the
// handshake rule; and the service object reading what the record wrote.
#include <windows.h>
#include <shlwapi.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devicesettings.h"
#include "portsettings.h"
#include "setup_test_util.h"

namespace {

const std::wstring kPrinters = L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter\\";
const wchar_t kDevice[] = L"PortTest Device";

std::vector<LONG> Indexes(const CLabelTable &table)
{
    std::vector<LONG> indexes;
    for (size_t i = 0; i < table.GetSize(); ++i)
        indexes.push_back(table[i].index);
    return indexes;
}

TEST(ParseSelList, IndexesWithOneSeparatorEach)
{
    const struct { const wchar_t *text; std::vector<LONG> indexes; } rows[] = {
        {L"6,7,10", {6, 7, 10}},
        {L"3,12,-1,3", {3, 3}},          // out of range and negative skipped, repeats kept
        {L"0 1;2", {0, 1, 2}},            // any one character separates
        {L"4, 5", {4, 5}},                // blanks before a number are skipped
        {L"", {}},
        {L"10", {10}},
        {L"6,,7", {6, 0, 7}},             // an empty place reads as 0
        {L"x", {0}},
        {L"99999999999999999999,2", {2}},
    };
    int count = 0;
    const wchar_t *const *labels = CPortSettings::Labels(SettingBaudrate, count);
    ASSERT_EQ(11, count);
    for (const auto &row : rows) {
        CLabelTable table;
        ParseSelList(table, row.text, labels, count);
        EXPECT_EQ(row.indexes, Indexes(table)) << std::string(row.text, row.text + wcslen(row.text));
        for (size_t i = 0; i < table.GetSize(); ++i)
            EXPECT_EQ(labels[table[i].index], table[i].label);
    }
}

class PortRecord : public ::testing::Test
{
protected:
    void SetUp() override { Clear(); }
    void TearDown() override { Clear(); }
    static void Clear() { SHDeleteKeyW(HKEY_LOCAL_MACHINE, (kPrinters + kDevice).c_str()); }

    static void SetString(const wchar_t *name, const std::wstring &text)
    {
        setuptest::SetString(kPrinters + kDevice, name, text);
    }
    static void SetDword(const wchar_t *name, DWORD value) { setuptest::SetDword(kPrinters + kDevice, name, value); }
    static std::wstring DevicePath() { return std::wstring(L"POSPrinter\\") + kDevice; }
};

TEST_F(PortRecord, GroupComesFromTheLastUpperCaseLetter)
{
    const struct { const wchar_t *groupId; LONG group; } rows[] = {
        {L"TR80S", GroupSerial}, {L"TR80P", GroupParallel}, {L"TR80U", GroupUsb}, {L"TR80E", GroupEthernet},
        {L"TR80s", GroupNone}, {L"", GroupNone}, {L"ABCDEFGS", GroupSerial}, {L"ABCDEFGHS", GroupNone},
    };
    for (const auto &row : rows) {
        SetString(L"GroupID", row.groupId);
        EXPECT_EQ(row.group, CPortSettings(DevicePath()).m_group) << std::string(row.groupId, row.groupId + wcslen(row.groupId));
    }
    SetDword(L"GroupID", 'S');
    EXPECT_EQ(GroupNone, CPortSettings(DevicePath()).m_group) << "not text";
    Clear();
    EXPECT_EQ(GroupNone, CPortSettings(DevicePath()).m_group) << "no key";
}

TEST_F(PortRecord, ReadingTakesOnlyWhatFits)
{
    SetString(L"GroupID", L"XS");
    SetString(L"Port", L"COM123456789012345");          // 18 characters: read
    SetString(L"BaudrateSel", L"0,1,2,3,4,5,6,7,8,9,10");   // 22 characters: not read
    SetString(L"HandShakeSel", L"2");
    SetString(L"XonXoffSel", L"0,1");
    SetDword(L"HandShake", 2);
    SetString(L"Timeout", L"100");                        // not a number
    SetDword(L"OutputBuf", 0);
    CPortSettings record(DevicePath());
    record.ReadPortSettings();
    EXPECT_EQ(L"COM123456789012345", record.m_port);
    EXPECT_FALSE(record.m_portUnreadable);
    EXPECT_EQ(0u, record.m_tables[SettingBaudrate].GetSize());
    EXPECT_EQ((std::vector<LONG>{2, CPortSettings::XonXoffKey}), Indexes(record.m_tables[SettingHandShake]));
    EXPECT_EQ(2, record.m_selected[SettingHandShake]);
    EXPECT_EQ(kNoIndex, record.m_selected[SettingBaudrate]);
    EXPECT_EQ(-1, record.m_timeout);
    EXPECT_EQ(0, record.m_outputBuf);

    SetString(L"Port", L"COM1234567890123456");         // 19 characters: too long
    CPortSettings longer(DevicePath());
    longer.ReadPortSettings();
    EXPECT_EQ(L"", longer.m_port);
    EXPECT_TRUE(longer.m_portUnreadable) << "yet a port is stored";
}

TEST_F(PortRecord, AStoredPortThatCannotBeReadIsToldFromNoPort)
{
    // type 0: no Port value. The port reads as empty in every row; only a Port that is absent
    // or empty means "no port".
    const struct { const char *name; DWORD type; std::vector<BYTE> data; bool unreadable; } rows[] = {
        {"absent", 0, {}, false},
        {"empty text", REG_SZ, {0, 0}, false},
        {"no data", REG_SZ, {}, false},
        {"unterminated", REG_SZ, setuptest::TextBytes(L"COM1"), true},
        {"a number", REG_DWORD, {1, 0, 0, 0}, true},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        SetString(L"GroupID", L"XS");
        SHDeleteValueW(HKEY_LOCAL_MACHINE, (kPrinters + kDevice).c_str(), L"Port");
        if (row.type)
            setuptest::SetRaw(kPrinters + kDevice, L"Port", row.type, row.data);
        CPortSettings record(DevicePath());
        record.ReadPortSettings();
        EXPECT_EQ(L"", record.m_port);
        EXPECT_EQ(row.unreadable, record.m_portUnreadable);
    }
}

// What the dialog stores is what the service object reads: the same indexes, turned into line
// values by the service object's own tables (which differ from the dialog's labels on purpose).
// The expected line values are written out, so that a wrong entry in either program's table
// fails here: baud rates, data bits, the platform's parity (NOPARITY 0, ODDPARITY 1,
// EVENPARITY 2) and stop-bit values (ONESTOPBIT 0, TWOSTOPBITS 2), and the flow codes.
TEST_F(PortRecord, ServiceObjectReadsTheIndexesWritten)
{
    const struct
    {
        LONG baud; DWORD baudRate;
        LONG bits; DWORD dataBits;
        LONG parity; DWORD lineParity;
        LONG stop; DWORD stopBits;
        LONG handShake; DWORD flowCode;
        LONG xonXoff;
    } rows[] = {
        // Baudrate      BitLength  Parity     Stop       HandShake  XonXoff
        {0, 110,         0, 7,      0, 0,      0, 2,      0, 5,      0},
        {1, 300,         1, 8,      1, 2,      1, 0,      1, 4,      0},
        {2, 600,         0, 7,      2, 1,      2, 2,      2, 1,      0},   // Stop 2: the dialog's "2 bits"
        {3, 1200,        1, 8,      0, 0,      1, 0,      0, 5,      1},   // XON/XOFF: HandShake 0, XonXoff 1
        {4, 2400,        1, 8,      1, 2,      0, 2,      2, 1,      0},
        {5, 4800,        0, 7,      2, 1,      1, 0,      1, 4,      0},
        {6, 9600,        1, 8,      0, 0,      1, 0,      2, 1,      0},
        {7, 19200,       1, 8,      0, 0,      1, 0,      0, 5,      1},
        {8, 38400,       0, 7,      1, 2,      0, 2,      1, 4,      0},
        {9, 57600,       1, 8,      2, 1,      1, 0,      0, 5,      0},
        {10, 115200,     1, 8,      2, 1,      2, 2,      2, 1,      0},
    };
    int baudLabels = 0;
    const wchar_t *const *baudLabel = CPortSettings::Labels(SettingBaudrate, baudLabels);
    ASSERT_EQ(11, baudLabels);
    for (const auto &row : rows) {
        SCOPED_TRACE(testing::Message() << "Baudrate " << row.baud << " BitLength " << row.bits << " Parity "
                     << row.parity << " Stop " << row.stop << " HandShake " << row.handShake);
        SetString(L"GroupID", L"XS");
        CPortSettings record(DevicePath());
        record.m_port = L"COM7";
        const LONG indexes[] = {row.baud, row.bits, row.parity, row.stop, row.handShake};
        for (int s = 0; s < kLineSettingCount; ++s)
            record.m_selected[s] = indexes[s];
        record.m_xonXoff = row.xonXoff;
        record.m_timeout = 300;
        record.WritePortSettings();

        CDeviceSettings settings;
        ASSERT_EQ(0, settings.ReadDeviceSettings(kDevice));
        EXPECT_EQ(L"COM7", settings.Port);
        EXPECT_EQ(row.baudRate, settings.Baudrate.value_or(0));
        // The user picks a speed by its label: it names the speed the line gets.
        EXPECT_EQ(std::to_wstring(row.baudRate) + L" bps", baudLabel[row.baud]);
        EXPECT_EQ(row.dataBits, settings.BitLength.value_or(0));
        EXPECT_EQ(row.lineParity, settings.Parity.value_or(99));
        EXPECT_EQ(row.stopBits, settings.Stop.value_or(99));
        EXPECT_EQ(row.flowCode, settings.HandShake.value_or(0));
        EXPECT_EQ(static_cast<DWORD>(row.xonXoff), settings.XonXoff.value_or(99));
        EXPECT_EQ(300u, settings.Timeout.value_or(0));
        EXPECT_FALSE(settings.OutputBuf.has_value()) << "-1 writes nothing";
    }

    // An index the dialog never offers, stored by hand: the service object keeps the line's
    // own value instead of reading past its table.
    SetDword(L"Baudrate", 11);
    CDeviceSettings settings;
    ASSERT_EQ(0, settings.ReadDeviceSettings(kDevice));
    EXPECT_FALSE(settings.Baudrate.has_value());
}

TEST_F(PortRecord, NothingIsWrittenWithoutTheKey)
{
    CPortSettings record(DevicePath());
    record.m_port = L"COM1";
    record.WritePortSettings();
    HKEY key = nullptr;
    EXPECT_NE(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, (kPrinters + kDevice).c_str(), 0, KEY_READ, &key))
        << "the key is not created";
}

} // namespace
