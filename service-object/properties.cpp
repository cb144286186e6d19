// Numeric and string properties, and enabling the device.
#include "soposprinter.h"
#include "malvistra_private.h"

#include <cwchar>

// The answers, by OPOS property index. Indexes that no table lists answer 0 (numbers) or a
// null string; so do the indexes the printer keeps no value for (DataCount, the journal and
// slip properties, ...).
struct CPropertyTables
{
    using NumberField = LONG (*)(const CSOPOSPrinter &);
    struct FieldRow { long index; NumberField get; };
    struct ConstantRow { long first, last; LONG value; };
    using StringField = const std::wstring &(*)(const CSOPOSPrinter &);
    struct StringRow { long index; StringField get; };

    static const FieldRow kFields[];
    static const ConstantRow kConstants[];
    static const StringRow kStrings[];

    static bool Number(const CSOPOSPrinter &p, long index, LONG *value);
    static const std::wstring *String(const CSOPOSPrinter &p, long index);
};

#define FIELD(index, expr) {index, [](const CSOPOSPrinter &p) -> LONG { return expr; }}
const CPropertyTables::FieldRow CPropertyTables::kFields[] = {
    FIELD(1, p.m_claimed),                              // Claimed
    FIELD(2, p.m_dataEventEnabled),                     // DataEventEnabled
    FIELD(3, p.m_deviceEnabled),                        // DeviceEnabled
    FIELD(4, p.m_freezeEvents),                         // FreezeEvents
    FIELD(5, p.m_outputId),                             // OutputID
    FIELD(6, p.m_resultCode),                           // ResultCode
    FIELD(7, p.m_resultCodeExtended),                   // ResultCodeExtended
    FIELD(9, p.m_state),                                // State
    FIELD(10, p.m_props.AutoDisable),                   // AutoDisable
    FIELD(11, p.m_props.BinaryConversion),              // BinaryConversion
    FIELD(8001, p.m_props.AsyncMode),                   // AsyncMode
    FIELD(8002, p.m_props.CharacterSet),                // CharacterSet
    FIELD(8003, p.m_claimed && p.m_coverOpen),          // CoverOpen, as the printer last said
    FIELD(8014, p.m_claimed && p.m_recEmpty),           // RecEmpty, as the printer last said
    FIELD(8005, p.m_flagWhenIdle),                      // FlagWhenIdle
    FIELD(8046, p.m_props.PageModeDescriptor),          // PageModeDescriptor
    FIELD(8047, p.m_props.PageModeHorizontalPosition),  // PageModeHorizontalPosition
    FIELD(8048, p.m_props.PageModePrintDirection),      // PageModePrintDirection
    FIELD(8049, p.m_props.PageModeStation),             // PageModeStation
    FIELD(8050, p.m_props.PageModeVerticalPosition),    // PageModeVerticalPosition
};
#undef FIELD

// Only the non-zero answers: every other recognised index answers 0 (capabilities: 0 false,
// -1 true).
const CPropertyTables::ConstantRow CPropertyTables::kConstants[] = {
    // first  last   value
    {8, 8, kServiceObjectVersion},   // ServiceObjectVersion
    {14, 14, 2001},                  // PowerState: online
    {8019, 8019, 4},                 // RecLinesToPaperCut
    {8504, 8504, -1},                // CapCoverSensor
    {8506, 8510, -1},                // CapJrnBold .. CapJrnEmptySensor
    {8512, 8512, -1},                // CapJrnNearEndSensor
    {8514, 8514, -1},                // CapJrnUnderline
    {8516, 8522, -1},                // CapRecBarCode .. CapRecEmptySensor
    {8524, 8527, -1},                // CapRecLeft90 .. CapRecPresent
    {8529, 8529, -1},                // CapRecRotate180
    {8531, 8531, -1},                // CapRecUnderline
    {8533, 8539, -1},                // CapSlpBarCode .. CapSlpEmptySensor
    {8542, 8543, -1},                // CapSlpLeft90, CapSlpNearEndSensor
    {8548, 8548, 998},               // CapCharacterSet: Unicode
    {8551, 8551, 1},                 // CapJrnColor
    {8553, 8553, 1},                 // CapRecColor
    {8557, 8557, 1},                 // CapSlpColor
};

#define STRING(index, expr) {index, [](const CSOPOSPrinter &p) -> const std::wstring & { return expr; }}
const CPropertyTables::StringRow CPropertyTables::kStrings[] = {
    STRING(1000001, p.m_props.CheckHealthText),
    STRING(1000002, p.m_settings.DeviceDesc),          // DeviceDescription
    STRING(1000003, p.m_settings.DeviceName),          // DeviceName
    STRING(1000004, p.m_settings.Description),         // ServiceObjectDescription
    STRING(1008001, p.m_props.CharacterSetList),
    STRING(1008002, p.m_props.JrnLineCharsList),
    STRING(1008003, p.m_props.RecLineCharsList),
    STRING(1008004, p.m_props.SlpLineCharsList),
    STRING(1008005, p.m_props.ErrorString),
    STRING(1008006, p.m_props.FontTypefaceList),
    STRING(1008007, p.m_props.RecBarCodeRotationList),
    STRING(1008008, p.m_props.SlpBarCodeRotationList),
    STRING(1008009, p.m_props.RecBitmapRotationList),
    STRING(1008010, p.m_props.SlpBitmapRotationList),
    STRING(1008011, p.m_props.PageModeArea),
};
#undef STRING

bool CPropertyTables::Number(const CSOPOSPrinter &p, long index, LONG *value)
{
    for (const FieldRow &row : kFields)
        if (row.index == index) {
            *value = row.get(p);
            return true;
        }
    for (const ConstantRow &row : kConstants)
        if (index >= row.first && index <= row.last) {
            *value = row.value;
            return true;
        }
    return false;
}

const std::wstring *CPropertyTables::String(const CSOPOSPrinter &p, long index)
{
    for (const StringRow &row : kStrings)
        if (row.index == index)
            return &row.get(p);
    return nullptr;
}

namespace {
constexpr long kPageModePrintArea = 1008012;
const uint8_t kStatusBackOn[] = {0x1D, 0x61, 0xFF};    // GS a 255: report every status change
const uint8_t kStatusBackOff[] = {0x1D, 0x61, 0x00};   // GS a 0
} // namespace

// One command of the object's own, as a run of its own: after the rest of an unfinished
// command, and finished by the next run should it be cut.
void CSOPOSPrinter::SendCommand(const uint8_t *bytes, size_t length)
{
    CPrintBuffer run;
    run.AppendCommand(bytes, length);
    WriteRun(run);
}

STDMETHODIMP CSOPOSPrinter::COFreezeEvents(BOOL /*Freeze*/, long *pRC)
{
    if (pRC)
        *pRC = OPOS_SUCCESS;
    return S_OK;
}

STDMETHODIMP CSOPOSPrinter::GetPropertyNumber(long PropIndex, long *pNumber)
{
    if (!pNumber)
        return S_OK;
    LONG value = 0;
    CPropertyTables::Number(*this, PropIndex, &value);
    *pNumber = value;
    return S_OK;
}

STDMETHODIMP CSOPOSPrinter::SetPropertyNumber(long PropIndex, long Number)
{
    switch (PropIndex) {
    case 3:   // DeviceEnabled: exactly 1 enables, exactly 0 disables, anything else is ignored
        if (m_deviceEnabled && Number == 0) {
            SendCommand(kStatusBackOff, sizeof(kStatusBackOff));
            m_deviceEnabled = 0;
        } else if (!m_deviceEnabled && Number == 1) {
            ++m_statusBackEpoch;
            SendCommand(kStatusBackOn, sizeof(kStatusBackOn));
            m_deviceEnabled = 1;
        }
        break;
    case 10: m_props.AutoDisable = Number; break;
    case 11: m_props.BinaryConversion = Number; break;
    case 8001: m_props.AsyncMode = Number; break;
    case 8002: m_props.CharacterSet = Number; break;
    case 8005: m_flagWhenIdle = Number; break;
    default: break;
    }
    return S_OK;
}

STDMETHODIMP CSOPOSPrinter::GetPropertyString(long PropIndex, BSTR *pString)
{
    if (!pString)
        return S_OK;
    *pString = nullptr;
    if (PropIndex == kPageModePrintArea) {
        wchar_t text[64];
        swprintf(text, sizeof(text) / sizeof(text[0]), L"%ld,%ld,%ld,%ld", m_props.PageModePrintArea[0],
                 m_props.PageModePrintArea[1], m_props.PageModePrintArea[2], m_props.PageModePrintArea[3]);
        *pString = SysAllocString(text);
    } else if (const std::wstring *s = CPropertyTables::String(*this, PropIndex)) {
        *pString = SysAllocStringLen(s->c_str(), static_cast<UINT>(s->size()));
    }
    return S_OK;
}

STDMETHODIMP CSOPOSPrinter::SetPropertyString(long /*PropIndex*/, BSTR /*String*/)
{
    return S_OK;
}
