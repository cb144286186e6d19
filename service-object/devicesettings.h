// The POSPrinter device key as the service object reads it, and the serial line set-up.
#pragma once

#include <windows.h>
#include <optional>
#include <string>

// The registry stores serial settings as small indexes; these tables give the line values.
// They deliberately differ from the setup utility's labels (index 0 is 110 baud here).
extern const DWORD kBaudTable[11];
extern const DWORD kBitLengthTable[2];
extern const DWORD kHandShakeTable[3];   // flow codes
extern const DWORD kParityTable[3];      // NOPARITY, EVENPARITY, ODDPARITY
extern const DWORD kStopTable[3];        // TWOSTOPBITS, ONESTOPBIT, TWOSTOPBITS ("2 bits")

// Flow codes that FillDcb understands.
enum : DWORD { kFlowCtsDtr = 1, kFlowCtsRts = 4, kFlowNone = 5 };

// The 36 values of SOFTWARE\OLEforRetail\ServiceOPOS\POSPrinter\<device>.
// A number is empty until a REG_DWORD of that name was read. The five serial fields hold line
// values, never indexes: an index that was read but lies outside its table empties the field,
// so the port keeps the line value it already had.
class CDeviceSettings
{
public:
    using Number = std::optional<DWORD>;

    std::wstring DeviceName;
    std::wstring DeviceDesc;
    std::wstring Description;
    Number DeviceID;
    std::wstring GroupID;
    std::wstring DefPort;
    std::wstring Port;
    Number PortFlag;
    std::wstring PrinterDllName;
    std::wstring RegFormatType;
    std::wstring Service;
    std::wstring Version;
    Number Baudrate;
    Number BitLength;
    Number HandShake;
    Number Parity;
    Number Stop;
    Number Timeout;
    Number XonXoff;
    Number BmpFMemSize;
    Number CapASB;
    Number CapRealtimeKick;
    Number IdleSleep;
    Number InstKey;
    Number InternalVersion;
    Number OptionBmpRaster;
    Number OptionFirmVersion;
    Number OptionPaperInvariable;
    Number OutputBuf;
    Number OutputDK;
    Number OutputLD;
    Number OutputMax;
    Number OutputMICR;
    Number OutputMin;
    Number PulseUNITTime;
    Number StatsBarcodePrintedCount;

    // 0 when the key was opened and read, 1 when it could not be opened (or its path would not
    // fit) and nothing was read.
    LONG ReadDeviceSettings(const wchar_t *deviceName);

    static LONG ReadStringValue(HKEY key, const wchar_t *name, std::wstring &field);
    static LONG ReadDWordValue(HKEY key, const wchar_t *name, Number &field);
};

// Line set-up for one claim of a COM port: read the line state, change what the device key
// gives, write it back. Failures are not fatal: the port then keeps its line state.
class CSerialSettings
{
public:
    CSerialSettings(std::optional<DWORD> baudRate, std::optional<DWORD> byteSize,
                    std::optional<DWORD> parity, std::optional<DWORD> stopBits,
                    std::optional<DWORD> flowCode);

    BOOL ReadState(HANDLE port);
    void FillDcb();
    BOOL WriteState(HANDLE port);

    const DCB &LineState() const { return m_dcb; }
    DCB &LineState() { return m_dcb; }

private:
    std::optional<DWORD> m_baudRate;
    std::optional<BYTE> m_byteSize;
    std::optional<BYTE> m_parity;
    std::optional<BYTE> m_stopBits;
    std::optional<BYTE> m_flowCode;
    DCB m_dcb;
};
