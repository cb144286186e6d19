// Numeric and string properties.
#include "soposprinter.h"
#include "malvistra_private.h"

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
    switch (PropIndex) {
    case 1: value = m_claimed; break;
    case 2: value = m_dataEventEnabled; break;
    case 3: value = m_deviceEnabled; break;
    case 4: value = m_freezeEvents; break;
    case 5: value = m_outputId; break;
    case 6: value = m_resultCode; break;
    case 7: value = m_resultCodeExtended; break;
    case 9: value = m_state; break;
    case 10: value = m_props.AutoDisable; break;
    case 11: value = m_props.BinaryConversion; break;
    default: break;
    }
    *pNumber = value;
    return S_OK;
}

STDMETHODIMP CSOPOSPrinter::SetPropertyNumber(long /*PropIndex*/, long /*Number*/)
{
    return S_OK;
}

STDMETHODIMP CSOPOSPrinter::GetPropertyString(long /*PropIndex*/, BSTR *pString)
{
    if (pString)
        *pString = nullptr;
    return S_OK;
}

STDMETHODIMP CSOPOSPrinter::SetPropertyString(long /*PropIndex*/, BSTR /*String*/)
{
    return S_OK;
}
