// Life cycle of the service object: open, claim, release, close, and the result-code rule.
#include "soposprinter.h"
#include "malvistra_private.h"

#include <cwchar>
#include <cwctype>
#include <map>
#include <new>

namespace {

bool BstrEquals(BSTR s, const wchar_t *text)
{
    size_t len = wcslen(text);
    return SysStringLen(s) == len && wmemcmp(s, text, len) == 0;
}

bool IsHandle(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }

// One character of a line in the platform's terms. A byte size outside 5-8 (a port that
// reports nothing sensible) counts as 8 data bits, an unknown stop-bits value as two.
struct LineCharacter
{
    uint32_t dataBits;
    bool parityBit;
    uint32_t stopHalfBits;

    explicit LineCharacter(const DCB &line)
        : dataBits(line.ByteSize >= 5 && line.ByteSize <= 8 ? line.ByteSize : 8),
          parityBit(line.Parity != NOPARITY),
          stopHalfBits(line.StopBits == ONESTOPBIT ? 2 : line.StopBits == ONE5STOPBITS ? 3 : 4)
    {
    }
    // A start bit, the data bits, the parity bit and the stop bits, in half bits.
    uint32_t HalfBits() const { return 2 * (1 + dataBits + (parityBit ? 1 : 0)) + stopHalfBits; }
};

DWORD StatusPacketGapMsOf(const DCB &line)
{
    const LineCharacter c(line);
    return StatusPacketGapMs(line.BaudRate, c.dataBits, c.parityBit, c.stopHalfBits);
}

// The longest piece of a run on a line: what it carries in kWritePieceLineMs, between 1 byte and
// kWritePieceMaxBytes. A baud rate of 0 (a line we could not learn) gives the most.
DWORD WritePieceBytesOf(const DCB &line)
{
    if (line.BaudRate == 0)
        return kWritePieceMaxBytes;
    const uint64_t bytes = 2ull * line.BaudRate * kWritePieceLineMs / (1000ull * LineCharacter(line).HalfBits());
    if (bytes < 1)
        return 1;
    return bytes > kWritePieceMaxBytes ? kWritePieceMaxBytes : static_cast<DWORD>(bytes);
}

// The longest piece of a run on a port without line settings: kWritePieceSmallBytes, and on a
// named pipe no more than the pipe holds (see WritePort).
DWORD WritePieceBytesOfPort(HANDLE port)
{
    DWORD flags = 0, outBuffer = 0, inBuffer = 0, instances = 0;
    if (GetNamedPipeInfo(port, &flags, &outBuffer, &inBuffer, &instances) && inBuffer > 0 &&
        inBuffer < kWritePieceSmallBytes)
        return inBuffer;
    return kWritePieceSmallBytes;
}

// The rest of a command that a run was cut in, kept for its port between claims: the printer on
// that port reads whatever it gets next as that rest, whichever claim or object sends it. Port
// names are compared regardless of case, as the system opens them. Objects of different
// apartments may claim and release on different threads at once.
class CUnfinishedCommands
{
public:
    CUnfinishedCommands() { InitializeCriticalSection(&m_lock); }
    ~CUnfinishedCommands() { DeleteCriticalSection(&m_lock); }

    void Keep(const std::wstring &port, std::vector<uint8_t> &rest)
    {
        EnterCriticalSection(&m_lock);
        if (rest.empty())
            m_rests.erase(Key(port));
        else
            m_rests[Key(port)].swap(rest);
        LeaveCriticalSection(&m_lock);
        rest.clear();
    }
    std::vector<uint8_t> Take(const std::wstring &port)
    {
        std::vector<uint8_t> rest;
        EnterCriticalSection(&m_lock);
        auto it = m_rests.find(Key(port));
        if (it != m_rests.end()) {
            rest.swap(it->second);
            m_rests.erase(it);
        }
        LeaveCriticalSection(&m_lock);
        return rest;
    }

private:
    static std::wstring Key(const std::wstring &port)
    {
        std::wstring key(port);
        for (wchar_t &c : key)
            c = static_cast<wchar_t>(std::towupper(c));
        return key;
    }
    CRITICAL_SECTION m_lock;
    std::map<std::wstring, std::vector<uint8_t>> m_rests;
};

// Never destroyed: an object released at the process's end may still hand its rest over.
CUnfinishedCommands &UnfinishedCommands()
{
    static CUnfinishedCommands *const store = new CUnfinishedCommands;
    return *store;
}

void CloseAndClear(HANDLE &h)
{
    if (IsHandle(h))
        CloseHandle(h);
    h = nullptr;
}

} // namespace

CSOPOSPrinter::CSOPOSPrinter() = default;

CSOPOSPrinter::~CSOPOSPrinter()
{
    // The reader thread uses this object: it must be gone before the storage is.
    if (m_claimed)
        ReleasePort();
}

HRESULT CSOPOSPrinter::InternalQueryInterface(REFIID iid, void **ppv)
{
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
        IsEqualIID(iid, IID_ISOPOSPrinter)) {
        *ppv = static_cast<ISOPOSPrinter *>(this);
        return S_OK;
    }
    return E_NOINTERFACE;
}

LONG CSOPOSPrinter::SetResultCode(LONG code)
{
    m_resultCode = code;
    return code;
}

STDMETHODIMP CSOPOSPrinter::OpenService(BSTR DeviceClass, BSTR DeviceName, IDispatch *pDispatch, long *pRC)
{
    LONG rc = Contain(L"OpenService", [&]() -> LONG {
        m_controlObject = pDispatch;
        if (pDispatch) {
            // Looked up as the control object expects; this object fires no events.
            static const wchar_t *const names[] = {L"SOData", L"SODirectIO", L"SOError",
                                                   L"SOOutputComplete", L"SOStatusUpdate"};
            pDispatch->GetIDsOfNames(IID_NULL, const_cast<LPOLESTR *>(names), 5, 0x0800, m_eventIds);
        }

        if (!BstrEquals(DeviceClass, L"POSPrinter"))
            return SetResultCode(OPOS_E_DEVICECLASS);

        // Binding to a device again while claimed: a closed device never keeps its port, and
        // nothing of its print data reaches the next one.
        if (m_claimed)
            ReleasePort();
        ForgetClaimState();

        // A fresh record: nothing of a device bound before (its port, its line, its strings)
        // may stand in for a value this device's key lacks.
        m_settings = CDeviceSettings();
        m_settings.ReadDeviceSettings(DeviceName ? DeviceName : L"");

        m_props.AutoDisable = 0;
        m_props.BinaryConversion = 0;
        m_props.CharacterSet = 437;
        m_props.CharacterSetList = L"437";
        m_props.AsyncMode = 0;
        m_props.RecBarCodeRotationList = L"0";
        m_props.RecBitmapRotationList = L"0";
        m_props.RecLineCharsList = L"48";
        m_props.PageModeHorizontalPosition = 0;
        m_props.PageModeVerticalPosition = 0;
        m_props.PageModePrintDirection = 1;
        m_props.PageModeStation = 2;
        m_props.PageModeDescriptor = 0;
        m_state = 2;
        m_claimed = 0;
        m_deviceEnabled = 0;
        m_freezeEvents = 0;
        m_flagWhenIdle = 0;
        m_inTransaction = 0;
        return SetResultCode(OPOS_SUCCESS);
    });
    if (pRC)
        *pRC = rc;
    return S_OK;
}

void CSOPOSPrinter::SetupSerialLine()
{
    CSerialSettings serial(m_settings.Baudrate, m_settings.BitLength, m_settings.Parity,
                           m_settings.Stop, m_settings.HandShake);
    serial.ReadState(m_port);
    if (!serial.WriteState(m_port))
        Trace(L"SetCommState => %lu\n", GetLastError());

    // The status reader's packet gap follows the line as it now runs; if the port will not
    // tell, the line is taken to be what was just asked of it.
    DCB line = {};
    line.DCBlength = sizeof(line);
    if (!GetCommState(m_port, &line))
        line = serial.LineState();
    m_statusGapMs = StatusPacketGapMsOf(line);
    m_writePieceBytes = WritePieceBytesOf(line);

    // Reads return with what has arrived instead of waiting for a full receive buffer;
    // status packets are 4 bytes and come rarely.
    COMMTIMEOUTS timeouts = {};
    GetCommTimeouts(m_port, &timeouts);
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    SetWriteTimeouts(timeouts);
}

// The port's own write time-out must not end a piece that a printer we serve is still taking:
// a port without one may end writes early (a virtual port's driver gives a write without
// time-outs half a second), and one of a fixed total would end a long piece of a printer that
// keeps taking data, or pauses, before the object saw it stop. So a piece may take as long as
// the slowest printer needs for it, plus kWriteTimeoutMs: a stopped printer's write is ended by
// the object first, wherever the port lets it cancel. Only the write fields are ours; the read
// fields are whatever the caller put in.
void CSOPOSPrinter::SetWriteTimeouts(COMMTIMEOUTS &timeouts)
{
    timeouts.WriteTotalTimeoutMultiplier = kWriteMsPerByte;
    timeouts.WriteTotalTimeoutConstant = kWriteTimeoutMs;
    if (!SetCommTimeouts(m_port, &timeouts))
        Trace(L"SetCommTimeouts => %lu\n", GetLastError());
}

STDMETHODIMP CSOPOSPrinter::ClaimDevice(long /*Timeout*/, long *pRC)
{
    LONG rc = Contain(L"ClaimDevice", [&]() -> LONG {
        if (m_claimed)
            return SetResultCode(OPOS_SUCCESS);

        const std::wstring &port = m_settings.Port;
        if (port.empty()) {
            Trace(L"ClaimDevice: no port configured\n");
            return SetResultCode(OPOS_E_NOEXIST);
        }

        std::wstring path = L"\\\\.\\" + port;
        m_port = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OVERLAPPED, nullptr);
        if (m_port == INVALID_HANDLE_VALUE) {
            DWORD error = GetLastError();
            Trace(L"CreateFile => %XH\n", error);
            return SetResultCode(error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                                     ? OPOS_E_NOEXIST : OPOS_E_FAILURE);
        }

        // A port without line settings: the default packet gap and small pieces. Such a port
        // may still take write time-outs (a virtual port under another name does).
        m_statusGapMs = kStatusPacketGapMs;
        m_writePieceBytes = WritePieceBytesOfPort(m_port);
        m_queueView = QueueView::Unknown;
        if (port.compare(0, 3, L"COM") == 0) {
            SetupSerialLine();
        } else {
            COMMTIMEOUTS timeouts = {};
            if (GetCommTimeouts(m_port, &timeouts))
                SetWriteTimeouts(timeouts);
        }
        ForgetClaimState();   // nothing printed or reported yet on this claim

        m_writeEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        if (!m_writeEvent) {
            Trace(L"CreateEvent => %lu\n", GetLastError());
            CloseAndClear(m_port);
            return SetResultCode(OPOS_E_FAILURE);
        }

        m_stop = 0;
        m_readerThread = CreateThread(nullptr, 0, StatusReaderThread, this, 0, nullptr);
        if (!m_readerThread) {
            Trace(L"CreateThread => %lu\n", GetLastError());
            CloseAndClear(m_writeEvent);
            CloseAndClear(m_port);
            return SetResultCode(OPOS_E_FAILURE);
        }

        // The printer may still wait for the rest of a command that a run on this port was cut
        // in, under an earlier claim or another object: it goes first.
        m_claimedPort = port;
        m_unfinishedCommand = UnfinishedCommands().Take(port);

        Sleep(100);   // lets the reader start before the claim is reported
        m_claimed = 1;
        return SetResultCode(OPOS_SUCCESS);
    });
    if (pRC)
        *pRC = rc;
    return S_OK;
}

void CSOPOSPrinter::ReleasePort()
{
    m_stop = 1;
    if (m_readerThread)
        WaitForSingleObject(m_readerThread, INFINITE);
    CloseAndClear(m_port);
    CloseAndClear(m_writeEvent);
    CloseAndClear(m_readerThread);
    m_claimed = 0;
    UnfinishedCommands().Keep(m_claimedPort, m_unfinishedCommand);
    ForgetClaimState();
}

void CSOPOSPrinter::ForgetClaimState()
{
    m_printBuffer.Clear();
    m_inTransaction = 0;
    m_printerStatus = kStatusClear;
    m_coverOpen = 0;
    m_recEmpty = 0;
}

STDMETHODIMP CSOPOSPrinter::ReleaseDevice(long *pRC)
{
    ForgetClaimState();
    if (!m_claimed)
        return S_OK;   // neither pRC nor ResultCode is written
    ReleasePort();
    LONG rc = SetResultCode(OPOS_SUCCESS);
    if (pRC)
        *pRC = rc;
    return S_OK;
}

STDMETHODIMP CSOPOSPrinter::CloseService(long *pRC)
{
    if (m_claimed)
        ReleasePort();
    ForgetClaimState();
    m_deviceEnabled = 0;
    m_claimed = 0;
    LONG rc = SetResultCode(OPOS_SUCCESS);
    if (pRC)
        *pRC = rc;
    return S_OK;
}

STDMETHODIMP CSOPOSPrinter::ClearOutput(long * /*pRC*/)
{
    m_printBuffer.Clear();
    return S_OK;
}

STDMETHODIMP CSOPOSPrinter::DirectIO(long /*Command*/, long * /*pData*/, BSTR * /*pString*/, long *pRC)
{
    if (pRC)
        *pRC = OPOS_SUCCESS;
    return S_OK;
}

STDMETHODIMP CSOPOSPrinter::BeginInsertion(long /*Timeout*/) { return S_OK; }
STDMETHODIMP CSOPOSPrinter::BeginRemoval(long /*Timeout*/) { return S_OK; }
