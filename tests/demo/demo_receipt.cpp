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

// A sample receipt as command bytes.
std::string SampleReceipt()
{
    using namespace std::string_literals;
    return "\x1b@"s
           + "\x1b" "a\x01"s + "\x1d!\x11"s + "CORNER BAKERY\n" + "\x1d!\x00"s
           + "12 Harbour Street\n"
           + "\x1b" "a\x00"s
           + "----------------------------------------\n"
           + "Sourdough loaf                      4.20\n"
           + "Croissant x3                        5.40\n"
           + "Flat white                          3.10\n"
           + "----------------------------------------\n"
           + "\x1b" "E\x01"s + "TOTAL                              12.70\n" + "\x1b" "E\x00"s
           + "\x1b" "a\x01"s + "\x1dh\x50"s + "\x1dw\x02"s + "\x1dH\x02"s + "\x1dk\x04" "12345678\0"s
           + "\nThank you!\n"
           + "\x1b" "d\x04"s
           + "\x1dV\x00"s;
}

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

        std::string receipt = SampleReceipt();
        printer->PrintBuffer().Append(reinterpret_cast<const uint8_t *>(receipt.data()), receipt.size());
        printer->FlushPrintBuffer();
        emu.WaitFor(receipt.size(), 5000);
        std::string got = emu.Received();
        std::printf("\nThe printer received %zu bytes%s:\n\n", got.size(),
                    got == receipt ? " (byte-exact)" : " (DIFFERENT from what was sent)");
        std::printf("%s\n", DecodeEscPos(got).c_str());

        std::printf("Status reports from the printer:\n");
        ShowCodes("before", *printer);
        bool ok = got == receipt;
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
