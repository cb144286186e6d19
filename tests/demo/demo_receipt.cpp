// The main job on the built-in printer emulator, done the way a retail application and its
// installer do it: register the COM servers, write the OPOS device key and a logical device
// name, then print a sample receipt through the POSPrinter control object by that name and
// watch the printer's status arrive as result codes. Exits 0 only when every step went as
// expected.
#include <windows.h>
#include <ole2.h>

#include <cstdio>
#include <string>
#include <vector>

#include "dispatch.h"
#include "escpos_decode.h"
#include "opos_setup.h"
#include "printer_emulator_client.h"

namespace {

const wchar_t kDeviceKey[] = L"DemoReceiptPrinter";
const wchar_t kLogicalName[] = L"ReceiptPrinter";

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
constexpr int kLineCount = sizeof(kReceiptLines) / sizeof(kReceiptLines[0]);

class Demo
{
public:
    int Run();

private:
    bool Register(const wchar_t *what, const std::wstring &dll);
    void Expect(bool ok, const char *what);
    long Call(const wchar_t *name, std::initializer_list<com::CDispArg> args, const char *shown);
    long Enable(bool on);
    long Number(const wchar_t *name);
    void ShowStatus(PrinterEmulator &emu, const char *event, const std::string &packet, long rc, long extended);

    com::CDispatchCaller m_printer;
    std::vector<std::string> m_problems;
};

const char *CodeName(long rc)
{
    switch (rc) {
    case 0: return "OPOS_SUCCESS";
    case 101: return "OPOS_E_CLOSED";
    case 103: return "OPOS_E_NOTCLAIMED";
    case 104: return "OPOS_E_NOSERVICE";
    case 106: return "OPOS_E_ILLEGAL";
    case 109: return "OPOS_E_NOEXIST";
    case 111: return "OPOS_E_FAILURE";
    case 112: return "OPOS_E_TIMEOUT";
    case 114: return "OPOS_E_EXTENDED";
    case 201: return "OPOS_EPTR_COVER_OPEN";
    case 203: return "OPOS_EPTR_REC_EMPTY";
    default: return "";
    }
}

void Demo::Expect(bool ok, const char *what)
{
    if (!ok)
        m_problems.push_back(what);
}

// regsvr32 as an installer runs it, as a process of its own.
bool Demo::Register(const wchar_t *what, const std::wstring &dll)
{
    std::wstring command = L"regsvr32.exe /s \"" + dll + L"\"";
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    DWORD exitCode = static_cast<DWORD>(-1);
    if (CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        if (WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0)
            GetExitCodeProcess(pi.hProcess, &exitCode);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    std::printf("  regsvr32 /s %-24ls exit code %ld%s\n", what, static_cast<long>(exitCode),
                exitCode == 0 ? "" : "  <- registration failed");
    Expect(exitCode == 0, "registration");
    return exitCode == 0;
}

long Demo::Call(const wchar_t *name, std::initializer_list<com::CDispArg> args, const char *shown)
{
    long rc = -1;
    HRESULT hr = m_printer.CallLong(name, args, &rc);
    if (FAILED(hr)) {
        std::printf("  %-40s call failed, HRESULT %08lX\n", shown, static_cast<unsigned long>(hr));
        Expect(false, shown);
        return -1;
    }
    std::printf("  %-40s -> %ld %s\n", shown, rc, CodeName(rc));
    Expect(rc == 0, shown);
    return rc;
}

long Demo::Number(const wchar_t *name)
{
    long value = -1;
    if (FAILED(m_printer.GetLong(name, &value)))
        Expect(false, "reading a property");
    return value;
}

long Demo::Enable(bool on)
{
    const char *shown = on ? "DeviceEnabled = True" : "DeviceEnabled = False";
    HRESULT hr = m_printer.Put(L"DeviceEnabled", on);
    bool enabled = false;
    m_printer.GetBool(L"DeviceEnabled", &enabled);
    long rc = Number(L"ResultCode");
    std::printf("  %-40s -> ResultCode %ld, DeviceEnabled now %s\n", shown, rc, enabled ? "True" : "False");
    Expect(SUCCEEDED(hr) && enabled == on, shown);
    return rc;
}

void Demo::ShowStatus(PrinterEmulator &emu, const char *event, const std::string &packet, long rc, long extended)
{
    emu.Send(packet);
    // The service object's status reader turns the packet into result codes on its own
    // thread; the application sees them at its next property read.
    long seenRc = -1, seenExt = -1;
    for (int i = 0; i < 300; ++i) {
        seenRc = Number(L"ResultCode");
        seenExt = Number(L"ResultCodeExtended");
        if (seenRc == rc && seenExt == extended)
            break;
        Sleep(10);
    }
    std::printf("  %-22s ResultCode %3ld %-16s ResultCodeExtended %3ld %s\n", event, seenRc, CodeName(seenRc),
                seenExt, CodeName(seenExt));
    Expect(seenRc == rc && seenExt == extended, event);
    // The printer's state as the status reader last saw it.
    com::CVariant cover, empty;
    m_printer.Get(L"CoverOpen", &cover);
    m_printer.Get(L"RecEmpty", &empty);
    const bool coverOpen = cover.vt == VT_BOOL && cover.boolVal != VARIANT_FALSE;
    const bool recEmpty = empty.vt == VT_BOOL && empty.boolVal != VARIANT_FALSE;
    std::printf("  %-22s CoverOpen %-5s RecEmpty %s\n", "", coverOpen ? "True" : "False", recEmpty ? "True" : "False");
    Expect(coverOpen == ((packet[0] & 0x20) != 0) && recEmpty == ((packet[2] & 0x0C) != 0), "CoverOpen and RecEmpty");
}

int Demo::Run()
{
    PrinterEmulator emu(0);
    emu.Clear();
    const std::wstring port = emu.PortName();

    std::printf("OPOS receipt printing demo on the printer emulator\n"
                "==================================================\n\n");

    std::printf("1. Registering the COM servers\n");
    if (!Register(L"Malvistra.dll", WindowsPath(MALVISTRA_DLL)) ||
        !Register(L"ControlObjectStandIn.dll", WindowsPath(STANDIN_DLL)))
        return 1;

    std::printf("\n2. OPOS configuration under HKLM\\%ls\\POSPrinter\n", kServiceOposKey);
    OposDevice device(L"POSPrinter", kDeviceKey, kServiceObjectProgId);
    device.SetString(L"DeviceName", L"Demo receipt printer");
    device.SetString(L"DeviceDesc", L"ESC/POS receipt printer on an emulated serial line");
    device.SetSerialPort(port);
    device.AddLogicalName(kLogicalName);
    std::printf("  device key   %ls -> service object %ls\n", kDeviceKey, kServiceObjectProgId);
    std::printf("               Port %ls, 9600 baud, 8 data bits, no parity, 1 stop bit, no handshake\n",
                port.c_str());
    std::printf("  logical name %ls -> %ls\n", kLogicalName, kDeviceKey);
    if (!device.Ok()) {
        std::printf("  cannot write the OPOS keys\n");
        return 1;
    }

    std::printf("\n3. Printing through the control object \"OPOS.POSPrinter\"\n");
    HRESULT hr = m_printer.Create(L"OPOS.POSPrinter");
    if (FAILED(hr)) {
        std::printf("  CreateObject(\"OPOS.POSPrinter\") failed, HRESULT %08lX\n", static_cast<unsigned long>(hr));
        return 1;
    }
    if (Call(L"Open", {kLogicalName}, "Open(\"ReceiptPrinter\")") != 0 ||
        Call(L"ClaimDevice", {1000}, "ClaimDevice(1000)") != 0)
        return 1;
    com::CBstr name;
    m_printer.GetString(L"DeviceName", &name);
    std::printf("  %-40s    \"%ls\"\n", "DeviceName", name.Get() ? name.Get() : L"");
    Enable(true);
    int lines = 0;
    for (const wchar_t *line : kReceiptLines) {
        long rc = -1;
        m_printer.CallLong(L"PrintNormal", {2, line}, &rc);
        lines += rc == 0;
    }
    std::printf("  %-40s -> %d of %d answered 0\n", "PrintNormal(PTR_S_RECEIPT, line)", lines, kLineCount);
    Expect(lines == kLineCount, "PrintNormal");
    Call(L"PrintBarCode", {2, L"RECEIPT-42", 108, 80, 2, -2, -13}, "PrintBarCode(Code 39, \"RECEIPT-42\")");
    Call(L"PrintNormal", {2, L"\x1b|cAThank you!\n\x1b|3lF"}, "PrintNormal(\"Thank you!\", feed 3)");
    Call(L"CutPaper", {100}, "CutPaper(100)");

    emu.WaitFor(1, 5000);
    Sleep(300);
    const std::string got = emu.Received();
    std::printf("\n4. What the printer received: %u bytes, decoded\n\n%s\n", static_cast<unsigned>(got.size()),
                DecodeEscPos(got).c_str());
    const std::string statusOn("\x1d\x61\xff", 3), cut("\x1d\x56\x00", 3);
    const std::string barCode = std::string("\x1d\x6b\x45\x0a", 4) + "RECEIPT-42";
    Expect(got.compare(0, statusOn.size(), statusOn) == 0, "status reports switched on first");
    Expect(got.find("CORNER BAKERY") != std::string::npos && got.find("TOTAL") != std::string::npos,
           "receipt text");
    Expect(got.find(barCode) != std::string::npos, "Code 39 bar code");
    Expect(got.size() >= cut.size() && got.compare(got.size() - cut.size(), cut.size(), cut) == 0,
           "full cut at the end");

    std::printf("5. Printer status as the application sees it through the control object\n");
    ShowStatus(emu, "printer: cover open", std::string("\x20\0\0\0", 4), 114, 201);
    ShowStatus(emu, "printer: paper out", std::string("\0\0\x0c\0", 4), 114, 203);
    ShowStatus(emu, "printer: all clear", std::string("\0\0\0\0", 4), 0, 203);
    std::printf("  (ResultCodeExtended keeps the last printer error until the next one.)\n");

    std::printf("\n6. Closing\n");
    emu.Clear();
    Enable(false);
    Call(L"ReleaseDevice", {}, "ReleaseDevice()");
    Call(L"Close", {}, "Close()");
    emu.WaitFor(3, 2000);
    Expect(emu.Received() == std::string("\x1d\x61\x00", 3), "status reports switched off");
    m_printer.Release();

    if (m_problems.empty()) {
        std::printf("\nEvery step went as expected.\n");
        return 0;
    }
    std::printf("\nNot as expected:\n");
    for (const std::string &p : m_problems)
        std::printf("  - %s\n", p.c_str());
    return 1;
}

} // namespace

int main()
{
    if (FAILED(CoInitialize(nullptr))) {
        std::fprintf(stderr, "demo: CoInitialize failed\n");
        return 1;
    }
    int rc = 1;
    try {
        Demo demo;
        rc = demo.Run();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "demo: %s\n", e.what());
    }
    CoUninitialize();
    return rc;
}
