// VBScript under cscript.exe, the way many retail applications bind: late, by name, through
// the script engine's own IDispatch calls. Bytes are checked at the printer emulator.
#include "co_test_util.h"
#include "printer_emulator_client.h"

#include <vector>

namespace {

struct ScriptRun
{
    DWORD exitCode = static_cast<DWORD>(-1);
    std::string output;
};

// Runs cscript.exe //nologo <script> <args...> with its output in a file: Wine's system
// processes may inherit a pipe's write end and keep it open past the script's end.
ScriptRun RunScript(const std::wstring &script, const std::vector<std::wstring> &args)
{
    ScriptRun run;
    wchar_t dir[MAX_PATH], file[MAX_PATH];
    if (!GetTempPathW(MAX_PATH, dir) || !GetTempFileNameW(dir, L"vbs", 0, file)) {
        ADD_FAILURE() << "no temporary file: " << GetLastError();
        return run;
    }
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE out = CreateFileW(file, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_TEMPORARY, nullptr);
    if (out == INVALID_HANDLE_VALUE) {
        ADD_FAILURE() << "cannot create the output file: " << GetLastError();
        return run;
    }

    std::wstring command = L"cscript.exe //nologo \"" + script + L"\"";
    for (const std::wstring &a : args)
        command += L" \"" + a + L"\"";
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = out;
    si.hStdError = out;
    PROCESS_INFORMATION pi = {};
    if (CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
        if (WaitForSingleObject(pi.hProcess, 60000) != WAIT_OBJECT_0) {
            ADD_FAILURE() << "the script did not end within 60 s";
            TerminateProcess(pi.hProcess, 999);
            WaitForSingleObject(pi.hProcess, 5000);
        }
        GetExitCodeProcess(pi.hProcess, &run.exitCode);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    } else {
        ADD_FAILURE() << "CreateProcess(cscript.exe) failed: " << GetLastError();
    }
    CloseHandle(out);

    HANDLE in = CreateFileW(file, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (in != INVALID_HANDLE_VALUE) {
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(in, buffer, sizeof(buffer), &got, nullptr) && got)
            run.output.append(buffer, got);
        CloseHandle(in);
    }
    DeleteFileW(file);
    return run;
}

std::string Narrow(const std::wstring &s) { return std::string(s.begin(), s.end()); }

TEST(Script, LateBoundPrintingAtThePrinter)
{
    PrinterEmulator emu(0);
    OposDevice device(L"POSPrinter", L"CoScriptPrinter", kServiceObjectProgId);
    device.SetSerialPort(emu.PortName());
    device.AddLogicalName(L"CoScriptReceipt");
    ASSERT_TRUE(device.Ok());
    const std::wstring dir = WindowsPath(SCRIPT_DIR);

    const struct { const char *what; const wchar_t *script; std::wstring device; DWORD exitCode; std::string said; std::string bytes; } rows[] = {
        {"service object by ProgID", L"print_direct.vbs", device.Name(), 0, "done", kBoldHello + kFullCut},
        {"control object by logical name", L"print_standin.vbs", L"CoScriptReceipt", 0, "done",
         kStatusOn + kBoldHello + kFullCut + kStatusOff},
        {"control object by device key name", L"print_standin.vbs", device.Name(), 0, "done",
         kStatusOn + kBoldHello + kFullCut + kStatusOff},
        {"control object, unknown name", L"print_standin.vbs", L"CoScriptNoSuchName", 1, "-> 109", ""},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        emu.Clear();
        ScriptRun run = RunScript(dir + L"\\" + row.script, {emu.PortName(), row.device});
        EXPECT_EQ(row.exitCode, run.exitCode) << run.output;
        EXPECT_NE(std::string::npos, run.output.find(row.said)) << run.output;
        EXPECT_NE(std::string::npos, run.output.find(Narrow(emu.PortName()))) << run.output;
        emu.WaitFor(row.bytes.size(), 3000);
        Sleep(row.bytes.empty() ? 200 : 20);
        EXPECT_EQ(Hex(row.bytes), Hex(emu.Received()));
    }
}

} // namespace
