// The ports of the slow-printer and cut-run tests: a named pipe (a port that is not a serial
// line, with the pipe printer program at its far end), a serial port as a serial driver runs it
// (behind the object's write seam) and the virtual port's other name on the printer emulator;
// and one printer object on one of them.
#pragma once

#include "so_test_util.h"
#include "paced_serial_port.h"
#include "pipe_printer_client.h"
#include "printer_emulator_client.h"

#include <cwchar>
#include <memory>

// The far end of a port: the printer and what it took.
class FarEnd
{
public:
    virtual ~FarEnd() = default;
    virtual void SetRate(unsigned bytesPerSecond) = 0;
    virtual void StopAfter(size_t n) = 0;
    virtual void Go() = 0;
    virtual std::string Received() = 0;
    // Before the claim: the device key, and anything the object needs to reach this port.
    virtual void Prepare(TestDeviceKey &key, CSOPOSPrinter &printer) = 0;
};

class PipeEnd : public FarEnd
{
public:
    explicit PipeEnd(unsigned bufferBytes) : m_printer(PIPE_PRINTER_EXE, bufferBytes) {}
    void SetRate(unsigned rate) override { m_printer.SetRate(rate); }
    void StopAfter(size_t n) override { m_printer.StopAfter(n); }
    void Go() override { m_printer.Go(); }
    std::string Received() override { return m_printer.Received(); }
    void Prepare(TestDeviceKey &key, CSOPOSPrinter &) override { key.SetString(L"Port", m_printer.PortName()); }

private:
    PipePrinter m_printer;
};

// A line on the emulator's port (9600 baud unless told; under the emulator's other name, not
// COM, when lptName); the writes go to a PacedSerialPort.
class SerialEnd : public FarEnd
{
public:
    explicit SerialEnd(DWORD baudIndex = 6, bool lptName = false) : m_emu(1), m_baudIndex(baudIndex), m_lptName(lptName)
    {
        m_emu.Clear();
    }
    ~SerialEnd() override { m_emu.Clear(); }
    // Status bytes from the printer: they travel on the real line.
    void SendStatus(const std::string &packet) { m_emu.Send(packet); }
    void SetRate(unsigned rate) override { m_port.SetRate(rate); }
    void StopAfter(size_t n) override { m_port.StopAfter(n); }
    void Go() override { m_port.Go(); }
    std::string Received() override { return m_port.Received(); }
    void Prepare(TestDeviceKey &key, CSOPOSPrinter &printer) override
    {
        key.SetSerialPort(m_lptName ? m_emu.AliasName() : m_emu.PortName());
        key.SetDword(L"Baudrate", m_baudIndex);
        m_port.Attach(printer);
    }
    PacedSerialPort &Port() { return m_port; }
    std::wstring PortName() const { return m_emu.PortName(); }

private:
    PrinterEmulator m_emu;
    PacedSerialPort m_port;
    DWORD m_baudIndex;
    bool m_lptName;
};

// The emulator's printer under a name that is not COM, as the virtual port's LPT name is. Its
// line holds about 20 KB, so it shows no pace; it can stop before a run.
class VirtualEnd : public FarEnd
{
public:
    VirtualEnd() : m_emu(2) { m_emu.Clear(); }
    ~VirtualEnd() override { m_emu.Clear(); }
    void SetRate(unsigned) override {}
    void StopAfter(size_t n) override
    {
        EXPECT_EQ(0u, n) << "this printer stops only before a run";
        m_emu.Stall(true);
    }
    void Go() override { m_emu.Stall(false); }
    std::string Received() override
    {
        Sleep(300);   // lets the line drain
        return m_emu.Received();
    }
    void Prepare(TestDeviceKey &key, CSOPOSPrinter &) override { key.SetString(L"Port", m_emu.AliasName()); }

private:
    PrinterEmulator m_emu;
};

enum class Kind { Pipe, SmallPipe, Serial, Serial38400, Serial115200, SerialLpt, Virtual };

inline const char *Name(Kind kind)
{
    switch (kind) {
    case Kind::Pipe: return "named pipe";
    case Kind::SmallPipe: return "named pipe holding 48 bytes";
    case Kind::Serial: return "serial port";
    case Kind::Serial38400: return "serial port at 38400 baud";
    case Kind::Serial115200: return "serial port at 115200 baud";
    case Kind::SerialLpt: return "serial driver under a name that is not COM";
    default: return "virtual port";
    }
}

inline std::unique_ptr<FarEnd> MakeEnd(Kind kind)
{
    switch (kind) {
    case Kind::Pipe: return std::unique_ptr<FarEnd>(new PipeEnd(256));
    case Kind::SmallPipe: return std::unique_ptr<FarEnd>(new PipeEnd(48));
    case Kind::Serial: return std::unique_ptr<FarEnd>(new SerialEnd());
    case Kind::Serial38400: return std::unique_ptr<FarEnd>(new SerialEnd(8));
    case Kind::Serial115200: return std::unique_ptr<FarEnd>(new SerialEnd(10));
    case Kind::SerialLpt: return std::unique_ptr<FarEnd>(new SerialEnd(6, true));
    default: return std::unique_ptr<FarEnd>(new VirtualEnd());
    }
}

// n receipt lines of 44 characters; each goes out as 56 bytes.
inline std::wstring Lines(size_t n)
{
    std::wstring text;
    for (size_t i = 0; i < n; ++i) {
        wchar_t number[8];
        std::swprintf(number, 8, L"%04u ", static_cast<unsigned>(i % 10000));
        text += number + std::wstring(39, static_cast<wchar_t>(L'a' + i % 26)) + L"\n";
    }
    return text;
}

// What the far end took, once it holds at least n bytes or ms have passed.
inline std::string ReceivedAtLeast(FarEnd &end, size_t n, DWORD ms)
{
    std::string got = end.Received();
    for (DWORD waited = 0; got.size() < n && waited < ms; waited += 50) {
        Sleep(50);
        got = end.Received();
    }
    return got;
}

// What the translator makes of text, and where its commands lie.
struct Translated
{
    CPrintBuffer buffer;
    std::string bytes;
    explicit Translated(const std::wstring &text)
    {
        const std::string narrow(text.begin(), text.end());
        buffer.TranslatePrintData(static_cast<int32_t>(narrow.size()), reinterpret_cast<const uint8_t *>(narrow.data()));
        const uint8_t *out = nullptr;
        int32_t length = 0;
        buffer.CopyOut(&out, &length);
        bytes.assign(reinterpret_cast<const char *>(out), static_cast<size_t>(length));
    }
    // The run's bytes up to the end of the command that a cut after n bytes falls in.
    std::string UpToCommandEnd(size_t n) const { return bytes.substr(0, buffer.CopiedCommandEnd(n)); }
};

inline size_t FirstDifference(const std::string &a, const std::string &b)
{
    size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i])
        ++i;
    return i;
}

// One printer object on one far end, claimed.
class Device
{
public:
    // keyName: a device key of this test program's own; the programs run side by side.
    Device(Kind kind, const wchar_t *keyName) : end(MakeEnd(kind)), key(keyName)
    {
        printer = NewPrinter();
        end->Prepare(key, *printer);
        EXPECT_EQ(0, Open(*printer, L"POSPrinter", key.Name()));
        EXPECT_EQ(0, Claim(*printer));
        printer->SetWriteObserver(&Device::Observe, this);
    }
    ~Device() { printer.Release(); }

    // Each print method's pRC must be what it leaves in ResultCode.
    long Checked(long rc)
    {
        EXPECT_EQ(rc, NumberProperty(*printer, 6)) << "pRC and ResultCode differ";
        return rc;
    }
    // The write stand-in of a serial kind, else null.
    PacedSerialPort *Port()
    {
        auto *serial = dynamic_cast<SerialEnd *>(end.get());
        return serial ? &serial->Port() : nullptr;
    }
    long Normal(const std::wstring &text)
    {
        com::CBstr data(text.c_str(), static_cast<UINT>(text.size()));
        long rc = -1;
        EXPECT_EQ(S_OK, printer->PrintNormal(2, data.Get(), &rc));
        return Checked(rc);
    }

    static void Observe(void *context, const uint8_t *, LONG, LONG written)
    {
        static_cast<Device *>(context)->written += written;
    }

    std::unique_ptr<FarEnd> end;
    TestDeviceKey key;
    PrinterPtr printer;
    LONG written = 0;
};

