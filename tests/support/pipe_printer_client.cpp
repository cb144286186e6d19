#include "pipe_printer_client.h"

#include <stdexcept>
#include <vector>

namespace {

HANDLE InheritableCopy(HANDLE h)
{
    HANDLE copy = nullptr;
    DuplicateHandle(GetCurrentProcess(), h, GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS);
    CloseHandle(h);
    return copy;
}

} // namespace

PipePrinter::PipePrinter(const std::wstring &exe, unsigned bufferBytes)
{
    static LONG counter = 0;
    m_name = L"posprinter-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
             std::to_wstring(InterlockedIncrement(&counter));

    HANDLE childIn = nullptr, childOut = nullptr;
    if (!CreatePipe(&childIn, &m_toProgram, nullptr, 0) || !CreatePipe(&m_fromProgram, &childOut, nullptr, 0))
        throw std::runtime_error("pipe_printer: CreatePipe failed");
    childIn = InheritableCopy(childIn);
    childOut = InheritableCopy(childOut);

    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = childIn;
    si.hStdOutput = childOut;
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    std::wstring commandLine = L"\"" + exe + L"\" " + m_name + L" " + std::to_wstring(bufferBytes);
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');
    PROCESS_INFORMATION pi = {};
    const BOOL started = CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    CloseHandle(childIn);
    CloseHandle(childOut);
    if (!started)
        throw std::runtime_error("pipe_printer: CreateProcess failed");
    CloseHandle(pi.hThread);
    m_process = pi.hProcess;
    if (ReadLine() != "ok ready")
        throw std::runtime_error("pipe_printer: did not start");
}

PipePrinter::~PipePrinter()
{
    DWORD n = 0;
    WriteFile(m_toProgram, "quit\n", 5, &n, nullptr);
    CloseHandle(m_toProgram);
    if (WaitForSingleObject(m_process, 3000) != WAIT_OBJECT_0)
        TerminateProcess(m_process, 1);
    CloseHandle(m_process);
    CloseHandle(m_fromProgram);
}

std::string PipePrinter::ReadLine()
{
    std::string line;
    char c = 0;
    DWORD n = 0;
    while (ReadFile(m_fromProgram, &c, 1, &n, nullptr) && n == 1) {
        if (c == '\n')
            return line;
        if (c != '\r')
            line += c;
    }
    throw std::runtime_error("pipe_printer: the program ended");
}

std::string PipePrinter::Command(const std::string &line)
{
    const std::string text = line + "\n";
    DWORD n = 0;
    if (!WriteFile(m_toProgram, text.data(), static_cast<DWORD>(text.size()), &n, nullptr))
        throw std::runtime_error("pipe_printer: the program ended");
    std::string reply = ReadLine();
    if (reply.compare(0, 2, "ok") != 0)
        throw std::runtime_error("pipe_printer: " + line + ": " + reply);
    return reply.size() > 3 ? reply.substr(3) : std::string();
}

void PipePrinter::SetRate(unsigned bytesPerSecond) { Command("rate " + std::to_string(bytesPerSecond)); }
void PipePrinter::Stop() { Command("stop"); }
void PipePrinter::StopAfter(size_t n) { Command("stopafter " + std::to_string(n)); }
void PipePrinter::Go() { Command("go"); }
size_t PipePrinter::Count() { return std::stoul(Command("count")); }
void PipePrinter::Clear() { Command("clear"); }

std::string PipePrinter::Received()
{
    const std::string hex = Command("rx");
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return bytes;
}

size_t PipePrinter::WaitFor(size_t n, unsigned ms)
{
    const DWORD start = GetTickCount();
    size_t count = Count();
    while (count < n && GetTickCount() - start < ms) {
        Sleep(20);
        count = Count();
    }
    return count;
}
