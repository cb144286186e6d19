// The main job on the built-in printer emulator: configure a POSPrinter device for an emulated
// serial printer, print a sample receipt through the service object, show what the printer
// received, then let the printer report cover open and paper out.
#include <windows.h>

#include <cstdio>
#include <string>

#include "escpos_decode.h"
#include "printer_emulator_client.h"
#include "soposprinter.h"

namespace {

const wchar_t kDevice[] = L"DemoReceiptPrinter";
const wchar_t kKey[] = L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter\\DemoReceiptPrinter";

void SetString(HKEY key, const wchar_t *name, const std::wstring &value)
{
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

void SetDword(HKEY key, const wchar_t *name, DWORD value)
{
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value), sizeof(value));
}

bool WriteDeviceKey(const std::wstring &port)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr))
        return false;
    SetString(key, nullptr, L"RIVADARADO.POSPrinter");
    SetString(key, L"DeviceName", L"Demo receipt printer");
    SetString(key, L"DeviceDesc", L"ESC/POS receipt printer on an emulated serial line");
    SetString(key, L"Port", port);
    SetDword(key, L"Baudrate", 6);     // 9600
    SetDword(key, L"BitLength", 1);    // 8 bits
    SetDword(key, L"Parity", 0);       // none
    SetDword(key, L"Stop", 1);         // one stop bit
    SetDword(key, L"HandShake", 1);    // RTS/CTS
    RegCloseKey(key);
    return true;
}

const char *Describe(long rc, long extended)
{
    if (rc == 0)
        return "success";
    if (rc == 114 && extended == 201)
        return "extended: cover open";
    if (rc == 114 && extended == 203)
        return "extended: receipt paper empty";
    return "other";
}

void ShowCodes(const char *when, CSOPOSPrinter &printer)
{
    long rc = 0, extended = 0;
    printer.GetPropertyNumber(6, &rc);
    printer.GetPropertyNumber(7, &extended);
    std::printf("  %-28s ResultCode %ld, ResultCodeExtended %ld (%s)\n", when, rc, extended,
                Describe(rc, extended));
}

bool WaitForCode(CSOPOSPrinter &printer, long rc, long extended)
{
    for (int i = 0; i < 300; ++i) {
        if (printer.ResultCode() == rc && printer.ResultCodeExtended() == extended)
            return true;
        Sleep(10);
    }
    return false;
}

// The receipt as a retail application prints it: OPOS escape sequences in the text.
const wchar_t *const kReceiptLines[] = {
    L"\x1b|cA\x1b|4CCORNER BAKERY\n",
    L"\x1b|cA12 Harbour Street\n",
    L"\x1b|lA----------------------------------------\n",
    L"Sourdough loaf                      4.20\n",
    L"Croissant x3                        5.40\n",
    L"Flat white                          3.10\n",
    L"----------------------------------------\n",
    L"\x1b|bC\x1b|2CTOTAL             12.70\n",
    L"\x1b|uCPaid by card\n",
};

} // namespace

int main()
{
    try {
        PrinterEmulator emu(0);
        emu.Clear();
        if (!WriteDeviceKey(emu.PortName())) {
            std::fprintf(stderr, "demo: cannot write the device key\n");
            return 1;
        }
        std::printf("Device key HKLM\\%ls -> port %ls\n", kKey, emu.PortName().c_str());

        com::CComObject<CSOPOSPrinter> *raw = nullptr;
        com::CComObject<CSOPOSPrinter>::CreateInstance(&raw);
        com::ComPtr<com::CComObject<CSOPOSPrinter>> printer(raw);

        com::CBstr cls(L"POSPrinter"), name(kDevice);
        long rc = -1;
        printer->OpenService(cls.Get(), name.Get(), nullptr, &rc);
        std::printf("OpenService  -> %ld\n", rc);
        printer->ClaimDevice(1000, &rc);
        std::printf("ClaimDevice  -> %ld\n", rc);
        if (rc != 0)
            return 1;

        printer->SetPropertyNumber(3, 1);   // DeviceEnabled: status reports on
        for (const wchar_t *line : kReceiptLines) {
            com::CBstr data(line);
            printer->PrintNormal(2, data.Get());
        }
        com::CBstr code(L"RECEIPT-42");
        printer->PrintBarCode(2, code.Get(), 108, 80, 2, -2, -13);   // Code 39, text below
        com::CBstr thanks(L"\x1b|cAThank you!\n\x1b|3lF");
        printer->PrintNormal(2, thanks.Get());
        printer->CutPaper(100);

        emu.WaitFor(1, 5000);
        Sleep(300);
        std::string got = emu.Received();
        std::printf("\nThe printer received %zu bytes:\n\n%s\n", got.size(), DecodeEscPos(got).c_str());

        std::printf("Status reports from the printer:\n");
        ShowCodes("before", *printer);
        bool ok = got.size() > 300;
        emu.Send(std::string("\x20\0\0\0", 4));
        ok = WaitForCode(*printer, 114, 201) && ok;
        ShowCodes("printer: cover open", *printer);
        emu.Send(std::string("\0\0\x0c\0", 4));
        ok = WaitForCode(*printer, 114, 203) && ok;
        ShowCodes("printer: paper out", *printer);
        emu.Send(std::string("\0\0\0\0", 4));
        ok = WaitForCode(*printer, 0, 203) && ok;
        ShowCodes("printer: all clear", *printer);

        printer->ReleaseDevice(&rc);
        std::printf("\nReleaseDevice -> %ld\n", rc);
        printer->CloseService(&rc);
        std::printf("CloseService  -> %ld\n", rc);
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, kKey);
        return ok ? 0 : 1;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "demo: %s\n", e.what());
        return 1;
    }
}
