// Windows-side handle on one printer played by pipe_printer.exe at the far end of a named pipe:
// a port that is not a serial line, whose printer takes data at a pace of its own and can stop.
// Every method throws std::runtime_error when the program does not answer as it should.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

class PipePrinter
{
public:
    // Starts the program (exe: its Windows path) on a pipe of a fresh name that holds
    // bufferBytes towards the printer.
    PipePrinter(const std::wstring &exe, unsigned bufferBytes);
    ~PipePrinter();
    PipePrinter(const PipePrinter &) = delete;
    PipePrinter &operator=(const PipePrinter &) = delete;

    // What a device key's Port holds: L"pipe\\<name>".
    std::wstring PortName() const { return L"pipe\\" + m_name; }

    // At most this many bytes a second (0: as fast as they come).
    void SetRate(unsigned bytesPerSecond);
    void Stop();
    // Takes n more bytes, then nothing.
    void StopAfter(size_t n);
    void Go();
    size_t Count();
    std::string Received();
    void Clear();
    // Waits until at least n bytes were taken or ms passed; returns the count.
    size_t WaitFor(size_t n, unsigned ms);

private:
    std::string Command(const std::string &line);
    std::string ReadLine();

    std::wstring m_name;
    HANDLE m_process = nullptr;
    HANDLE m_toProgram = nullptr;
    HANDLE m_fromProgram = nullptr;
};
