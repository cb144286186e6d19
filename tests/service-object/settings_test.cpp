// Reading the device key and turning its serial indexes into line settings.
#include "so_test_util.h"
#include "printer_emulator_client.h"

#include <optional>

namespace {

using Number = CDeviceSettings::Number;
constexpr DWORD kUnset = 0xFFFFFFFF;

Number N(DWORD v) { return v == kUnset ? Number() : Number(v); }

struct SerialRow
{
    DWORD baudIdx, bitsIdx, parityIdx, stopIdx, handshakeIdx;
    // Expected record fields (kUnset: empty, the port keeps its own value).
    DWORD baud, bits, parity, stop, flow;
    // What the printer end of the line must show.
    int lineBaud, lineBits;
    char lineParity;
    int lineStop;
};

const SerialRow kSerialRows[] = {
    // baud bits par stop hs | baud    bits parity       stop         flow        | line
    {0, 1, 0, 1, 0, 110, 8, NOPARITY, ONESTOPBIT, kFlowNone, 110, 8, 'N', 1},
    {1, 1, 0, 1, 0, 300, 8, NOPARITY, ONESTOPBIT, kFlowNone, 300, 8, 'N', 1},
    {2, 1, 0, 1, 0, 600, 8, NOPARITY, ONESTOPBIT, kFlowNone, 600, 8, 'N', 1},
    {3, 1, 0, 1, 0, 1200, 8, NOPARITY, ONESTOPBIT, kFlowNone, 1200, 8, 'N', 1},
    {4, 1, 0, 1, 0, 2400, 8, NOPARITY, ONESTOPBIT, kFlowNone, 2400, 8, 'N', 1},
    {5, 1, 0, 1, 0, 4800, 8, NOPARITY, ONESTOPBIT, kFlowNone, 4800, 8, 'N', 1},
    {6, 1, 0, 1, 0, 9600, 8, NOPARITY, ONESTOPBIT, kFlowNone, 9600, 8, 'N', 1},
    {7, 1, 0, 1, 0, 19200, 8, NOPARITY, ONESTOPBIT, kFlowNone, 19200, 8, 'N', 1},
    {8, 1, 0, 1, 0, 38400, 8, NOPARITY, ONESTOPBIT, kFlowNone, 38400, 8, 'N', 1},
    {9, 1, 0, 1, 0, 57600, 8, NOPARITY, ONESTOPBIT, kFlowNone, 57600, 8, 'N', 1},
    {10, 1, 0, 1, 0, 115200, 8, NOPARITY, ONESTOPBIT, kFlowNone, 115200, 8, 'N', 1},
    {6, 0, 0, 1, 0, 9600, 7, NOPARITY, ONESTOPBIT, kFlowNone, 9600, 7, 'N', 1},
    {6, 1, 1, 1, 0, 9600, 8, EVENPARITY, ONESTOPBIT, kFlowNone, 9600, 8, 'E', 1},
    {6, 1, 2, 1, 0, 9600, 8, ODDPARITY, ONESTOPBIT, kFlowNone, 9600, 8, 'O', 1},
    {6, 1, 0, 0, 0, 9600, 8, NOPARITY, TWOSTOPBITS, kFlowNone, 9600, 8, 'N', 2},
    {6, 1, 0, 2, 0, 9600, 8, NOPARITY, TWOSTOPBITS, kFlowNone, 9600, 8, 'N', 2},
    {6, 1, 0, 1, 1, 9600, 8, NOPARITY, ONESTOPBIT, kFlowCtsRts, 9600, 8, 'N', 1},
    {6, 1, 0, 1, 2, 9600, 8, NOPARITY, ONESTOPBIT, kFlowCtsDtr, 9600, 8, 'N', 1},
};

std::string Describe(const SerialRow &r)
{
    char text[96];
    snprintf(text, sizeof(text), "indexes baud %lu bits %lu parity %lu stop %lu handshake %lu",
             r.baudIdx, r.bitsIdx, r.parityIdx, r.stopIdx, r.handshakeIdx);
    return text;
}

// An object opened on the key and claimed; the claim ends when the holder goes.
PrinterPtr ClaimedPrinter(const TestDeviceKey &key)
{
    PrinterPtr printer = NewPrinter();
    EXPECT_EQ(0, Open(*printer, L"POSPrinter", key.Name()));
    EXPECT_EQ(0, Claim(*printer));
    return printer;
}

void WriteSerial(const TestDeviceKey &key, DWORD baud, DWORD bits, DWORD parity, DWORD stop, DWORD hs)
{
    key.SetDword(L"Baudrate", baud);
    key.SetDword(L"BitLength", bits);
    key.SetDword(L"Parity", parity);
    key.SetDword(L"Stop", stop);
    key.SetDword(L"HandShake", hs);
}

TEST(DeviceSettings, SerialIndexesBecomeLineValues)
{
    TestDeviceKey key(L"SettingsTest.Serial");
    for (const SerialRow &r : kSerialRows) {
        SCOPED_TRACE(Describe(r));
        WriteSerial(key, r.baudIdx, r.bitsIdx, r.parityIdx, r.stopIdx, r.handshakeIdx);
        CDeviceSettings s;
        ASSERT_EQ(0, s.ReadDeviceSettings(key.Name().c_str()));
        EXPECT_EQ(N(r.baud), s.Baudrate);
        EXPECT_EQ(N(r.bits), s.BitLength);
        EXPECT_EQ(N(r.parity), s.Parity);
        EXPECT_EQ(N(r.stop), s.Stop);
        EXPECT_EQ(N(r.flow), s.HandShake);
    }
}

TEST(DeviceSettings, IndexOutsideItsTableLeavesTheFieldEmpty)
{
    TestDeviceKey key(L"SettingsTest.OutOfRange");
    const struct { const wchar_t *name; DWORD index; Number CDeviceSettings::*field; } rows[] = {
        {L"Baudrate", 11, &CDeviceSettings::Baudrate},
        {L"Baudrate", 0xFFFFFFFF, &CDeviceSettings::Baudrate},
        {L"BitLength", 2, &CDeviceSettings::BitLength},
        {L"Parity", 3, &CDeviceSettings::Parity},
        {L"Stop", 3, &CDeviceSettings::Stop},
        {L"HandShake", 3, &CDeviceSettings::HandShake},
        {L"HandShake", 0x80000000, &CDeviceSettings::HandShake},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(testing::Message() << "value " << row.index);
        WriteSerial(key, 6, 1, 0, 1, 0);
        key.SetDword(row.name, row.index);
        CDeviceSettings s;
        ASSERT_EQ(0, s.ReadDeviceSettings(key.Name().c_str()));
        EXPECT_FALSE((s.*row.field).has_value());
    }
}

TEST(DeviceSettings, AllValuesAreRead)
{
    TestDeviceKey key(L"SettingsTest.All");
    key.SetString(L"DeviceName", L"Receipt printer");
    key.SetString(L"DeviceDesc", L"80 mm thermal");
    key.SetString(L"Description", L"Service object");
    key.SetDword(L"DeviceID", 7);
    key.SetString(L"GroupID", L"G1");
    key.SetString(L"DefPort", L"COM1");
    key.SetString(L"Port", L"COM2");
    key.SetDword(L"PortFlag", 1);
    key.SetString(L"PrinterDllName", L"x.dll");
    key.SetString(L"RegFormatType", L"2");
    key.SetString(L"Service", L"C:\\Malvistra.dll");
    key.SetString(L"Version", L"1.11");
    WriteSerial(key, 10, 0, 2, 0, 2);
    const wchar_t *numbers[] = {L"Timeout", L"XonXoff", L"BmpFMemSize", L"CapASB", L"CapRealtimeKick",
                                L"IdleSleep", L"InstKey", L"InternalVersion", L"OptionBmpRaster",
                                L"OptionFirmVersion", L"OptionPaperInvariable", L"OutputBuf", L"OutputDK",
                                L"OutputLD", L"OutputMax", L"OutputMICR", L"OutputMin", L"PulseUNITTime",
                                L"StatsBarcodePrintedCount"};
    DWORD n = 100;
    for (const wchar_t *name : numbers)
        key.SetDword(name, n++);

    CDeviceSettings s;
    ASSERT_EQ(0, s.ReadDeviceSettings(key.Name().c_str()));
    EXPECT_EQ(L"Receipt printer", s.DeviceName);
    EXPECT_EQ(L"80 mm thermal", s.DeviceDesc);
    EXPECT_EQ(L"Service object", s.Description);
    EXPECT_EQ(N(7), s.DeviceID);
    EXPECT_EQ(L"G1", s.GroupID);
    EXPECT_EQ(L"COM1", s.DefPort);
    EXPECT_EQ(L"COM2", s.Port);
    EXPECT_EQ(N(1), s.PortFlag);
    EXPECT_EQ(L"x.dll", s.PrinterDllName);
    EXPECT_EQ(L"2", s.RegFormatType);
    EXPECT_EQ(L"C:\\Malvistra.dll", s.Service);
    EXPECT_EQ(L"1.11", s.Version);
    EXPECT_EQ(N(115200), s.Baudrate);
    EXPECT_EQ(N(7), s.BitLength);
    EXPECT_EQ(N(ODDPARITY), s.Parity);
    EXPECT_EQ(N(TWOSTOPBITS), s.Stop);
    EXPECT_EQ(N(kFlowCtsDtr), s.HandShake);
    const Number CDeviceSettings::*fields[] = {
        &CDeviceSettings::Timeout, &CDeviceSettings::XonXoff, &CDeviceSettings::BmpFMemSize,
        &CDeviceSettings::CapASB, &CDeviceSettings::CapRealtimeKick, &CDeviceSettings::IdleSleep,
        &CDeviceSettings::InstKey, &CDeviceSettings::InternalVersion, &CDeviceSettings::OptionBmpRaster,
        &CDeviceSettings::OptionFirmVersion, &CDeviceSettings::OptionPaperInvariable,
        &CDeviceSettings::OutputBuf, &CDeviceSettings::OutputDK, &CDeviceSettings::OutputLD,
        &CDeviceSettings::OutputMax, &CDeviceSettings::OutputMICR, &CDeviceSettings::OutputMin,
        &CDeviceSettings::PulseUNITTime, &CDeviceSettings::StatsBarcodePrintedCount};
    n = 100;
    for (auto field : fields)
        EXPECT_EQ(N(n++), s.*field);
}

TEST(DeviceSettings, EmptyKeyLeavesEverythingEmpty)
{
    TestDeviceKey key(L"SettingsTest.Empty");
    CDeviceSettings s;
    ASSERT_EQ(0, s.ReadDeviceSettings(key.Name().c_str()));
    EXPECT_TRUE(s.DeviceName.empty());
    EXPECT_TRUE(s.DeviceDesc.empty());
    EXPECT_TRUE(s.Port.empty());
    EXPECT_FALSE(s.Baudrate.has_value());
    EXPECT_FALSE(s.HandShake.has_value());
    EXPECT_FALSE(s.DeviceID.has_value());
}

TEST(DeviceSettings, MissingKeyReadsNothing)
{
    CDeviceSettings s;
    s.Port = L"COM7";
    s.Baudrate = 9600;
    EXPECT_EQ(1, s.ReadDeviceSettings(L"SettingsTest.NoSuchDevice"));
    EXPECT_EQ(L"COM7", s.Port);
    EXPECT_EQ(N(9600), s.Baudrate);
}

TEST(DeviceSettings, StringValuesMustBeWholeTerminatedStrings)
{
    TestDeviceKey key(L"SettingsTest.Strings");
    const std::wstring max255(255, L'p');
    const std::wstring over256(256, L'q');
    // RegSetValueExW counts the terminator in by itself when the character just past the given
    // length is a zero: the unterminated texts are followed by one that is not.
    const wchar_t unterminated[] = L"COM9X";
    const BYTE odd[] = {'C', 0, 'O', 0, 'M', 0, 0};
    const DWORD dword = 5;
    const struct
    {
        const char *what;
        DWORD type;
        const void *data;
        DWORD bytes;
        bool taken;
        std::wstring expect;
    } rows[] = {
        // what               type           data                 bytes                           taken
        {"REG_SZ", REG_SZ, L"COM3", 10, true, L"COM3"},
        {"REG_EXPAND_SZ", REG_EXPAND_SZ, L"COM4", 10, true, L"COM4"},
        {"255 characters", REG_SZ, max255.c_str(), 256 * 2, true, max255},
        {"256 characters", REG_SZ, over256.c_str(), 257 * 2, false, L""},
        {"no terminator", REG_SZ, unterminated, 4 * 2, false, L""},
        {"odd byte count", REG_SZ, odd, sizeof(odd), false, L""},
        {"REG_DWORD", REG_DWORD, &dword, 4, false, L""},
        {"REG_BINARY", REG_BINARY, L"COM5", 10, false, L""},
        {"REG_MULTI_SZ", REG_MULTI_SZ, L"COM6\0", 12, false, L""},
        {"empty REG_SZ", REG_SZ, L"", 2, true, L""},
        // The text ends at its first zero, as every other reader of the value sees it.
        {"zero inside", REG_SZ, L"COM3\0junk", 20, true, L"COM3"},
        {"zero inside, REG_EXPAND_SZ", REG_EXPAND_SZ, L"COM4\0\0", 14, true, L"COM4"},
        {"zero first", REG_SZ, L"\0COM5", 12, true, L""},
        {"zero inside, no terminator", REG_SZ, L"COM6\0xy", 12, false, L""},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        key.SetRaw(L"Port", row.type, row.data, row.bytes);
        CDeviceSettings s;
        s.Port = L"before";
        ASSERT_EQ(0, s.ReadDeviceSettings(key.Name().c_str()));
        EXPECT_EQ(row.taken ? row.expect : std::wstring(L"before"), s.Port);
    }
}

TEST(DeviceSettings, EveryStringEndsAtItsFirstZero)
{
    const struct { const wchar_t *name; std::wstring CDeviceSettings::*field; } rows[] = {
        {L"DeviceName", &CDeviceSettings::DeviceName},
        {L"DeviceDesc", &CDeviceSettings::DeviceDesc},
        {L"Description", &CDeviceSettings::Description},
        {L"GroupID", &CDeviceSettings::GroupID},
        {L"DefPort", &CDeviceSettings::DefPort},
        {L"Port", &CDeviceSettings::Port},
        {L"PrinterDllName", &CDeviceSettings::PrinterDllName},
        {L"RegFormatType", &CDeviceSettings::RegFormatType},
        {L"Service", &CDeviceSettings::Service},
        {L"Version", &CDeviceSettings::Version},
    };
    TestDeviceKey key(L"SettingsTest.Zero");
    const wchar_t data[] = L"AB\0CD";   // A, B, zero, C, D and the terminator
    for (const auto &row : rows)
        key.SetRaw(row.name, REG_SZ, data, sizeof(data));
    CDeviceSettings s;
    ASSERT_EQ(0, s.ReadDeviceSettings(key.Name().c_str()));
    for (const auto &row : rows)
        EXPECT_EQ(std::wstring(L"AB"), s.*row.field) << std::string(row.name, row.name + wcslen(row.name));
}

TEST(DeviceSettings, NumberValuesMustBeDwords)
{
    TestDeviceKey key(L"SettingsTest.Numbers");
    const DWORD six = 6;
    const ULONGLONG six64 = 6;
    const WORD six16 = 6;
    const struct { const char *what; DWORD type; const void *data; DWORD bytes; bool taken; } rows[] = {
        {"REG_DWORD", REG_DWORD, &six, 4, true},
        {"REG_SZ", REG_SZ, L"6", 4, false},
        {"REG_BINARY of 4 bytes", REG_BINARY, &six, 4, false},
        {"REG_DWORD of 2 bytes", REG_DWORD, &six16, 2, false},
        {"REG_QWORD", REG_QWORD, &six64, 8, false},
        {"REG_DWORD_BIG_ENDIAN", REG_DWORD_BIG_ENDIAN, &six, 4, false},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        key.SetRaw(L"Baudrate", row.type, row.data, row.bytes);
        key.SetRaw(L"DeviceID", row.type, row.data, row.bytes);
        CDeviceSettings s;
        s.DeviceID = 99;
        ASSERT_EQ(0, s.ReadDeviceSettings(key.Name().c_str()));
        EXPECT_EQ(row.taken ? N(6) : N(99), s.DeviceID);
        EXPECT_EQ(row.taken ? N(9600) : Number(), s.Baudrate);
    }
}

TEST(DeviceSettings, RereadingMapsOnlyWhatWasReadAgain)
{
    TestDeviceKey key(L"SettingsTest.Reread");
    WriteSerial(key, 7, 1, 0, 1, 0);
    CDeviceSettings s;
    ASSERT_EQ(0, s.ReadDeviceSettings(key.Name().c_str()));
    EXPECT_EQ(N(19200), s.Baudrate);
    // The line value 19200 stays; it is never taken for an index.
    key.DeleteValue(L"Baudrate");
    ASSERT_EQ(0, s.ReadDeviceSettings(key.Name().c_str()));
    EXPECT_EQ(N(19200), s.Baudrate);
    key.SetDword(L"Baudrate", 2);
    ASSERT_EQ(0, s.ReadDeviceSettings(key.Name().c_str()));
    EXPECT_EQ(N(600), s.Baudrate);
}

TEST(DeviceSettings, DeviceNameLengthLimit)
{
    // The key path "SOFTWARE\...\POSPrinter\" is 45 characters; the whole path fits in 255.
    const std::wstring fits(210, L'n');
    const std::wstring tooLong(211, L'n');
    TestDeviceKey longKey(fits);
    longKey.SetString(L"Port", L"COM8");
    CDeviceSettings s;
    EXPECT_EQ(0, s.ReadDeviceSettings(fits.c_str()));
    EXPECT_EQ(L"COM8", s.Port);

    TestDeviceKey tooLongKey(tooLong);
    tooLongKey.SetString(L"Port", L"COM9");
    CDeviceSettings t;
    EXPECT_EQ(1, t.ReadDeviceSettings(tooLong.c_str()));
    EXPECT_TRUE(t.Port.empty());
}

// --- Line state -----------------------------------------------------------------------------

DCB StartDcb()
{
    DCB dcb = {};
    dcb.DCBlength = sizeof(dcb);
    dcb.BaudRate = 4242;
    dcb.ByteSize = 6;
    dcb.Parity = MARKPARITY;
    dcb.StopBits = ONE5STOPBITS;
    dcb.fBinary = 1;
    dcb.fOutxCtsFlow = 1;
    dcb.fOutxDsrFlow = 1;
    dcb.fDsrSensitivity = 1;
    dcb.fOutX = 1;
    dcb.fInX = 1;
    dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
    dcb.fRtsControl = RTS_CONTROL_TOGGLE;
    dcb.fTXContinueOnXoff = 1;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    dcb.XonLim = 77;
    dcb.XoffLim = 88;
    dcb.EvtChar = 0x7E;
    return dcb;
}

TEST(SerialSettings, FlowCodesSetTheControlFlags)
{
    struct Row { std::optional<DWORD> flow; DWORD cts, dsr, dsrSens, outX, inX, dtr, rts; };
    const Row rows[] = {
        // flow         cts dsr sens outX inX dtr                    rts
        {kFlowNone, 0, 0, 0, 0, 0, DTR_CONTROL_DISABLE, RTS_CONTROL_DISABLE},
        {kFlowCtsRts, 1, 0, 0, 0, 0, DTR_CONTROL_DISABLE, RTS_CONTROL_ENABLE},
        {kFlowCtsDtr, 1, 0, 0, 0, 0, DTR_CONTROL_ENABLE, RTS_CONTROL_DISABLE},
        // No flow value, or an unknown code: the port keeps its flow control.
        {std::nullopt, 1, 1, 1, 1, 1, DTR_CONTROL_HANDSHAKE, RTS_CONTROL_TOGGLE},
        {7, 1, 1, 1, 1, 1, DTR_CONTROL_HANDSHAKE, RTS_CONTROL_TOGGLE},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(testing::Message() << "flow code " << (r.flow ? static_cast<long>(*r.flow) : -1L));
        CSerialSettings serial(9600, 8, NOPARITY, ONESTOPBIT, r.flow);
        serial.LineState() = StartDcb();
        serial.FillDcb();
        const DCB &d = serial.LineState();
        EXPECT_EQ(r.cts, d.fOutxCtsFlow);
        EXPECT_EQ(r.dsr, d.fOutxDsrFlow);
        EXPECT_EQ(r.dsrSens, d.fDsrSensitivity);
        EXPECT_EQ(r.outX, d.fOutX);
        EXPECT_EQ(r.inX, d.fInX);
        EXPECT_EQ(r.dtr, d.fDtrControl);
        EXPECT_EQ(r.rts, d.fRtsControl);
        // Members the set-up does not own keep what the port reported.
        EXPECT_EQ(1u, d.fBinary);
        EXPECT_EQ(1u, d.fTXContinueOnXoff);
        EXPECT_EQ(0x11, d.XonChar);
        EXPECT_EQ(0x13, d.XoffChar);
        EXPECT_EQ(77, d.XonLim);
        EXPECT_EQ(88, d.XoffLim);
        EXPECT_EQ(0x7E, d.EvtChar);
    }
}

TEST(SerialSettings, LineValuesAndParityFlag)
{
    CSerialSettings even(19200, 7, EVENPARITY, TWOSTOPBITS, kFlowNone);
    even.LineState() = StartDcb();
    even.FillDcb();
    EXPECT_EQ(19200u, even.LineState().BaudRate);
    EXPECT_EQ(7, even.LineState().ByteSize);
    EXPECT_EQ(EVENPARITY, even.LineState().Parity);
    EXPECT_EQ(1u, even.LineState().fParity);
    EXPECT_EQ(TWOSTOPBITS, even.LineState().StopBits);

    CSerialSettings none(9600, 8, NOPARITY, ONESTOPBIT, kFlowNone);
    none.LineState() = StartDcb();
    none.LineState().fParity = 1;
    none.FillDcb();
    EXPECT_EQ(0u, none.LineState().fParity);

    // Empty fields leave the port's own values.
    CSerialSettings empty(std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt);
    empty.LineState() = StartDcb();
    empty.FillDcb();
    EXPECT_EQ(4242u, empty.LineState().BaudRate);
    EXPECT_EQ(6, empty.LineState().ByteSize);
    EXPECT_EQ(MARKPARITY, empty.LineState().Parity);
    EXPECT_EQ(ONE5STOPBITS, empty.LineState().StopBits);
}

// --- On a real serial line -----------------------------------------------------------------

TEST(SerialLine, ClaimSetsTheLineTheKeyDescribes)
{
    PrinterEmulator emu(0);
    TestDeviceKey key(L"SettingsTest.Line");
    key.SetString(L"Port", emu.PortName());
    // Some kernels run every pseudo-terminal at 8 bits without parity whatever is asked;
    // the record and DCB tests above cover those two values then.
    const bool framing = emu.FramingObservable();
    for (const SerialRow &r : kSerialRows) {
        SCOPED_TRACE(Describe(r));
        WriteSerial(key, r.baudIdx, r.bitsIdx, r.parityIdx, r.stopIdx, r.handshakeIdx);
        PrinterPtr printer = NewPrinter();
        ASSERT_EQ(0, Open(*printer, L"POSPrinter", key.Name()));
        ASSERT_EQ(0, Claim(*printer));
        PrinterEmulator::Line line = emu.LineSettings();
        EXPECT_EQ(r.lineBaud, line.baud);
        EXPECT_EQ(r.lineStop, line.stop);
        if (framing) {
            EXPECT_EQ(r.lineBits, line.bits);
            EXPECT_EQ(r.lineParity, line.parity);
        }
        EXPECT_EQ(0, ReleaseDev(*printer));
    }
}

TEST(SerialLine, OutOfRangeIndexesKeepTheLineAsItWas)
{
    PrinterEmulator emu(0);
    TestDeviceKey key(L"SettingsTest.LineKept");
    key.SetString(L"Port", emu.PortName());
    WriteSerial(key, 7, 0, 1, 0, 0);   // 19200 7E2
    ClaimedPrinter(key);
    WriteSerial(key, 11, 2, 3, 3, 3);
    PrinterPtr printer = ClaimedPrinter(key);
    PrinterEmulator::Line line = emu.LineSettings();
    EXPECT_EQ(19200, line.baud);
    EXPECT_EQ(2, line.stop);
    if (emu.FramingObservable()) {
        EXPECT_EQ(7, line.bits);
        EXPECT_EQ('E', line.parity);
    }
}

TEST(SerialLine, HandShakeAndReadTimeouts)
{
    PrinterEmulator emu(0);
    TestDeviceKey key(L"SettingsTest.HandShake");
    key.SetString(L"Port", emu.PortName());
    const struct { DWORD handshakeIdx; bool rtscts; } rows[] = {
        // HandShake  RTS/CTS at the printer
        {0, false},
        {1, true},
        {2, true},
        {0, false},   // and off again
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(testing::Message() << "HandShake " << row.handshakeIdx);
        WriteSerial(key, 6, 1, 0, 1, row.handshakeIdx);
        PrinterPtr printer = ClaimedPrinter(key);
        ASSERT_TRUE(printer->IsClaimed());
        EXPECT_EQ(row.rtscts, emu.LineSettings().rtscts);
        // Reads end with what has arrived, never waiting for a full buffer.
        COMMTIMEOUTS timeouts;
        memset(&timeouts, 0x5A, sizeof(timeouts));
        ASSERT_TRUE(GetCommTimeouts(printer->PortHandle(), &timeouts));
        EXPECT_EQ(MAXDWORD, timeouts.ReadIntervalTimeout);
        EXPECT_EQ(0u, timeouts.ReadTotalTimeoutMultiplier);
        EXPECT_EQ(0u, timeouts.ReadTotalTimeoutConstant);
        // A piece of a run may take as long on the port's side as the slowest printer needs
        // for it, and then as long as the object waits for a printer that stopped.
        EXPECT_EQ(20u, timeouts.WriteTotalTimeoutMultiplier);
        EXPECT_EQ(5000u, timeouts.WriteTotalTimeoutConstant);
        EXPECT_EQ(2880u, printer->WritePieceBytes()) << "three seconds of 9600 8N1";
        EXPECT_EQ(0, ReleaseDev(*printer));
    }
}

// A device name and a port with a zero character inside: the property, the health printout
// and the port that is opened all take the text before the zero.
TEST(SerialLine, NamesWithAZeroInsideAgreeEverywhere)
{
    PrinterEmulator emu(0);
    TestDeviceKey key(L"SettingsTest.ZeroInside");
    const std::wstring port = emu.PortName() + std::wstring(L"\0COM1", 5);
    key.SetRaw(L"Port", REG_SZ, port.c_str(), static_cast<DWORD>((port.size() + 1) * sizeof(wchar_t)));
    WriteSerial(key, 7, 1, 0, 0, 0);   // 19200 8N2, which only a line set-up gives
    const wchar_t name[] = L"AB\0CD";
    key.SetRaw(L"DeviceName", REG_SZ, name, sizeof(name));

    emu.Clear();
    PrinterPtr printer = ClaimedPrinter(key);
    ASSERT_TRUE(printer->IsClaimed());
    EXPECT_EQ(emu.PortName(), printer->DeviceSettings().Port);
    PrinterEmulator::Line line = emu.LineSettings();
    EXPECT_EQ(19200, line.baud);
    EXPECT_EQ(2, line.stop);

    BSTR text = nullptr;
    EXPECT_EQ(S_OK, printer->GetPropertyString(1000003, &text));
    ASSERT_NE(nullptr, text);
    EXPECT_EQ(2u, SysStringLen(text));
    EXPECT_EQ(std::wstring(L"AB"), std::wstring(text, SysStringLen(text)));
    SysFreeString(text);

    EXPECT_EQ(S_OK, printer->SetPropertyNumber(3, 1));
    long rc = -1;
    EXPECT_EQ(S_OK, printer->CheckHealth(1, &rc));
    EXPECT_EQ(0, rc);
    const std::string tail = "DeviceName = AB" + Bytes({0x1B, 0x64, 0x05});
    const std::string expected = Bytes({0x1D, 0x61, 0xFF, 0x1B, 0x40}) +
                                 "OPOS ZUV\r\n\r\nServiceObjectVersion = 1011001\r\n\r\n" + tail;
    emu.WaitFor(expected.size(), 2000);
    EXPECT_EQ(Hex(expected), Hex(emu.Received()));
}

TEST(SerialLine, ANameNotBeginningWithComGetsNoLineSetUp)
{
    PrinterEmulator emu(0);
    TestDeviceKey key(L"SettingsTest.NotCom");
    std::wstring lower = emu.PortName();
    for (wchar_t &c : lower)
        c = static_cast<wchar_t>(towlower(c));
    const std::wstring rows[] = {
        emu.AliasName(),   // the same printer published under another name
        lower,             // "COM" is compared with its letter case
    };
    for (const std::wstring &port : rows) {
        SCOPED_TRACE(testing::Message() << "port " << port);
        // The line as a COM claim leaves it: 19200 baud, two stop bits, RTS/CTS.
        key.SetString(L"Port", emu.PortName());
        WriteSerial(key, 7, 1, 0, 0, 1);
        ClaimedPrinter(key);

        key.SetString(L"Port", port);
        WriteSerial(key, 6, 1, 0, 1, 0);
        PrinterPtr printer = ClaimedPrinter(key);
        ASSERT_TRUE(printer->IsClaimed());
        PrinterEmulator::Line line = emu.LineSettings();
        EXPECT_EQ(19200, line.baud);
        EXPECT_EQ(2, line.stop);
        EXPECT_TRUE(line.rtscts);
        COMMTIMEOUTS timeouts = {};
        ASSERT_TRUE(GetCommTimeouts(printer->PortHandle(), &timeouts));
        EXPECT_NE(MAXDWORD, timeouts.ReadIntervalTimeout) << "no time-outs were set either";
        EXPECT_EQ(100u, printer->StatusPacketGap()) << "a line we did not set up has the plain gap";
        EXPECT_EQ(128u, printer->WritePieceBytes()) << "a port without a known speed gets small pieces";

        // The port still carries the printer's bytes.
        emu.Clear();
        const uint8_t bytes[] = {0x1B, 0x40};
        EXPECT_EQ(2, printer->WritePort(bytes, 2));
        EXPECT_EQ(2u, emu.WaitFor(2, 2000));
    }
}

} // namespace
