// Print operations and the health check.
#include "soposprinter.h"
#include "malvistra_private.h"

#include <cstdio>
#include <string>

namespace {

// The first block of every transaction: printer selected, left aligned, margin 0, upside-down
// off, code table 0, international set 0, print mode reset, line spacing 33.
const uint8_t kTransactionBlock[] = {
    0x1B, 0x3D, 0x01, 0x1B, 0x61, 0x00, 0x1D, 0x4C, 0x00, 0x00, 0x1B, 0x7B, 0x00,
    0x1B, 0x74, 0x00, 0x1B, 0x52, 0x00, 0x1B, 0x21, 0x00, 0x1B, 0x33, 0x21,
};
static_assert(sizeof(kTransactionBlock) == 25, "the transaction block is 25 bytes");

struct SymbologyRow
{
    LONG symbology;
    uint8_t system;   // GS k m, the length-prefixed form
};

const SymbologyRow kSymbologies[] = {
    {101, 0x41},   // UPC-A
    {102, 0x42},   // UPC-E
    {103, 0x44},   // EAN-8 (JAN-8)
    {104, 0x43},   // EAN-13 (JAN-13)
    {106, 0x46},   // Interleaved 2 of 5
    {107, 0x47},   // Codabar
    {108, 0x45},   // Code 39
    {110, 0x49},   // Code 128
};

// Converts wide text up to its first zero character. The output is measured first, so code
// pages that need three or four bytes a character (UTF-8, GB18030) lose nothing. A conversion
// the system refuses (unknown code page) gives empty text.
std::string ToNarrow(const wchar_t *text, UINT codePage)
{
    std::string out;
    if (!text || !*text)
        return out;
    int bytes = WideCharToMultiByte(codePage, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 1) {
        Trace(L"WideCharToMultiByte(%u) => %lu\n", codePage, GetLastError());
        return out;
    }
    out.resize(static_cast<size_t>(bytes));
    bytes = WideCharToMultiByte(codePage, 0, text, -1, &out[0], bytes, nullptr, nullptr);
    out.resize(bytes > 0 ? static_cast<size_t>(bytes) - 1 : 0);   // without the zero byte
    return out;
}

const uint8_t *Bytes(const std::string &s) { return reinterpret_cast<const uint8_t *>(s.data()); }

} // namespace

// The print operations set no result code for a run that reached the printer whole: the
// status reader's report stands. A run that did not is reported; a time-out reported for an
// earlier run is taken back by the next whole one, so a print that worked never reads as failed.
void CSOPOSPrinter::ReportRun(bool whole)
{
    if (!whole) {
        ReportShortRun();
        return;
    }
    LONG timedOut = OPOS_E_TIMEOUT;
    m_resultCode.compare_exchange_strong(timedOut, OPOS_SUCCESS);
}

UINT CSOPOSPrinter::TextCodePage() const
{
    // OPOS character set numbers that are not code pages (below 400, 997-999 and the rest of
    // 991-999) print in the system's ANSI code page.
    LONG c = m_props.CharacterSet;
    if ((c >= 400 && c <= 990) || c >= 1000)
        return static_cast<UINT>(c);
    return CP_ACP;
}

STDMETHODIMP CSOPOSPrinter::PrintNormal(long /*Station*/, BSTR Data)
{
    Contain(L"PrintNormal", [&]() -> LONG {
        std::string text = ToNarrow(Data, TextCodePage());
        m_printBuffer.TranslatePrintData(static_cast<int32_t>(text.size()), Bytes(text));
        if (!m_inTransaction)
            ReportRun(FlushPrintBuffer());
        return OPOS_SUCCESS;
    });
    m_state = OPOS_S_IDLE;
    return S_OK;
}

STDMETHODIMP CSOPOSPrinter::PrintImmediate(long /*Station*/, BSTR Data)
{
    Contain(L"PrintImmediate", [&]() -> LONG {
        // Straight to the port: no translation, and pending or transaction bytes stay pending.
        std::string text = ToNarrow(Data, TextCodePage());
        const LONG length = static_cast<LONG>(text.size());
        ReportRun(WritePort(Bytes(text), length) == length);
        return OPOS_SUCCESS;
    });
    m_state = OPOS_S_IDLE;
    return S_OK;
}

STDMETHODIMP CSOPOSPrinter::TransactionPrint(long /*Station*/, long Control)
{
    Contain(L"TransactionPrint", [&]() -> LONG {
        if (Control == PTR_TP_TRANSACTION) {
            m_printBuffer.Clear();
            m_printBuffer.Append(kTransactionBlock, sizeof(kTransactionBlock));
            m_inTransaction = 1;
        } else if (Control == PTR_TP_NORMAL && m_inTransaction) {
            const bool whole = FlushPrintBuffer();
            m_inTransaction = 0;
            ReportRun(whole);
        }
        return OPOS_SUCCESS;
    });
    return S_OK;
}

STDMETHODIMP CSOPOSPrinter::CutPaper(long Percentage)
{
    Contain(L"CutPaper", [&]() -> LONG {
        const uint8_t cut[] = {0x1D, 0x56, static_cast<uint8_t>(Percentage == PTR_CUT_FULL ? 0x00 : 0x01)};
        m_printBuffer.TranslatePrintData(sizeof(cut), cut);
        if (!m_inTransaction)
            ReportRun(FlushPrintBuffer());
        return OPOS_SUCCESS;
    });
    return S_OK;
}

STDMETHODIMP CSOPOSPrinter::PrintBarCode(long /*Station*/, BSTR Data, long Symbology, long /*Height*/,
                                         long /*Width*/, long /*Alignment*/, long TextPosition)
{
    Contain(L"PrintBarCode", [&]() -> LONG {
        const uint8_t hri = TextPosition == PTR_BC_TEXT_BELOW ? 0x02 : TextPosition == PTR_BC_TEXT_ABOVE ? 0x01 : 0x00;
        const uint8_t setup[] = {0x1D, 0x68, 0x23, 0x1D, 0x48, hri, 0x1D, 0x77, 0x02};
        m_printBuffer.TranslatePrintData(sizeof(setup), setup);

        std::string data = ToNarrow(Data, CP_THREAD_ACP);
        const SymbologyRow *row = nullptr;
        for (const SymbologyRow &r : kSymbologies)
            if (r.symbology == Symbology)
                row = &r;
        // Without a bar code command the set-up stays pending for the next flush.
        if (!row || data.size() >= 256)
            return OPOS_SUCCESS;

        std::string command = {'\x1D', '\x6B', static_cast<char>(row->system), static_cast<char>(data.size())};
        command += data;
        m_printBuffer.Append(Bytes(command), command.size());
        if (!m_inTransaction)
            ReportRun(FlushPrintBuffer());
        return OPOS_SUCCESS;
    });
    return S_OK;
}

STDMETHODIMP CSOPOSPrinter::CheckHealth(long Level, long *pRC)
{
    LONG rc = Contain(L"CheckHealth", [&]() -> LONG {
        if (m_port == nullptr || m_port == INVALID_HANDLE_VALUE)
            return SetResultCode(OPOS_E_NOTCLAIMED);
        if (!m_deviceEnabled)
            return SetResultCode(OPOS_E_DISABLED);

        std::string printout = "\x1B\x40";
        if (Level == 2)
            printout += "External HCheck !!\r\n\r\n";
        else if (Level == 3)
            printout += "Interactive HCheck !!\r\n\r\n";
        char version[96];
        std::snprintf(version, sizeof(version), "OPOS ZUV\r\n\r\nServiceObjectVersion = %u\r\n\r\nDeviceName = ",
                      static_cast<unsigned>(kServiceObjectVersion));
        printout += version;
        printout += ToNarrow(m_settings.DeviceName.c_str(), CP_THREAD_ACP);
        printout += "\x1B\x64\x05";   // print and feed five lines

        // Straight to the port, whatever a transaction holds.
        LONG written = WritePort(Bytes(printout), static_cast<LONG>(printout.size()));
        return SetResultCode(written < static_cast<LONG>(printout.size()) ? OPOS_E_FAILURE : OPOS_SUCCESS);
    });
    if (pRC)
        *pRC = rc;
    return S_OK;
}

// The methods below accept their arguments, change nothing and report success.

STDMETHODIMP CSOPOSPrinter::EndInsertion() { return S_OK; }
STDMETHODIMP CSOPOSPrinter::EndRemoval() { return S_OK; }

STDMETHODIMP CSOPOSPrinter::PrintBitmap(long /*Station*/, BSTR /*FileName*/, long /*Width*/,
                                        long /*Alignment*/)
{
    return S_OK;
}

STDMETHODIMP CSOPOSPrinter::PrintTwoNormal(long /*Station*/, BSTR /*Data1*/, BSTR /*Data2*/)
{
    return S_OK;
}

STDMETHODIMP CSOPOSPrinter::RotatePrint(long /*Station*/, long /*Rotation*/) { return S_OK; }

STDMETHODIMP CSOPOSPrinter::SetBitmap(long /*BitmapNumber*/, long /*Station*/, BSTR /*FileName*/,
                                      long /*Width*/, long /*Alignment*/)
{
    return S_OK;
}

STDMETHODIMP CSOPOSPrinter::SetLogo(long /*Location*/, BSTR /*Data*/) { return S_OK; }
STDMETHODIMP CSOPOSPrinter::ValidateData(long /*Station*/, BSTR /*Data*/) { return S_OK; }
STDMETHODIMP CSOPOSPrinter::ChangePrintSide(long /*Side*/) { return S_OK; }
STDMETHODIMP CSOPOSPrinter::MarkFeed(long /*Type*/) { return S_OK; }

STDMETHODIMP CSOPOSPrinter::ResetStatistics(BSTR * /*pStatisticsBuffer*/, long *pRC)
{
    if (pRC)
        *pRC = OPOS_SUCCESS;
    return S_OK;
}

STDMETHODIMP CSOPOSPrinter::RetrieveStatistics(BSTR * /*pStatisticsBuffer*/, long *pRC)
{
    if (pRC)
        *pRC = OPOS_SUCCESS;
    return S_OK;
}

STDMETHODIMP CSOPOSPrinter::UpdateStatistics(BSTR /*StatisticsBuffer*/, long *pRC)
{
    if (pRC)
        *pRC = OPOS_SUCCESS;
    return S_OK;
}

STDMETHODIMP CSOPOSPrinter::CompareFirmwareVersion(BSTR /*FirmwareFileName*/, long *pResult, long *pRC)
{
    if (pResult)
        *pResult = 0;
    if (pRC)
        *pRC = OPOS_SUCCESS;
    return S_OK;
}

STDMETHODIMP CSOPOSPrinter::UpdateFirmware(BSTR /*FirmwareFileName*/, long *pRC)
{
    if (pRC)
        *pRC = OPOS_SUCCESS;
    return S_OK;
}

STDMETHODIMP CSOPOSPrinter::ClearPrintArea() { return S_OK; }
STDMETHODIMP CSOPOSPrinter::PageModePrint(long /*Control*/) { return S_OK; }

STDMETHODIMP CSOPOSPrinter::PrintMemoryBitmap(long /*Station*/, BSTR /*Data*/, long /*Type*/,
                                              long /*Width*/, long /*Alignment*/)
{
    return S_OK;
}
