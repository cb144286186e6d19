// Windows-side handle on one printer played by tests/emulator/printer_emulator.py.
//
// The emulator is started by tests/emulator/wine-run.sh, which exports
// POSEMU_PORT (TCP control port on 127.0.0.1) and POSEMU_COMS (COM names of
// printers 0, 1, 2, ...). Every method throws std::runtime_error naming the
// command and the emulator's reply when the emulator is unreachable or
// rejects the command, so a test that catches nothing reports it as a failure.
// Link with ws2_32.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class PrinterEmulator {
public:
    // True when POSEMU_PORT is set and the emulator accepts a connection.
    static bool Available();

    // Connects to the emulator for printer `index` (0-based); throws when it
    // cannot. Each object owns its own control connection.
    explicit PrinterEmulator(int index);
    ~PrinterEmulator();
    PrinterEmulator(const PrinterEmulator&) = delete;
    PrinterEmulator& operator=(const PrinterEmulator&) = delete;

    std::wstring PortName() const;    // L"COM40"
    std::wstring DevicePath() const;  // L"\\\\.\\COM40", what CreateFileW needs above COM9

    // Publishes the printer under a second name that does not begin with "COM" (L"PRT40"),
    // for as long as the emulator runs, and returns it.
    std::wstring AliasName();

    std::string Received();           // every byte the host wrote since the last Clear()
    size_t Count();
    // Forgets received bytes, resumes reading and discards whatever sits in
    // the line in either direction (including status bytes the host has not read).
    void Clear();
    // Printer -> host. Bytes with NULs need an explicit length:
    // Send(std::string("\x14\x00\x00\x0f", 4)), not Send("\x14\x00...").
    void Send(const std::string& bytes);
    // A stalled printer reads nothing, so the line fills and host writes block.
    void Stall(bool on);
    // The printer takes at most this many bytes a second (0: as fast as they come), as one
    // that holds the line while it prints does; Clear() lifts it.
    void SetRate(unsigned bytesPerSecond);

    struct Line {
        int baud;
        int bits;      // 5..8
        char parity;   // 'N', 'E' or 'O'
        int stop;      // 1 or 2
        bool rtscts;
    };
    // Line settings the host last applied to the port. Data bits and parity
    // are only meaningful when FramingObservable(): some kernels force every
    // pseudo-terminal to 8 bits without parity, whatever the host asked for.
    Line LineSettings();
    bool FramingObservable();
    // Bytes the line holds while the printer takes nothing. A host whose writes block on a
    // full line is let go on only once the printer has taken nearly all of them, so a paced
    // printer shows as taking data only if it takes this much within a few seconds.
    size_t LineBuffer();

    // Waits until at least n bytes have arrived or ms elapsed; returns the count.
    size_t WaitFor(size_t n, unsigned ms);

private:
    std::string Command(const std::string& command, unsigned replyTimeoutMs = 30000);

    int index_;
    std::uintptr_t socket_;  // a SOCKET; kept out of this header so it needs no winsock2.h
};
