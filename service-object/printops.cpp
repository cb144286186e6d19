// Print operations and the health check.
#include "soposprinter.h"
#include "malvistra_private.h"

#include <cstdio>
#include <initializer_list>
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

// Every print method leaves its own outcome in ResultCode and pRC: 0 when its run reached the
// printer whole (or it had nothing to send yet), 112 or 114 when it did not. What the printer
// last reported stays readable in CoverOpen and RecEmpty.
LONG CSOPOSPrinter::ReportRun(bool whole)
{
    if (!whole)
        return ReportShortRun();
    return SetResultCode(OPOS_SUCCESS);
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

STDMETHODIMP CSOPOSPrinter::PrintNormal(long /*Station*/, BSTR Data, long *pRC)
{
    PrintMethod(L"PrintNormal", pRC, [&]() -> LONG {
        std::string text = ToNarrow(Data, TextCodePage());
        m_printBuffer.TranslatePrintData(static_cast<int32_t>(text.size()), Bytes(text));
        return m_inTransaction ? SetResultCode(OPOS_SUCCESS) : ReportRun(FlushPrintBuffer());
    });
    m_state = OPOS_S_IDLE;
    return S_OK;
}

STDMETHODIMP CSOPOSPrinter::PrintImmediate(long /*Station*/, BSTR Data, long *pRC)
{
    PrintMethod(L"PrintImmediate", pRC, [&]() -> LONG {
        // Straight to the port: no translation, and pending or transaction bytes stay pending.
        // The bytes are the application's own, so a cut inside them leaves nothing to finish.
        std::string text = ToNarrow(Data, TextCodePage());
        return ReportRun(WriteOwnBytes(Bytes(text), static_cast<LONG>(text.size())));
    });
    m_state = OPOS_S_IDLE;
    return S_OK;
}

STDMETHODIMP CSOPOSPrinter::TransactionPrint(long /*Station*/, long Control, long *pRC)
{
    PrintMethod(L"TransactionPrint", pRC, [&]() -> LONG {
        if (Control == PTR_TP_TRANSACTION) {
            m_printBuffer.Clear();
            // Its commands, one by one: ESC = 1, ESC a 0, GS L 0 0, ESC { 0, ESC t 0, ESC R 0,
            // ESC ! 0, ESC 3 33.
            size_t at = 0;
            for (size_t length : {3, 3, 4, 3, 3, 3, 3, 3}) {
                m_printBuffer.AppendCommand(kTransactionBlock + at, length);
                at += length;
            }
            m_inTransaction = 1;
        } else if (Control == PTR_TP_NORMAL && m_inTransaction) {
            const bool whole = FlushPrintBuffer();
            m_inTransaction = 0;
            return ReportRun(whole);
        }
        return SetResultCode(OPOS_SUCCESS);
    });
    return S_OK;
}

STDMETHODIMP CSOPOSPrinter::CutPaper(long Percentage, long *pRC)
{
    PrintMethod(L"CutPaper", pRC, [&]() -> LONG {
        const uint8_t cut[] = {0x1D, 0x56, static_cast<uint8_t>(Percentage == PTR_CUT_FULL ? 0x00 : 0x01)};
        m_printBuffer.AppendCommand(cut, sizeof(cut));
        return m_inTransaction ? SetResultCode(OPOS_SUCCESS) : ReportRun(FlushPrintBuffer());
    });
    return S_OK;
}

STDMETHODIMP CSOPOSPrinter::PrintBarCode(long /*Station*/, BSTR Data, long Symbology, long /*Height*/,
                                         long /*Width*/, long /*Alignment*/, long TextPosition, long *pRC)
{
    PrintMethod(L"PrintBarCode", pRC, [&]() -> LONG {
        const uint8_t hri = TextPosition == PTR_BC_TEXT_BELOW ? 0x02 : TextPosition == PTR_BC_TEXT_ABOVE ? 0x01 : 0x00;
        // GS h 35, GS H n, GS w 2.
        const uint8_t setup[] = {0x1D, 0x68, 0x23, 0x1D, 0x48, hri, 0x1D, 0x77, 0x02};
        for (size_t at = 0; at < sizeof(setup); at += 3)
            m_printBuffer.AppendCommand(setup + at, 3);

        std::string data = ToNarrow(Data, CP_THREAD_ACP);
        const SymbologyRow *row = nullptr;
        for (const SymbologyRow &r : kSymbologies)
            if (r.symbology == Symbology)
                row = &r;
        // Without a bar code command the set-up stays pending for the next flush.
        if (!row || data.size() >= 256)
            return SetResultCode(OPOS_SUCCESS);

        std::string command = {'\x1D', '\x6B', static_cast<char>(row->system), static_cast<char>(data.size())};
        command += data;
        m_printBuffer.AppendCommand(Bytes(command), command.size());
        return m_inTransaction ? SetResultCode(OPOS_SUCCESS) : ReportRun(FlushPrintBuffer());
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

        std::string text;
        if (Level == 2)
            text += "External HCheck !!\r\n\r\n";
        else if (Level == 3)
            text += "Interactive HCheck !!\r\n\r\n";
        char version[96];
        std::snprintf(version, sizeof(version), "OPOS ZUV\r\n\r\nServiceObjectVersion = %u\r\n\r\nDeviceName = ",
                      static_cast<unsigned>(kServiceObjectVersion));
        text += version;
        text += ToNarrow(m_settings.DeviceName.c_str(), CP_THREAD_ACP);

        // Straight to the port, whatever a transaction holds.
        CPrintBuffer printout;
        const uint8_t reset[] = {0x1B, 0x40};
        const uint8_t feed[] = {0x1B, 0x64, 0x05};   // print and feed five lines
        printout.AppendCommand(reset, sizeof(reset));
        printout.Append(Bytes(text), text.size());
        printout.AppendCommand(feed, sizeof(feed));
        return SetResultCode(WriteRun(printout) ? OPOS_SUCCESS : OPOS_E_FAILURE);
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
