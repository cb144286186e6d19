// The POSPrinter service object: one instance per device that the OPOS control object opens.
#pragma once

#include <windows.h>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "Malvistra.h"
#include "../common/comsup.h"
#include "devicesettings.h"
#include "printbuffer.h"
#include "statuspacket.h"

// Number and string property fields (indexes in the comments).
struct CPropertyValues
{
    LONG AutoDisable = 0;                 // 10
    LONG BinaryConversion = 0;            // 11
    LONG AsyncMode = 0;                   // 8001
    LONG CharacterSet = 0;                // 8002
    LONG PageModeDescriptor = 0;          // 8046
    LONG PageModeHorizontalPosition = 0;  // 8047
    LONG PageModePrintDirection = 0;      // 8048
    LONG PageModeStation = 0;             // 8049
    LONG PageModeVerticalPosition = 0;    // 8050
    std::wstring CheckHealthText;         // 1000001
    std::wstring CharacterSetList;        // 1008001
    std::wstring JrnLineCharsList;        // 1008002
    std::wstring RecLineCharsList;        // 1008003
    std::wstring SlpLineCharsList;        // 1008004
    std::wstring ErrorString;             // 1008005
    std::wstring FontTypefaceList;        // 1008006
    std::wstring RecBarCodeRotationList;  // 1008007
    std::wstring SlpBarCodeRotationList;  // 1008008
    std::wstring RecBitmapRotationList;   // 1008009
    std::wstring SlpBitmapRotationList;   // 1008010
    std::wstring PageModeArea;            // 1008011
    LONG PageModePrintArea[4] = {0, 0, 0, 0};   // 1008012
};

class CSOPOSPrinter
    : public com::CComObjectRoot,
      public com::IDispatchImpl<ISOPOSPrinter, &IID_ISOPOSPrinter, &LIBID_MALVISTRALib, 1, 0>
{
public:
    CSOPOSPrinter();
    ~CSOPOSPrinter() override;

    HRESULT InternalQueryInterface(REFIID iid, void **ppv);

    // ISOPOSPrinter
    STDMETHODIMP COFreezeEvents(BOOL Freeze, long *pRC) override;
    STDMETHODIMP GetPropertyNumber(long PropIndex, long *pNumber) override;
    STDMETHODIMP SetPropertyNumber(long PropIndex, long Number) override;
    STDMETHODIMP GetPropertyString(long PropIndex, BSTR *pString) override;
    STDMETHODIMP SetPropertyString(long PropIndex, BSTR String) override;
    STDMETHODIMP OpenService(BSTR DeviceClass, BSTR DeviceName, IDispatch *pDispatch, long *pRC) override;
    STDMETHODIMP CheckHealth(long Level, long *pRC) override;
    STDMETHODIMP ClaimDevice(long Timeout, long *pRC) override;
    STDMETHODIMP ClearOutput(long *pRC) override;
    STDMETHODIMP CloseService(long *pRC) override;
    STDMETHODIMP DirectIO(long Command, long *pData, BSTR *pString, long *pRC) override;
    STDMETHODIMP ReleaseDevice(long *pRC) override;
    STDMETHODIMP BeginInsertion(long Timeout) override;
    STDMETHODIMP BeginRemoval(long Timeout) override;
    STDMETHODIMP CutPaper(long Percentage, long *pRC) override;
    STDMETHODIMP EndInsertion() override;
    STDMETHODIMP EndRemoval() override;
    STDMETHODIMP PrintBarCode(long Station, BSTR Data, long Symbology, long Height, long Width,
                              long Alignment, long TextPosition, long *pRC) override;
    STDMETHODIMP PrintBitmap(long Station, BSTR FileName, long Width, long Alignment) override;
    STDMETHODIMP PrintImmediate(long Station, BSTR Data, long *pRC) override;
    STDMETHODIMP PrintNormal(long Station, BSTR Data, long *pRC) override;
    STDMETHODIMP PrintTwoNormal(long Station, BSTR Data1, BSTR Data2) override;
    STDMETHODIMP RotatePrint(long Station, long Rotation) override;
    STDMETHODIMP SetBitmap(long BitmapNumber, long Station, BSTR FileName, long Width,
                           long Alignment) override;
    STDMETHODIMP SetLogo(long Location, BSTR Data) override;
    STDMETHODIMP TransactionPrint(long Station, long Control, long *pRC) override;
    STDMETHODIMP ValidateData(long Station, BSTR Data) override;
    STDMETHODIMP ChangePrintSide(long Side) override;
    STDMETHODIMP MarkFeed(long Type) override;
    STDMETHODIMP ResetStatistics(BSTR *pStatisticsBuffer, long *pRC) override;
    STDMETHODIMP RetrieveStatistics(BSTR *pStatisticsBuffer, long *pRC) override;
    STDMETHODIMP UpdateStatistics(BSTR StatisticsBuffer, long *pRC) override;
    STDMETHODIMP CompareFirmwareVersion(BSTR FirmwareFileName, long *pResult, long *pRC) override;
    STDMETHODIMP UpdateFirmware(BSTR FirmwareFileName, long *pRC) override;
    STDMETHODIMP ClearPrintArea() override;
    STDMETHODIMP PageModePrint(long Control) override;
    STDMETHODIMP PrintMemoryBitmap(long Station, BSTR Data, long Type, long Width,
                                   long Alignment) override;

    // Stores an OPOS result code as ResultCode and returns it for pRC.
    LONG SetResultCode(LONG code);

    // Writes the pending bytes as one run (WriteRun) and empties the buffer; false when the
    // run did not reach the printer whole.
    bool FlushPrintBuffer();
    // Writes a run of the object's own commands and empties `run`: first the rest of a command
    // that an earlier run was cut in, then the run. When the run is cut inside one of its
    // commands, the rest of that command is kept for the next run. False when the run did not
    // reach the printer whole (nothing of it goes out while an earlier command stays unfinished).
    bool WriteRun(CPrintBuffer &run);
    // Writes bytes whose commands the object does not know (the application's own): after the
    // rest of an unfinished command, as they are. False when they did not get out whole.
    bool WriteOwnBytes(const uint8_t *bytes, LONG length);
    // Writes a run to the port, piece after piece, and returns the bytes written: all of them
    // unless the port took nothing for kWriteTimeoutMs, where the run ends.
    LONG WritePort(const uint8_t *bytes, LONG length);
    // After a print operation's run did not reach the printer whole: ResultCode 114 with the
    // printer's reported state when the status reader knows it, else 112 (time-out) with
    // ResultCodeExtended 0. Returns the code.
    LONG ReportShortRun();
    // A print operation's run ended, whole (ResultCode 0) or not; returns the code.
    LONG ReportRun(bool whole);

    static DWORD WINAPI StatusReaderThread(void *object);

    // The code page that text for the printer is converted to, chosen by CharacterSet.
    UINT TextCodePage() const;

    // Sees every port write (each piece of a run) after it ended: what was asked and how much
    // got out. For the object's own tests, which need to know how many writes a print took.
    using WriteObserver = void (*)(void *context, const uint8_t *bytes, LONG requested, LONG written);
    void SetWriteObserver(WriteObserver observer, void *context)
    {
        m_writeObserver = observer;
        m_writeObserverContext = context;
    }

    // Starts one overlapped read of the port, as ReadFile does (no byte count out; the end is
    // reported through the OVERLAPPED and its event). The object reads with ReadFile; its own
    // tests and tools put a port here that behaves as another system's port does. Set only
    // while the device is not claimed.
    using PortReadFunc = BOOL (*)(void *context, HANDLE port, void *buffer, DWORD size, OVERLAPPED *overlapped);
    void SetPortReader(PortReadFunc read, void *context)
    {
        m_portReader = read;
        m_portReaderContext = context;
    }

    // Starts one overlapped write of the port, as WriteFile does, cancels the port's pending
    // I/O, as CancelIo does, and tells the bytes of pending writes not yet sent, as the
    // cbOutQue of ClearCommError does (false where the port cannot tell); the end of a write is
    // reported through the OVERLAPPED and its event. The object uses those calls; its own tests
    // put a port here that behaves as another system's port does. Set only while the device is
    // not claimed.
    using PortWriteFunc = BOOL (*)(void *context, HANDLE port, const void *bytes, DWORD size, OVERLAPPED *overlapped);
    using PortCancelFunc = void (*)(void *context, HANDLE port);
    using PortQueueFunc = BOOL (*)(void *context, HANDLE port, DWORD *queued);
    void SetPortWriter(PortWriteFunc write, PortCancelFunc cancel, PortQueueFunc queue, void *context)
    {
        m_portWriter = write;
        m_portCanceller = cancel;
        m_portQueue = queue;
        m_portWriterContext = context;
    }

    // Read-only views for the object's own tests and tools.
    const CDeviceSettings &DeviceSettings() const { return m_settings; }
    const CPrintBuffer &PrintBuffer() const { return m_printBuffer; }
    CPrintBuffer &PrintBuffer() { return m_printBuffer; }
    HANDLE PortHandle() const { return m_port; }
    HANDLE WriteEvent() const { return m_writeEvent; }
    LONG ResultCode() const { return m_resultCode; }
    LONG ResultCodeExtended() const { return m_resultCodeExtended; }
    bool IsClaimed() const { return m_claimed != 0; }
    // The longest pause between two bytes of one status packet on the claimed port.
    DWORD StatusPacketGap() const { return m_statusGapMs; }
    // The longest piece of a run on the claimed port by its line; pieces are no longer than
    // kWritePieceSmallBytes once the port turns out not to tell its output queue.
    DWORD WritePieceBytes() const { return m_writePieceBytes; }
    // The rest of a command that the last run on this port was cut in, sent first by the next
    // run; while the device is not claimed it is kept for the port (see TakeUnfinishedCommand).
    const std::vector<uint8_t> &UnfinishedCommand() const { return m_unfinishedCommand; }
    bool InTransaction() const { return m_inTransaction != 0; }

private:
    // The steps of ReleaseDevice: stop the reader, close port, event and thread handles.
    void ReleasePort();
    void ReaderLoop();
    BOOL ReadPort(HANDLE port, void *buffer, DWORD size, OVERLAPPED *overlapped);
    // Runs a method's body so that no C++ exception leaves it: anything thrown (in practice an
    // allocation failure) is traced and becomes OPOS_E_FAILURE through SetResultCode, so pRC
    // and ResultCode agree.
    template <class F>
    LONG Contain(const wchar_t *method, F &&body);
    // One write of the port: returns what got out, whether the port started the write at all,
    // and whether it was cancelled, which happens only once the port has shown no progress since
    // *lastProgress for kWriteTimeoutMs. Moves *lastProgress on whenever the port shows some.
    LONG WritePiece(const uint8_t *bytes, LONG length, DWORD *lastProgress, bool *started, bool *cancelled);
    BOOL StartWrite(const uint8_t *bytes, DWORD length, OVERLAPPED *overlapped);
    void CancelPortIo();
    // The bytes of the pending write not yet sent, where the port tells.
    bool PortQueued(DWORD *queued);
    void SendCommand(const uint8_t *bytes, size_t length);
    // Sends the rest of an unfinished command; true when none is left.
    bool FinishCutCommand();
    // The state that belongs to one claim of the port and must not outlive it: the print
    // buffer, an open transaction, the printer's reported state. (An unfinished command belongs
    // to the port: the release keeps it for the port's next claim.)
    void ForgetClaimState();
    // The body of every print method: 103 on an object that is not claimed, else body's code;
    // the code goes to pRC and ResultCode.
    template <class F>
    void PrintMethod(const wchar_t *method, long *pRC, F &&body);
    void SetupSerialLine();
    void SetWriteTimeouts(COMMTIMEOUTS &timeouts);
    friend struct CPropertyTables;

    CDeviceSettings m_settings;
    CPrintBuffer m_printBuffer;
    // Shared with the status reader, which writes both codes whatever a method set there.
    std::atomic<LONG> m_resultCode{0};
    std::atomic<LONG> m_resultCodeExtended{0};
    LONG m_claimed = 0;
    LONG m_deviceEnabled = 0;
    LONG m_dataEventEnabled = 0;
    LONG m_freezeEvents = 0;
    LONG m_flagWhenIdle = 0;        // 8005
    LONG m_state = 2;               // OPOS_S_IDLE
    LONG m_outputId = 0;
    HANDLE m_port = nullptr;
    DISPID m_eventIds[5] = {};
    CPropertyValues m_props;
    HANDLE m_readerThread = nullptr;
    com::ComPtr<IDispatch> m_controlObject;
    LONG m_inTransaction = 0;
    std::atomic<LONG> m_stop{0};
    HANDLE m_writeEvent = nullptr;
    // Counts the times status back was switched on; the reader starts assembling packets
    // afresh when it changes.
    std::atomic<LONG> m_statusBackEpoch{0};
    // Set by the claim before the reader starts: the packet gap for the port's line.
    DWORD m_statusGapMs = kStatusPacketGapMs;
    // Set by the claim: the longest piece of a run (see WritePieceBytesOf).
    DWORD m_writePieceBytes = 1;
    // Whether the claimed port tells the unsent bytes of a pending write: learned from the
    // first write that stays pending.
    enum class QueueView { Unknown, Shown, Hidden };
    QueueView m_queueView = QueueView::Unknown;
    // The Port name of the claim, under which the release keeps an unfinished command.
    std::wstring m_claimedPort;
    // The rest of a command the last run on the port was cut in; taken over from the port by
    // the claim, handed back to it by the release.
    std::vector<uint8_t> m_unfinishedCommand;
    // The printer's state by its last status packet (kStatusClear, kStatusCoverOpen or
    // kStatusReceiptEmpty); cleared by the claim before the reader starts, then written by the
    // status reader only. Unlike ResultCode, no method overwrites it, so a write that fails can
    // still tell why.
    std::atomic<LONG> m_printerStatus{kStatusClear};
    // The cover and paper bits of the last status packet of this claim (CoverOpen, RecEmpty);
    // cleared by the claim and the release, written by the status reader only.
    std::atomic<LONG> m_coverOpen{0};
    std::atomic<LONG> m_recEmpty{0};
    PortReadFunc m_portReader = nullptr;
    void *m_portReaderContext = nullptr;
    PortWriteFunc m_portWriter = nullptr;
    PortCancelFunc m_portCanceller = nullptr;
    PortQueueFunc m_portQueue = nullptr;
    void *m_portWriterContext = nullptr;
    WriteObserver m_writeObserver = nullptr;
    void *m_writeObserverContext = nullptr;
};
