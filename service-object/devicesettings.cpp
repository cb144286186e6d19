#include "devicesettings.h"
#include "malvistra_private.h"
#include "AtlReg.h"

#include <cstring>
#include <cwchar>
#include <iterator>

const DWORD kBaudTable[11] = {110, 300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
const DWORD kBitLengthTable[2] = {7, 8};
const DWORD kHandShakeTable[3] = {kFlowNone, kFlowCtsRts, kFlowCtsDtr};
const DWORD kParityTable[3] = {NOPARITY, EVENPARITY, ODDPARITY};
const DWORD kStopTable[3] = {TWOSTOPBITS, ONESTOPBIT, TWOSTOPBITS};

namespace {

const wchar_t kKeyPrefix[] = L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter\\";
constexpr size_t kKeyPathChars = 256;   // the longest key path (with its terminator) we build
constexpr DWORD kStringChars = 256;     // 255 characters and the terminator


// A value that was read (not empty) is replaced by its table entry; an index outside the
// table empties it so the port keeps its own line value.
template <size_t N>
void MapIndex(LONG readResult, CDeviceSettings::Number &field, const DWORD (&table)[N])
{
    if (readResult != ERROR_SUCCESS)
        return;
    if (*field < N)
        field = table[*field];
    else
        field.reset();
}

std::optional<BYTE> LowByte(std::optional<DWORD> v)
{
    if (!v)
        return std::nullopt;
    return static_cast<BYTE>(*v & 0xFF);
}

} // namespace

LONG CDeviceSettings::ReadStringValue(HKEY key, const wchar_t *name, std::wstring &field)
{
    wchar_t buffer[kStringChars];
    DWORD type = 0;
    DWORD bytes = sizeof(buffer);
    LONG rc = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE *>(buffer), &bytes);
    if (rc != ERROR_SUCCESS)
        return rc;
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return ERROR_INVALID_DATATYPE;
    // Only a whole, terminated string is taken.
    const size_t chars = bytes / sizeof(wchar_t);
    if (bytes < sizeof(wchar_t) || bytes % sizeof(wchar_t) != 0 || buffer[chars - 1] != L'\0')
        return ERROR_INVALID_DATA;
    // The text ends at its first zero, as it does for every other reader of the value: the
    // properties, the health printout and the port we open must all name the same thing.
    field.assign(buffer, std::wcslen(buffer));
    return ERROR_SUCCESS;
}

LONG CDeviceSettings::ReadDWordValue(HKEY key, const wchar_t *name, Number &field)
{
    DWORD value = 0;
    DWORD type = 0;
    DWORD bytes = sizeof(value);
    LONG rc = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE *>(&value), &bytes);
    if (rc != ERROR_SUCCESS)
        return rc;
    if (type != REG_DWORD || bytes != sizeof(value))
        return ERROR_INVALID_DATATYPE;
    field = value;
    return ERROR_SUCCESS;
}

LONG CDeviceSettings::ReadDeviceSettings(const wchar_t *deviceName)
{
    std::wstring path = kKeyPrefix;
    path += deviceName ? deviceName : L"";
    if (path.size() + 1 > kKeyPathChars) {
        Trace(L"ReadDeviceSettings: device name too long (%u)\n", static_cast<unsigned>(path.size()));
        return 1;
    }

    // Read access only: a retail application without administrator rights must still see its
    // settings, and the service object never writes this key.
    CRegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, path.c_str(), KEY_READ) != ERROR_SUCCESS)
        return 1;

    ReadStringValue(key, L"DeviceName", DeviceName);
    ReadStringValue(key, L"DeviceDesc", DeviceDesc);
    ReadStringValue(key, L"Description", Description);
    ReadDWordValue(key, L"DeviceID", DeviceID);
    ReadStringValue(key, L"GroupID", GroupID);
    ReadStringValue(key, L"DefPort", DefPort);
    ReadStringValue(key, L"Port", Port);
    ReadDWordValue(key, L"PortFlag", PortFlag);
    ReadStringValue(key, L"PrinterDllName", PrinterDllName);
    ReadStringValue(key, L"RegFormatType", RegFormatType);
    ReadStringValue(key, L"Service", Service);
    ReadStringValue(key, L"Version", Version);
    MapIndex(ReadDWordValue(key, L"Baudrate", Baudrate), Baudrate, kBaudTable);
    MapIndex(ReadDWordValue(key, L"BitLength", BitLength), BitLength, kBitLengthTable);
    MapIndex(ReadDWordValue(key, L"HandShake", HandShake), HandShake, kHandShakeTable);
    MapIndex(ReadDWordValue(key, L"Parity", Parity), Parity, kParityTable);
    MapIndex(ReadDWordValue(key, L"Stop", Stop), Stop, kStopTable);
    ReadDWordValue(key, L"Timeout", Timeout);
    ReadDWordValue(key, L"XonXoff", XonXoff);
    ReadDWordValue(key, L"BmpFMemSize", BmpFMemSize);
    ReadDWordValue(key, L"CapASB", CapASB);
    ReadDWordValue(key, L"CapRealtimeKick", CapRealtimeKick);
    ReadDWordValue(key, L"IdleSleep", IdleSleep);
    ReadDWordValue(key, L"InstKey", InstKey);
    ReadDWordValue(key, L"InternalVersion", InternalVersion);
    ReadDWordValue(key, L"OptionBmpRaster", OptionBmpRaster);
    ReadDWordValue(key, L"OptionFirmVersion", OptionFirmVersion);
    ReadDWordValue(key, L"OptionPaperInvariable", OptionPaperInvariable);
    ReadDWordValue(key, L"OutputBuf", OutputBuf);
    ReadDWordValue(key, L"OutputDK", OutputDK);
    ReadDWordValue(key, L"OutputLD", OutputLD);
    ReadDWordValue(key, L"OutputMax", OutputMax);
    ReadDWordValue(key, L"OutputMICR", OutputMICR);
    ReadDWordValue(key, L"OutputMin", OutputMin);
    ReadDWordValue(key, L"PulseUNITTime", PulseUNITTime);
    ReadDWordValue(key, L"StatsBarcodePrintedCount", StatsBarcodePrintedCount);
    return 0;
}

CSerialSettings::CSerialSettings(std::optional<DWORD> baudRate, std::optional<DWORD> byteSize,
                                 std::optional<DWORD> parity, std::optional<DWORD> stopBits,
                                 std::optional<DWORD> flowCode)
    : m_baudRate(baudRate), m_byteSize(LowByte(byteSize)), m_parity(LowByte(parity)),
      m_stopBits(LowByte(stopBits)), m_flowCode(LowByte(flowCode))
{
    std::memset(&m_dcb, 0, sizeof(m_dcb));
    m_dcb.DCBlength = sizeof(m_dcb);
}

BOOL CSerialSettings::ReadState(HANDLE port)
{
    std::memset(&m_dcb, 0, sizeof(m_dcb));
    m_dcb.DCBlength = sizeof(m_dcb);
    return GetCommState(port, &m_dcb);
}

void CSerialSettings::FillDcb()
{
    if (m_baudRate)
        m_dcb.BaudRate = *m_baudRate;
    if (m_byteSize)
        m_dcb.ByteSize = *m_byteSize;
    if (m_parity) {
        m_dcb.Parity = *m_parity;
        m_dcb.fParity = *m_parity != NOPARITY;
    }
    if (m_stopBits)
        m_dcb.StopBits = *m_stopBits;
    if (!m_flowCode)
        return;
    switch (*m_flowCode) {
    case kFlowNone:
        m_dcb.fOutxCtsFlow = 0;
        m_dcb.fRtsControl = RTS_CONTROL_DISABLE;
        m_dcb.fDtrControl = DTR_CONTROL_DISABLE;
        break;
    case kFlowCtsRts:
        m_dcb.fOutxCtsFlow = 1;
        m_dcb.fRtsControl = RTS_CONTROL_ENABLE;
        m_dcb.fDtrControl = DTR_CONTROL_DISABLE;
        break;
    case kFlowCtsDtr:
        m_dcb.fOutxCtsFlow = 1;
        m_dcb.fRtsControl = RTS_CONTROL_DISABLE;
        m_dcb.fDtrControl = DTR_CONTROL_ENABLE;
        break;
    default:
        return;   // not a flow code of ours: the line keeps its flow control
    }
    m_dcb.fOutxDsrFlow = 0;
    m_dcb.fDsrSensitivity = 0;
    m_dcb.fOutX = 0;
    m_dcb.fInX = 0;
}

BOOL CSerialSettings::WriteState(HANDLE port)
{
    FillDcb();
    return SetCommState(port, &m_dcb);
}
