// Helpers shared by the service object's tests: device keys in the registry and objects.
#pragma once

#include <windows.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "soposprinter.h"
#include "bytes.h"

inline const wchar_t kPosPrinterKey[] = L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter";

// A POSPrinter device key that exists for the life of the holder.
class TestDeviceKey
{
public:
    explicit TestDeviceKey(std::wstring name) : m_name(std::move(name))
    {
        Remove();
        HKEY key = nullptr;
        LONG rc = RegCreateKeyExW(HKEY_LOCAL_MACHINE, Path().c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr);
        EXPECT_EQ(ERROR_SUCCESS, rc) << "creating the device key";
        if (key)
            RegCloseKey(key);
    }
    ~TestDeviceKey() { Remove(); }

    const std::wstring &Name() const { return m_name; }
    std::wstring Path() const { return std::wstring(kPosPrinterKey) + L"\\" + m_name; }

    void SetString(const wchar_t *value, const std::wstring &data) const
    {
        SetRaw(value, REG_SZ, data.c_str(), static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
    }
    void SetDword(const wchar_t *value, DWORD data) const { SetRaw(value, REG_DWORD, &data, sizeof(data)); }
    void SetRaw(const wchar_t *value, DWORD type, const void *data, DWORD bytes) const
    {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, Path().c_str(), 0, KEY_SET_VALUE, &key));
        EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(key, value, 0, type, static_cast<const BYTE *>(data), bytes));
        RegCloseKey(key);
    }
    void DeleteValue(const wchar_t *value) const
    {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, Path().c_str(), 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
            RegDeleteValueW(key, value);
            RegCloseKey(key);
        }
    }

    // The settings that make a usable 9600 8N1 printer on the given port.
    void SetSerialPort(const std::wstring &port) const
    {
        SetString(L"Port", port);
        SetDword(L"Baudrate", 6);
        SetDword(L"BitLength", 1);
        SetDword(L"Parity", 0);
        SetDword(L"Stop", 1);
        SetDword(L"HandShake", 0);
    }

private:
    void Remove() const { RegDeleteKeyW(HKEY_LOCAL_MACHINE, Path().c_str()); }
    std::wstring m_name;
};

using PrinterPtr = com::ComPtr<com::CComObject<CSOPOSPrinter>>;

inline PrinterPtr NewPrinter()
{
    com::CComObject<CSOPOSPrinter> *raw = nullptr;
    EXPECT_EQ(S_OK, com::CComObject<CSOPOSPrinter>::CreateInstance(&raw));
    return PrinterPtr(raw);   // the holder takes the first reference
}

inline LONG Open(CSOPOSPrinter &printer, const wchar_t *deviceClass, const std::wstring &device)
{
    com::CBstr cls(deviceClass);
    com::CBstr name(device.c_str());
    long rc = -1;
    EXPECT_EQ(S_OK, printer.OpenService(cls.Get(), name.Get(), nullptr, &rc));
    return rc;
}

inline LONG Claim(CSOPOSPrinter &printer)
{
    long rc = -1;
    EXPECT_EQ(S_OK, printer.ClaimDevice(1000, &rc));
    return rc;
}

inline LONG ReleaseDev(CSOPOSPrinter &printer)
{
    long rc = -1;
    EXPECT_EQ(S_OK, printer.ReleaseDevice(&rc));
    return rc;
}

inline LONG NumberProperty(CSOPOSPrinter &printer, long index)
{
    long value = -12345;
    EXPECT_EQ(S_OK, printer.GetPropertyNumber(index, &value));
    return value;
}

// Polls until pred() holds or ms pass; returns the last pred() value.
template <class Pred>
bool WaitUntil(Pred pred, DWORD ms)
{
    DWORD start = GetTickCount();
    while (!pred()) {
        if (GetTickCount() - start >= ms)
            return pred();
        Sleep(10);
    }
    return true;
}
