// Print operations and the health check.
#include "soposprinter.h"
#include "malvistra_private.h"

STDMETHODIMP CSOPOSPrinter::CheckHealth(long /*Level*/, long *pRC)
{
    if (pRC)
        *pRC = OPOS_SUCCESS;
    return S_OK;
}

STDMETHODIMP CSOPOSPrinter::CutPaper(long /*Percentage*/) { return S_OK; }
STDMETHODIMP CSOPOSPrinter::EndInsertion() { return S_OK; }
STDMETHODIMP CSOPOSPrinter::EndRemoval() { return S_OK; }

STDMETHODIMP CSOPOSPrinter::PrintBarCode(long /*Station*/, BSTR /*Data*/, long /*Symbology*/,
                                         long /*Height*/, long /*Width*/, long /*Alignment*/,
                                         long /*TextPosition*/)
{
    return S_OK;
}

STDMETHODIMP CSOPOSPrinter::PrintBitmap(long /*Station*/, BSTR /*FileName*/, long /*Width*/,
                                        long /*Alignment*/)
{
    return S_OK;
}

STDMETHODIMP CSOPOSPrinter::PrintImmediate(long /*Station*/, BSTR /*Data*/) { return S_OK; }
STDMETHODIMP CSOPOSPrinter::PrintNormal(long /*Station*/, BSTR /*Data*/) { return S_OK; }

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
STDMETHODIMP CSOPOSPrinter::TransactionPrint(long /*Station*/, long /*Control*/) { return S_OK; }
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
