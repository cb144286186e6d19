// A stand-in for the platform's OPOS control objects, for the tests and the demo only: what a
// retail application creates by "OPOS.POSPrinter" or "OPOS.CashDrawer". It finds the device in
// the OPOS registry, creates the service object named there and drives it by name, for the
// members the suite uses. Its IDispatch is written by hand; there is no type library.
#pragma once

#include <windows.h>
#include <ole2.h>

#include "opos.h"
#include "comsup.h"
#include "dispatch.h"

// {8B4FC79C-DD32-4F60-BCDA-8FB4718761EB}
inline constexpr CLSID CLSID_StandInPOSPrinter = {
    0x8b4fc79c, 0xdd32, 0x4f60, {0xbc, 0xda, 0x8f, 0xb4, 0x71, 0x87, 0x61, 0xeb}};
// {37AEA1B5-BBF1-4323-92CC-5978D9AB7AD0}
inline constexpr CLSID CLSID_StandInCashDrawer = {
    0x37aea1b5, 0xbbf1, 0x4323, {0x92, 0xcc, 0x59, 0x78, 0xd9, 0xab, 0x7a, 0xd0}};

class CControlObject : public com::CComObjectRoot, public IDispatch
{
public:
    explicit CControlObject(const wchar_t *deviceClass) : m_deviceClass(deviceClass) {}
    ~CControlObject() override;

    HRESULT InternalQueryInterface(REFIID iid, void **ppv);

    // IDispatch
    STDMETHODIMP GetTypeInfoCount(UINT *count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo **info) override;
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR *names, UINT count, LCID, DISPID *ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS *params, VARIANT *result,
                        EXCEPINFO *excep, UINT *argErr) override;

    struct Member;

private:
    long Open(BSTR deviceName);
    long Close();
    long Forward(const Member &member, const VARIANT *args);
    HRESULT GetProperty(const Member &member, VARIANT *result);
    HRESULT PutProperty(const Member &member, const VARIANT &value);
    long SoNumber(long index);

    const wchar_t *m_deviceClass;
    com::CDispatchCaller m_service;        // the service object while open
    com::ComPtr<IDispatch> m_sink;         // what the service object was given to call back
    long m_resultCode = OPOS_E_CLOSED;     // answered while no service object is open
};

class CPosPrinterControl : public CControlObject
{
public:
    CPosPrinterControl() : CControlObject(L"POSPrinter") {}
};

class CCashDrawerControl : public CControlObject
{
public:
    CCashDrawerControl() : CControlObject(L"CashDrawer") {}
};
