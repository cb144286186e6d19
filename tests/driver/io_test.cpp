// The port's data path against a fake USB printer: opening, reads from the receive buffer,
// writes to the printer, a stalled printer, the device-id requests, closing, and handles.
#include "test_util.h"

#include "handle_count.h"
#include "internal.h"
#include "printer_emulator_client.h"

#include <functional>
#include <thread>

using namespace harness;

namespace {

const HRESULT kTimeout = HRESULT_FROM_WIN32(WAIT_TIMEOUT);
const HRESULT kAborted = HRESULT_FROM_WIN32(ERROR_OPERATION_ABORTED);
const HRESULT kWriteFault = HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
// The longest a request waits inside a queue callback, and what a cancelled printer I/O adds.
const DWORD kCapMs = 5000;
const DWORD kGraceMs = 1000;

std::wstring PrinterId(const wchar_t *vendor)
{
    static LONG serial = 0;
    return std::wstring(L"USB\\") + vendor + L"&PID_0202\\ZKTEST" + std::to_wstring(GetCurrentProcessId()) + L"_"
           + std::to_wstring(InterlockedIncrement(&serial));
}

std::string Pattern(size_t n)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return s;
}

void SetAllTimeouts(PortDevice &port, const SERIAL_TIMEOUTS &t)
{
    std::string input = AsBytes(t);
    ASSERT_EQ(S_OK, port.Control(IOCTL_SERIAL_SET_TIMEOUTS, &input, -1)->m_status);
}

void SetWaitMask(PortDevice &port, ULONG mask)
{
    std::string input = AsBytes(mask);
    ASSERT_EQ(S_OK, port.Control(IOCTL_SERIAL_SET_WAIT_MASK, &input, -1)->m_status);
}

// A port device of its own, open, with a printer of its own: cases that each wait out the cap
// run side by side on such devices (the harness runs one device's callbacks one at a time).
struct OwnPort
{
    OwnPort() : printer(FakePrinter::Unregistered()), port(HarnessModule())
    {
        WriteString(port.HardwarePath(), L"PortName", L"COM7");
        EXPECT_EQ(S_OK, port.Add());
        port.m_printer = &printer;
        EXPECT_EQ(S_OK, port.Create(&file)->m_status);
    }
    ~OwnPort() { port.CloseFile(&file); }

    FakePrinter printer;
    PortDevice port;
    File file;
};

// Runs `body(i)` for i in [0, n) on threads of their own, and waits for all of them.
void SideBySide(size_t n, const std::function<void(size_t)> &body)
{
    std::vector<std::thread> threads;
    for (size_t i = 0; i < n; ++i)
        threads.emplace_back(body, i);
    for (std::thread &t : threads)
        t.join();
}

class PortIo : public AddedPort
{
protected:
    static void SetUpTestSuite() { RemoveLeftoverPrinters(); }

    void SetUp() override
    {
        AddedPort::SetUp();
        m_printer.reset(new FakePrinter(PrinterId(L"VID_9E7D")));
    }

    void TearDown() override
    {
        if (m_port && m_port->FxDevice())
            m_port->CloseFile(&m_file);
        AddedPort::TearDown();
        m_printer.reset();
    }

    void Open()
    {
        Ref<Request> r = m_port->Create(&m_file);
        ASSERT_EQ(S_OK, r->m_status);
        ASSERT_EQ(1, r->m_completions);
    }

    void SetTimeouts(DWORD readMultiplier, DWORD readConstant, DWORD writeMultiplier, DWORD writeConstant)
    {
        SERIAL_TIMEOUTS t = {0, readMultiplier, readConstant, writeMultiplier, writeConstant};
        std::string input = AsBytes(t);
        ASSERT_EQ(S_OK, m_port->Control(IOCTL_SERIAL_SET_TIMEOUTS, &input, -1)->m_status);
    }

    void SetReadTimeouts(DWORD interval, DWORD multiplier, DWORD constant)
    {
        SERIAL_TIMEOUTS t = {interval, multiplier, constant, 0, 0};
        std::string input = AsBytes(t);
        ASSERT_EQ(S_OK, m_port->Control(IOCTL_SERIAL_SET_TIMEOUTS, &input, -1)->m_status);
    }

    ULONG Buffered()
    {
        Ref<Request> r = m_port->Control(IOCTL_SERIAL_GET_COMMSTATUS, nullptr, 20);
        SERIAL_STATUS status;
        memcpy(&status, r->m_output->m_bytes.data(), sizeof(status));
        return status.AmountInInQueue;
    }

    // The printer sends `bytes`; returns once the receive thread has them all.
    void PrinterSends(const std::string &bytes)
    {
        ULONG before = Buffered();
        m_printer->Send(bytes);
        for (int i = 0; i < 200 && Buffered() < before + bytes.size(); ++i)
            Sleep(5);
        ASSERT_EQ(before + bytes.size(), Buffered());
    }

    File m_file;
    std::unique_ptr<FakePrinter> m_printer;
};

} // namespace

// --- Finding and opening the printer ---------------------------------------------------------

TEST(VendorTag, MatchesOnlyAPathLongEnoughToHoldIt)
{
    struct Row
    {
        const wchar_t *path;
        bool matches;
    };
    const Row rows[] = {
        {L"\\\\?\\usb#vid_9e7d&pid_0202#5&1#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}", true},
        {L"\\\\?\\USB#VID_9E7D&PID_0202#5&1#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}", true},
        {L"\\\\?\\usb#vid_9e7d", true},      // exactly long enough
        {L"\\\\?\\usb#vid_9e7", false},      // one short: not read past its end
        {L"\\\\?\\usb#", false},
        {L"", false},
        {nullptr, false},
        {L"\\\\?\\usb#vid_04b8&pid_0202#5&1", false},
    };
    for (const Row &row : rows)
        EXPECT_EQ(row.matches, HasPrinterVendorTag(row.path)) << testing::PrintToString(row.path ? row.path : L"(null)");
}

TEST_F(PortIo, QueueCallbackObjectAnswersItsFiveInterfaces)
{
    const IID *answered[] = {&IID_IUnknown, &IID_IQueueCallbackWrite, &IID_IQueueCallbackRead,
                             &IID_IQueueCallbackDeviceIoControl, &IID_IRequestCallbackCancel, &IID_IQueueCallbackCreate};
    for (const IID *iid : answered)
        EXPECT_TRUE(m_port->Callbacks<IUnknown>(*iid));
    EXPECT_FALSE(m_port->Callbacks<IUnknown>(IID_IObjectCleanup));

    Ref<Request> r(new Request());
    m_port->Callbacks<IRequestCallbackCancel>(IID_IRequestCallbackCancel)->OnCancel(r.Get());
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_OPERATION_ABORTED), r->m_status);
    EXPECT_EQ(0u, r->m_information);
}

TEST_F(PortIo, OpenWithoutAMatchingPrinterFails)
{
    struct Row
    {
        const char *what;
        void (*prepare)(std::unique_ptr<FakePrinter> &printer);
    };
    const Row rows[] = {
        {"no printer", [](std::unique_ptr<FakePrinter> &p) { p.reset(); }},
        {"another maker's printer", [](std::unique_ptr<FakePrinter> &p) { p.reset(new FakePrinter(PrinterId(L"VID_04B8"))); }},
        {"our printer refuses the open", [](std::unique_ptr<FakePrinter> &p) { p->m_openFails = true; }},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        m_printer.reset(new FakePrinter(PrinterId(L"VID_9E7D")));
        row.prepare(m_printer);
        File file;
        Ref<Request> r = m_port->Create(&file);
        EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), r->m_status);
        EXPECT_EQ(1, r->m_completions);
        EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE), m_port->Write("x")->m_status);
        m_port->CloseFile(&file);   // nothing to close
    }
}

TEST_F(PortIo, OpenPassesTheRequestsCreateParameters)
{
    struct Row
    {
        ULONG disposition;
        DWORD expected;   // 0: refused by the open
    };
    const Row rows[] = {
        {0, CREATE_ALWAYS}, {1, OPEN_EXISTING}, {2, CREATE_NEW}, {3, OPEN_ALWAYS},
        {4, TRUNCATE_EXISTING}, {5, OPEN_EXISTING}, {6, 0}, {0xFF, 0},
    };
    for (const Row &row : rows) {
        File file;
        Ref<Request> r = m_port->Create(&file, row.disposition, FILE_SHARE_READ, FILE_ATTRIBUTE_NORMAL);
        EXPECT_EQ(row.expected ? S_OK : HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), r->m_status) << row.disposition;
        EXPECT_EQ(row.expected, m_printer->m_lastDisposition) << row.disposition;
        EXPECT_EQ(static_cast<DWORD>(GENERIC_READ | GENERIC_WRITE), m_printer->m_lastAccess);
        EXPECT_EQ(static_cast<DWORD>(FILE_SHARE_READ), m_printer->m_lastShare);
        EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED), m_printer->m_lastFlags);
        m_port->CloseFile(&file);
    }
}

// The last matching interface wins; the printer opened for an earlier one is closed again.
TEST_F(PortIo, LastMatchingPrinterIsUsed)
{
    FakePrinter second(PrinterId(L"VID_9E7D"));
    // The first cycle makes the printers' own pipe ends, which they keep.
    Open();
    m_port->CloseFile(&m_file);
    const long before = CountProcessHandles();
    Open();
    EXPECT_EQ(2, m_printer->m_opens);
    EXPECT_EQ(2, second.m_opens);
    ASSERT_EQ(S_OK, m_port->Write("ab")->m_status);
    const std::string first = m_printer->Receive(2, 200);
    const std::string other = second.Receive(2, 200);
    EXPECT_EQ("ab", first + other);
    EXPECT_TRUE(first.empty() || other.empty());
    m_port->CloseFile(&m_file);
    EXPECT_EQ(before, CountProcessHandles());
}

// A second open cannot keep a connection beside the first: it is refused, and neither it nor
// its cleanup disturbs the first connection.
TEST_F(PortIo, SecondOpenIsRefusedAndLeavesTheFirstAlone)
{
    Open();
    File second;
    Ref<Request> r = m_port->Create(&second);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), r->m_status);
    EXPECT_EQ(1, m_printer->m_opens);
    m_port->CloseFile(&second);

    EXPECT_EQ(S_OK, m_port->Write("still")->m_status);
    EXPECT_EQ("still", m_printer->Receive(5));
    m_port->CloseFile(&m_file);
    m_port->CloseFile(&m_file);   // closed once only
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE), m_port->Write("x")->m_status);
}

// --- Reads -----------------------------------------------------------------------------------

TEST_F(PortIo, ReadsDeliverBufferedBytesInOrder)
{
    Open();
    PrinterSends("abcdefgh");
    struct Row
    {
        SIZE_T count;
        HRESULT status;
        std::string bytes;
    };
    const Row rows[] = {
        {3, S_OK, "abc"},
        {2, S_OK, "de"},
        {10, S_OK, "fgh"},     // fewer than asked, time-outs 0: what there is
        {4, S_OK, ""},         // nothing at all: none, at once
    };
    for (const Row &row : rows) {
        const DWORD start = GetTickCount();
        Ref<Request> r = m_port->Read(row.count);
        EXPECT_EQ(row.status, r->m_status) << row.count;
        EXPECT_EQ(row.bytes, OutputReturned(r.Get())) << row.count;
        EXPECT_LT(GetTickCount() - start, 100u);
    }
}

TEST_F(PortIo, ReadRefusesMissingOrSmallMemoryAndKeepsTheBytes)
{
    Open();
    PrinterSends("xyz");
    Ref<Request> r = m_port->Read(3, 2);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY), r->m_status);
    EXPECT_EQ(0u, r->m_information);
    EXPECT_EQ(std::string(2, '\xCC'), Output(r.Get()));

    r = Ref<Request>(new Request());
    m_port->Callbacks<IQueueCallbackRead>(IID_IQueueCallbackRead)->OnRead(m_port->FxDevice()->m_queue.Get(), r.Get(), 3);
    EXPECT_EQ(E_POINTER, r->m_status);

    EXPECT_EQ("xyz", OutputReturned(m_port->Read(3).Get()));
}

// With a total time-out the read waits for one later batch, polling every 10 ms.
TEST_F(PortIo, TimedReads)
{
    Open();
    SetTimeouts(0, 100, 0, 0);

    DWORD start = GetTickCount();
    Ref<Request> r = m_port->Read(8);
    DWORD elapsed = GetTickCount() - start;
    EXPECT_EQ(S_OK, r->m_status);   // timed out: none, and no error
    EXPECT_EQ(0u, r->m_information);
    // The system tick advances in steps of 10 ms or more, and the read polls every 10 ms: the
    // 100 ms are measured to within those steps.
    EXPECT_GE(elapsed + 20, 100u);
    EXPECT_LT(elapsed, 400u);

    std::thread later([this] {
        Sleep(50);
        m_printer->Send("123");
    });
    start = GetTickCount();
    r = m_port->Read(8);
    elapsed = GetTickCount() - start;
    later.join();
    EXPECT_EQ(S_OK, r->m_status);
    EXPECT_EQ("123", OutputReturned(r.Get()));
    EXPECT_GE(elapsed + 20, 50u);
    EXPECT_LT(elapsed, 300u);

    // The multiplier counts the bytes still missing: 2 x 40 ms.
    SetTimeouts(40, 0, 0, 0);
    PrinterSends("z");
    start = GetTickCount();
    r = m_port->Read(3);
    EXPECT_EQ(S_OK, r->m_status);
    EXPECT_EQ("z", OutputReturned(r.Get()));
    EXPECT_GE(GetTickCount() - start + 20, 80u);
}

// The serial-port setting "what is buffered at once, else up to the constant for the first byte"
// has its meaning, and a budget below the cap is kept exactly.
TEST_F(PortIo, ReadBudgetsOfTheSerialPort)
{
    struct Row
    {
        const char *what;
        DWORD interval, multiplier, constant;
        std::string buffered;    // before the read
        DWORD sendAfterMs;       // the printer sends "x" this long after the read starts (0: never)
        HRESULT status;
        std::string bytes;
        DWORD minMs, maxMs;
    };
    const Row rows[] = {
        // what                                   interval  multiplier  constant  buffered later status    bytes  ms
        {"first byte: nothing comes", MAXDWORD, MAXDWORD, 100, "", 0, S_OK, "", 100, 400},
        {"first byte: bytes buffered", MAXDWORD, MAXDWORD, 100, "ab", 0, S_OK, "ab", 0, 100},
        {"first byte: one comes later", MAXDWORD, MAXDWORD, 100, "", 50, S_OK, "x", 50, 300},
        {"4 x 30 + 100", 0, 30, 100, "", 0, S_OK, "", 220, 520},
        {"4,999 ms, just below the cap", 0, 0, 4999, "", 300, S_OK, "x", 300, 600},
    };
    Open();
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        SetReadTimeouts(row.interval, row.multiplier, row.constant);
        if (!row.buffered.empty())
            PrinterSends(row.buffered);
        const SIZE_T count = 4;
        std::thread later([&] {
            if (row.sendAfterMs) {
                Sleep(row.sendAfterMs);
                m_printer->Send("x");
            }
        });
        const DWORD start = GetTickCount();
        Ref<Request> r = m_port->Read(count);
        const DWORD elapsed = GetTickCount() - start;
        later.join();
        EXPECT_EQ(row.status, r->m_status);
        EXPECT_EQ(row.bytes, OutputReturned(r.Get()));
        // Measured to within the tick's and the poll's 10 ms steps.
        EXPECT_GE(elapsed + 20, row.minMs);
        EXPECT_LT(elapsed, row.maxMs);
    }
}

// Read time-outs with nothing coming, among them the settings serial libraries use for "no read
// time-out": every read ends within the cap, successfully, with the bytes it has (none); so does
// the event thread's WaitCommEvent (every event but SERIAL_EV_TXEMPTY), with no event. A write
// issued meanwhile goes through at once: reads and waits wait outside the sequential queue.
TEST_F(PortIo, ReadsWithNothingComingEndWithinTheCap)
{
    struct Row
    {
        const char *what;
        DWORD interval, multiplier, constant;
        SIZE_T count;          // a read's; 0: a WaitCommEvent
        DWORD minMs, maxMs;    // the request's wait
    };
    const Row rows[] = {
        // what                                      interval  multiplier  constant  count  ms
        {"WaitCommEvent, mask 0x1FB", 0, 0, 0, 0, kCapMs, kCapMs + 1500},
        {"constant MAXDWORD alone", 0, 0, MAXDWORD, 16, kCapMs, kCapMs + 1500},
        {"first byte, constant MAXDWORD - 1", MAXDWORD, MAXDWORD, MAXDWORD - 1, 16, kCapMs, kCapMs + 1500},
        {"multiplier MAXDWORD", 0, MAXDWORD, 0, 16, kCapMs, kCapMs + 1500},
        {"constant of 20 minutes", 0, 0, 1200000, 16, kCapMs, kCapMs + 1500},
        {"16 x 1000 ms", 0, 1000, 0, 16, kCapMs, kCapMs + 1500},
        {"256 x MAXDWORD + 100 (wrapped: 49.7 days)", 0, MAXDWORD, 100, 256, kCapMs, kCapMs + 1500},
        {"16 x 0x10000000 (wrapped: none)", 0, 0x10000000, 0, 16, kCapMs, kCapMs + 1500},
        {"interval MAXDWORD alone: at once", MAXDWORD, 0, 0, 16, 0, 300},
        {"all 0: at once", 0, 0, 0, 16, 0, 300},
    };
    const size_t n = sizeof(rows) / sizeof(rows[0]);
    std::vector<std::unique_ptr<OwnPort>> ports;
    for (size_t i = 0; i < n; ++i) {
        ports.emplace_back(new OwnPort());
        SetAllTimeouts(ports[i]->port, SERIAL_TIMEOUTS{rows[i].interval, rows[i].multiplier, rows[i].constant, 0, 0});
        SetWaitMask(ports[i]->port, 0x1FB);
    }
    std::vector<Ref<Request>> reads(n), writes(n);
    std::vector<DWORD> started(n), writeIssued(n), writeEnded(n);
    SideBySide(n, [&](size_t i) {
        PortDevice &port = ports[i]->port;
        reads[i] = port.NewRead(rows[i].count ? rows[i].count : 4);
        std::thread writer([&, i] {
            Sleep(100);
            writeIssued[i] = GetTickCount();
            writes[i] = port.Write("w");
            writeEnded[i] = GetTickCount();
        });
        started[i] = GetTickCount();
        if (rows[i].count)
            port.SendRead(reads[i].Get(), rows[i].count);
        else
            port.SendControl(reads[i].Get(), IOCTL_SERIAL_WAIT_ON_MASK);
        writer.join();
    });
    for (size_t i = 0; i < n; ++i) {
        const Row &row = rows[i];
        SCOPED_TRACE(row.what);
        const DWORD readMs = reads[i]->m_completedAt - started[i];
        EXPECT_EQ(1, reads[i]->m_completions);
        EXPECT_EQ(S_OK, reads[i]->m_status);
        EXPECT_EQ(row.count ? "" : AsBytes<ULONG>(0), OutputReturned(reads[i].Get()));
        // Measured to within the tick's and the poll's 10 ms steps.
        EXPECT_GE(readMs + 20, row.minMs);
        EXPECT_LT(readMs, row.maxMs);
        ASSERT_TRUE(writes[i]);
        EXPECT_EQ(S_OK, writes[i]->m_status);
        EXPECT_LT(writeEnded[i] - writeIssued[i], 1000u);
        EXPECT_EQ("w", ports[i]->printer.Receive(1));
    }
}

// A read that waits ends soon after its request is cancelled (the program's CancelIo, its
// thread's end) or a purge with the abort flags, as aborted; the bytes buffered before stay for
// the next read. A request without the newer interface cannot be parked and answers at once.
TEST_F(PortIo, CancelledReadStopsWaiting)
{
    enum How { CancelIt, PurgeAbort, PurgeOnly };
    struct Row
    {
        const char *what;
        bool offersRequest2;
        How how;                 // 200 ms after the read starts
        DWORD constant;          // ms
        std::string buffered;
        HRESULT status;
        std::string bytes;
        DWORD minMs, maxMs;      // from the read's start
    };
    const Row rows[] = {
        // what                           newer  how         constant  buffered status    bytes  ms
        {"cancelled with nothing", true, CancelIt, 60000, "", kAborted, "", 200, 300},
        {"cancelled, bytes buffered", true, CancelIt, 60000, "abc", kAborted, "", 200, 300},
        {"purged with the abort flags", true, PurgeAbort, 60000, "abc", kAborted, "", 200, 300},
        {"purged without them: waits on", true, PurgeOnly, 600, "", S_OK, "", 600, 900},
        {"no newer interface: at once", false, CancelIt, 600, "abc", S_OK, "abc", 0, 100},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        Open();
        SetReadTimeouts(0, 0, row.constant);
        if (!row.buffered.empty())
            PrinterSends(row.buffered);
        Ref<Request> r = m_port->NewRead(8);
        r->m_offersRequest2 = row.offersRequest2;
        const DWORD start = GetTickCount();
        DWORD ended = 0;
        std::thread reader([&] {
            m_port->SendRead(r.Get(), 8);
            ended = GetTickCount();
        });
        Sleep(200);
        const DWORD acting = GetTickCount();
        if (row.how == CancelIt) {
            r->Cancel();
        } else {
            std::string purge = AsBytes<ULONG>(row.how == PurgeAbort ? 0x0F : 0x0C);   // abort flags 0x03
            EXPECT_EQ(S_OK, m_port->Control(IOCTL_SERIAL_PURGE, &purge, -1)->m_status);
            EXPECT_LT(GetTickCount() - acting, 100u) << "the purge does not wait behind the read";
        }
        reader.join();
        EXPECT_EQ(1, r->m_completions);
        EXPECT_EQ(row.status, r->m_status);
        EXPECT_EQ(row.bytes, OutputReturned(r.Get()));
        EXPECT_GE(ended - start + 20, row.minMs);
        EXPECT_LT(ended - start, row.maxMs);
        EXPECT_EQ(row.buffered.size() - row.bytes.size(), Buffered()) << "bytes left for the next read";
        SetReadTimeouts(0, 0, 0);
        m_port->Read(64);
        m_port->CloseFile(&m_file);
    }
}

// A printer that answers every read at once with nothing (or refuses it) must not keep the
// receive thread spinning: it rests 10 ms between such reads.
TEST_F(PortIo, ReceiveThreadRestsAfterReadsThatBringNothing)
{
    using Answer = FakePrinter::ReadAnswer;
    struct Row
    {
        const char *what;
        Answer answer;
    };
    const Row rows[] = {
        {"completed empty", Answer::Empty},
        {"completed with a failure", Answer::Fail},
        {"refused at once", Answer::Refuse},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        m_printer->m_readAnswer = row.answer;
        Open();
        Sleep(50);
        const LONG before = m_printer->m_readsStarted;
        const DWORD start = GetTickCount();
        Sleep(1000);
        const LONG reads = m_printer->m_readsStarted - before;
        const DWORD elapsed = GetTickCount() - start;
        EXPECT_LE(reads * 1000, 120 * static_cast<LONG>(elapsed)) << reads << " reads in " << elapsed << " ms";
        EXPECT_GE(reads, 20) << "the thread goes on reading";
        const DWORD closing = GetTickCount();
        m_port->CloseFile(&m_file);
        EXPECT_LT(GetTickCount() - closing, 500u);
        m_printer->m_readAnswer = Answer::Pipe;
    }
    // Bytes are read again as soon as the printer sends them.
    Open();
    PrinterSends("back");
    EXPECT_EQ("back", OutputReturned(m_port->Read(4).Get()));
}

TEST_F(PortIo, PurgeAndCommStatusSeeTheReceiveBuffer)
{
    Open();
    PrinterSends(std::string("\x14\x00\x00\x0f", 4));
    EXPECT_EQ(4u, Buffered());
    std::string purge = AsBytes<ULONG>(0x0F);
    EXPECT_EQ(S_OK, m_port->Control(IOCTL_SERIAL_PURGE, &purge, -1)->m_status);
    EXPECT_EQ(4u, Buffered());
    EXPECT_EQ(std::string("\x14\x00\x00\x0f", 4), OutputReturned(m_port->Read(4).Get()));
}

// WaitCommEvent: only events of the wait mask are reported. A byte buffered is SERIAL_EV_RXCHAR,
// a write that got bytes out SERIAL_EV_TXEMPTY (reported once, and forgotten when the mask is set
// or the port opens); the modem lines never change. With none of them there the request waits
// outside the sequential queue: what another thread sends meanwhile completes at once, and a
// byte, a write, the mask set again, a purge with the abort flags or a cancel ends the wait. The
// cases that wait out the cap are in RequestsWaitingInTheDriverEndWithinTheCapAndACloseFollows.
TEST_F(PortIo, WaitOnMaskReportsOnlyItsEvents)
{
    enum Write { NoWrite, AfterMask, BeforeMask, BeforeReopen };
    enum Then { Nothing, Byte, CancelIt, MaskZero, WriteOut, PurgeAbort };
    struct Row
    {
        const char *what;
        ULONG mask;
        const char *buffered;
        Write write;
        Then then;             // 200 ms after the request starts
        HRESULT status;
        ULONG events;
        DWORD minMs, maxMs;
    };
    const ULONG rx = SERIAL_EV_RXCHAR, tx = SERIAL_EV_TXEMPTY;
    const ULONG modem = SERIAL_EV_CTS | SERIAL_EV_DSR | SERIAL_EV_RLSD | SERIAL_EV_RING;
    const Row rows[] = {
        // what                                mask        buffered write     then      status   events ms
        {"a byte buffered", rx, "s", NoWrite, Nothing, S_OK, rx, 0, 200},
        {"a byte buffered, modem events asked", rx | modem, "s", NoWrite, Nothing, S_OK, rx, 0, 200},
        {"a write went out", tx, "", AfterMask, Nothing, S_OK, tx, 0, 200},
        {"a write went out and a byte is buffered", rx | tx | modem, "s", AfterMask, Nothing, S_OK, rx | tx, 0, 200},
        {"a byte buffered, only the write asked", tx | modem | rx, "", AfterMask, Nothing, S_OK, tx, 0, 200},
        {"a write before the mask is forgotten", rx | tx, "s", BeforeMask, Nothing, S_OK, rx, 0, 200},
        {"a write before the open is forgotten", rx | tx, "s", BeforeReopen, Nothing, S_OK, rx, 0, 200},
        {"a byte comes later", rx | modem, "", NoWrite, Byte, S_OK, rx, 200, 600},
        {"a write goes out meanwhile", 0x1FF, "", NoWrite, WriteOut, S_OK, tx, 200, 600},
        {"the mask set to 0 meanwhile", 0x1FB, "", NoWrite, MaskZero, S_OK, 0, 200, 600},
        {"purged with the abort flags", 0x1FB, "", NoWrite, PurgeAbort, kAborted, 0, 200, 600},
        {"cancelled while waiting", rx, "", NoWrite, CancelIt, kAborted, 0, 200, 600},
        {"no mask", 0, "s", AfterMask, Nothing, E_INVALIDARG, 0, 0, 200},
    };
    Open();
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        if (row.write == BeforeMask) {
            SetWaitMask(*m_port, tx);
            ASSERT_EQ(S_OK, m_port->Write("t")->m_status);
            EXPECT_EQ("t", m_printer->Receive(1));
        }
        SetWaitMask(*m_port, row.mask);
        if (row.write == BeforeReopen) {
            ASSERT_EQ(S_OK, m_port->Write("t")->m_status);
            EXPECT_EQ("t", m_printer->Receive(1));
            m_port->CloseFile(&m_file);
            Open();
        }
        if (row.write == AfterMask) {
            ASSERT_EQ(S_OK, m_port->Write("t")->m_status);
            EXPECT_EQ("t", m_printer->Receive(1));
        }
        if (*row.buffered)
            PrinterSends(row.buffered);
        Ref<Request> r(new Request());
        r->m_output = Ref<Memory>(new Memory(std::vector<BYTE>(4, 0xCC)));
        DWORD thenMs = 0;   // how long what was sent meanwhile took
        std::thread other([&] {
            if (row.then == Nothing)
                return;
            Sleep(200);
            const DWORD start = GetTickCount();
            switch (row.then) {
            case Byte: m_printer->Send("b"); break;
            case CancelIt: r->Cancel(); break;
            case MaskZero: SetWaitMask(*m_port, 0); break;
            case WriteOut:
                EXPECT_EQ(S_OK, m_port->Write("w")->m_status);
                EXPECT_EQ("w", m_printer->Receive(1));
                break;
            case PurgeAbort: {
                std::string purge = AsBytes<ULONG>(0x0F);
                EXPECT_EQ(S_OK, m_port->Control(IOCTL_SERIAL_PURGE, &purge, -1)->m_status);
                break;
            }
            case Nothing: break;
            }
            thenMs = GetTickCount() - start;
        });
        const DWORD start = GetTickCount();
        m_port->SendControl(r.Get(), IOCTL_SERIAL_WAIT_ON_MASK);
        const DWORD elapsed = GetTickCount() - start;
        other.join();
        EXPECT_EQ(1, r->m_completions);
        EXPECT_EQ(row.status, r->m_status);
        if (row.status == S_OK) {
            EXPECT_EQ(AsBytes<ULONG>(row.events), OutputReturned(r.Get()));
        } else {
            EXPECT_EQ(0u, r->m_information);
            EXPECT_EQ(std::string(4, '\xCC'), Output(r.Get()));
        }
        EXPECT_GE(elapsed + 20, row.minMs);
        EXPECT_LT(elapsed, row.maxMs);
        EXPECT_LT(thenMs, 200u) << "what was sent meanwhile did not wait behind the wait";
        m_port->Read(64);   // drain for the next row
    }
}

// The sequential queue delivers requests in the order they arrived: a thread that asks again and
// again as soon as it is answered gets in only with the request it has under way when another
// arrives. Its count, taken outside the turn, may also take in one just before and one just after
// the other request: three at most, where a lock that is not first come, first served lets in
// hundreds.
TEST_F(PortIo, RequestsAreServedInArrivalOrder)
{
    Open();
    volatile LONG served = 0;
    volatile LONG stop = 0;
    std::thread asker([&] {
        while (!stop) {
            m_port->Control(IOCTL_SERIAL_GET_WAIT_MASK, nullptr, 4);
            InterlockedIncrement(&served);
        }
    });
    Sleep(50);
    for (int i = 0; i < 5; ++i) {
        const LONG before = served;
        ASSERT_EQ(S_OK, m_port->Write("o")->m_status);
        EXPECT_LE(served - before, 3) << "requests that came later were served first";
        EXPECT_EQ("o", m_printer->Receive(1));
    }
    InterlockedExchange(&stop, 1);
    asker.join();
}

// Bytes of one connection not yet read are delivered on the next.
TEST_F(PortIo, ReceivedBytesOutliveTheConnection)
{
    Open();
    PrinterSends("left");
    m_port->CloseFile(&m_file);
    Open();
    EXPECT_EQ("left", OutputReturned(m_port->Read(4).Get()));
}

// --- Writes ----------------------------------------------------------------------------------

TEST_F(PortIo, WritesReachThePrinterInOrder)
{
    Open();
    const size_t sizes[] = {1, 100, 4096, 20000, 100000};   // the last two exceed the pipe's buffer
    std::string all;
    for (size_t size : sizes)
        all += Pattern(size).substr(0, size);
    std::string received;
    std::thread printer([&] { received = m_printer->Receive(all.size(), 10000); });
    size_t offset = 0;
    for (size_t size : sizes) {
        Ref<Request> r = m_port->Write(all.substr(offset, size));
        EXPECT_EQ(S_OK, r->m_status) << size;
        EXPECT_EQ(size, r->m_information);
        offset += size;
    }
    printer.join();
    EXPECT_TRUE(received == all) << received.size() << " of " << all.size() << " bytes arrived";
}

TEST_F(PortIo, WriteRefusesMissingOrSmallMemory)
{
    Open();
    Ref<Request> r = m_port->Write("abc", 3, false);
    EXPECT_EQ(E_POINTER, r->m_status);
    EXPECT_EQ(0u, r->m_information);
    r = m_port->Write("abc", 4, true);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY), r->m_status);
    EXPECT_EQ(0u, r->m_information);
    EXPECT_EQ("", m_printer->Receive(1, 100));
}

// A printer that takes nothing: the write ends after its limit, is cancelled and waited for,
// and the port's write record can be used again at once.
TEST_F(PortIo, StalledPrinterEndsTheWriteAfterItsLimit)
{
    Open();
    struct Row
    {
        DWORD multiplier, constant, expectedMs;
    };
    const Row rows[] = {
        {0, 0, 500},       // no time-outs: 500 ms
        {0, 150, 150},
        {0, 0, 500},
    };
    for (const Row &row : rows) {
        SetTimeouts(0, 0, row.multiplier, row.constant);
        const DWORD start = GetTickCount();
        Ref<Request> r = m_port->Write(Pattern(64 * 1024));
        const DWORD elapsed = GetTickCount() - start;
        EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_WRITE_FAULT), r->m_status);
        EXPECT_LT(r->m_information, 64u * 1024);
        EXPECT_GE(elapsed + 20, row.expectedMs);
        EXPECT_LT(elapsed, row.expectedMs + 400);
        // Whatever the printer finds in the line is no more than the write reported...
        std::string got = m_printer->Receive(64 * 1024, 200);
        EXPECT_LE(got.size(), 4096u + r->m_information);
    }
    // ...and the next write goes through whole.
    SetTimeouts(0, 0, 0, 0);
    ASSERT_EQ(S_OK, m_port->Write("after")->m_status);
    EXPECT_EQ("after", m_printer->Receive(5));
}

// On an emulated printer's serial line the cancelled write reports what got out, and after the
// stall ends the printer gets exactly that much: the rest was really cancelled.
TEST_F(PortIo, StalledPrinterOnASerialLineGetsExactlyTheBytesReported)
{
    if (!PrinterEmulator::Available())
        GTEST_SKIP() << "no printer emulator (run under wine-run.sh)";
    PrinterEmulator emulator(2);
    emulator.Clear();
    m_printer.reset(new FakePrinter(PrinterId(L"VID_9E7D"), emulator.DevicePath()));
    Open();
    emulator.Stall(true);
    const std::string data = Pattern(1 << 20);
    Ref<Request> r = m_port->Write(data);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_WRITE_FAULT), r->m_status);
    const size_t reported = r->m_information;
    EXPECT_GT(reported, 0u);
    EXPECT_LT(reported, data.size());
    emulator.Stall(false);
    EXPECT_EQ(reported, emulator.WaitFor(reported + 1, 1000));
    EXPECT_TRUE(emulator.Received() == data.substr(0, reported));
    emulator.Clear();
}

// How the printer completes a write: short (the rest follows), with nothing moved or with a
// failure (started again, three attempts in a row at most), or complete just as the driver's
// wait times out (that is a completed write, not a fault).
TEST_F(PortIo, WriteCompletionsShortEmptyFailedAndLate)
{
    using Step = FakePrinter::WriteStep;
    const HRESULT kIoDevice = HRESULT_FROM_WIN32(ERROR_IO_DEVICE);
    const HRESULT kFault = HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
    struct Row
    {
        const char *what;
        std::vector<Step> steps;
        HRESULT status;
        SIZE_T reported;
        int writes;          // writes the driver started
        size_t received;     // bytes the printer got, from the front of the data
    };
    const Row rows[] = {
        // what                     printer's completions                          status  reported writes received
        {"short, then the rest", {{Step::Short, 10}}, S_OK, 100, 2, 100},
        {"short twice", {{Step::Short, 10}, {Step::Short, 20}}, S_OK, 100, 3, 100},
        {"nothing moved once", {{Step::Zero, 0}}, S_OK, 100, 2, 100},
        {"failed twice", {{Step::Fail, 0}, {Step::Fail, 0}}, S_OK, 100, 3, 100},
        {"nothing moved three times", {{Step::Zero, 0}, {Step::Zero, 0}, {Step::Zero, 0}}, kFault, 0, 3, 0},
        {"failed three times", {{Step::Fail, 0}, {Step::Fail, 0}, {Step::Fail, 0}}, kIoDevice, 0, 3, 0},
        {"short, then failed three times",
         {{Step::Short, 10}, {Step::Fail, 0}, {Step::Fail, 0}, {Step::Fail, 0}}, kIoDevice, 10, 4, 10},
        {"progress resets the count",
         {{Step::Zero, 0}, {Step::Zero, 0}, {Step::Short, 5}, {Step::Zero, 0}, {Step::Zero, 0}}, S_OK, 100, 6, 100},
        {"all out at the time-out", {{Step::Late, 100}}, S_OK, 100, 1, 100},
        {"part out at the time-out", {{Step::Late, 30}}, kFault, 30, 1, 30},
    };
    Open();
    SetTimeouts(0, 0, 0, 50);
    const std::string data = Pattern(100);
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        m_printer->m_writeSteps = row.steps;
        m_printer->m_writesStarted = 0;
        Ref<Request> r = m_port->Write(data);
        EXPECT_EQ(1, r->m_completions);
        EXPECT_EQ(row.status, r->m_status);
        EXPECT_EQ(row.reported, r->m_information);
        EXPECT_EQ(row.writes, m_printer->m_writesStarted);
        EXPECT_TRUE(m_printer->m_writeSteps.empty());
        EXPECT_TRUE(m_printer->Receive(data.size(), 200) == data.substr(0, row.received));
    }
}

// A request that waits inside its callback (a write to a stalled printer, a device-id request to
// a printer that never answers) holds the device's other callbacks behind it, the file's cleanup
// included, as the framework runs them under device-level locking. Each ends on its own within
// the cap (a cancelled printer I/O adds its grace) with its own status, and is not taken for
// cancelled by a close; a close issued meanwhile completes once that request has ended. A read
// or a wait for events that do not come waits outside that queue: it ends on its own at the cap,
// or at the close, which the framework cancels it for, as aborted. Every handle of the
// connection is closed.
TEST_F(PortIo, RequestsWaitingInTheDriverEndWithinTheCapAndACloseFollows)
{
    enum Kind { ReadIt, WriteIt, DeviceId, DeviceIdSize, DeviceIdStuck, WaitEvents };
    struct Row
    {
        const char *what;
        Kind kind;
        DWORD writeMultiplier, writeConstant;
        bool close;          // the program closes the port while the request waits
        HRESULT status;
        DWORD maxMs;         // the request's wait, from at least the cap (from 0 when the close
                             // ends it)
    };
    const DWORD kPrinterMaxMs = kCapMs + kGraceMs + 1500;
    const Row rows[] = {
        // what                                         kind       write time-outs     close  status    ms
        {"read, constant MAXDWORD", ReadIt, 0, 0, false, S_OK, kCapMs + 1500},
        {"read, constant MAXDWORD, closed", ReadIt, 0, 0, true, kAborted, 1500},
        {"write, infinite write time-out", WriteIt, 0, MAXDWORD, true, kWriteFault, kPrinterMaxMs},
        {"write, limit wrapping to 4096 ms", WriteIt, 0x10000, 0x1000, true, kWriteFault, kPrinterMaxMs},
        {"write, limit past 32 bits (wrapped: 49 days)", WriteIt, 0x10000, MAXDWORD - 1, false, kWriteFault,
         kPrinterMaxMs},
        {"write, constant of an hour", WriteIt, 0, 3600000, false, kWriteFault, kPrinterMaxMs},
        {"device id, printer silent", DeviceId, 0, 0, true, kTimeout, kPrinterMaxMs},
        {"device-id size, printer silent", DeviceIdSize, 0, 0, true, kTimeout, kPrinterMaxMs},
        {"device id, printer silent, no close", DeviceId, 0, 0, false, kTimeout, kPrinterMaxMs},
        {"device id, still pending after its cancel", DeviceIdStuck, 0, 0, false, kTimeout, kPrinterMaxMs},
        {"wait for a byte that does not come", WaitEvents, 0, 0, false, S_OK, kCapMs + 1500},
        {"wait for a byte that does not come, closed", WaitEvents, 0, 0, true, kAborted, 1500},
    };
    const size_t n = sizeof(rows) / sizeof(rows[0]);
    std::vector<std::unique_ptr<OwnPort>> ports;
    for (size_t i = 0; i < n; ++i) {
        ports.emplace_back(new OwnPort());
        PortDevice &port = ports[i]->port;
        SetAllTimeouts(port, SERIAL_TIMEOUTS{0, 0, rows[i].kind == ReadIt ? MAXDWORD : 0, rows[i].writeMultiplier,
                                             rows[i].writeConstant});
        SetWaitMask(port, SERIAL_EV_RXCHAR);
        ports[i]->printer.m_deviceIdSilent = true;
        ports[i]->printer.m_deviceIdStuck = rows[i].kind == DeviceIdStuck;
    }

    std::vector<Ref<Request>> requests(n);
    std::vector<DWORD> started(n), closeIssued(n), closeEnded(n);
    SideBySide(n, [&](size_t i) {
        OwnPort &own = *ports[i];
        started[i] = GetTickCount();
        std::thread sender([&, i] {
            switch (rows[i].kind) {
            case ReadIt: requests[i] = own.port.Read(16); break;
            case WriteIt: requests[i] = own.port.Write(Pattern(64 * 1024)); break;
            case DeviceId: requests[i] = own.port.Control(0x16000C, nullptr, 4096); break;
            case DeviceIdSize: requests[i] = own.port.Control(0x160010, nullptr, 4); break;
            case DeviceIdStuck: requests[i] = own.port.Control(0x16000C, nullptr, 4096); break;
            case WaitEvents: requests[i] = own.port.Control(IOCTL_SERIAL_WAIT_ON_MASK, nullptr, 4); break;
            }
        });
        if (rows[i].close) {
            // Once the request waits in the driver.
            EXPECT_TRUE(own.port.WaitForRequestInDriver(2000));
            Sleep(100);
            closeIssued[i] = GetTickCount();
            own.port.CloseFile(&own.file);
            closeEnded[i] = GetTickCount();
        }
        sender.join();
    });

    for (size_t i = 0; i < n; ++i) {
        const Row &row = rows[i];
        SCOPED_TRACE(row.what);
        Request *r = requests[i].Get();
        ASSERT_TRUE(r);
        EXPECT_EQ(1, r->m_completions);
        EXPECT_EQ(row.status, r->m_status);
        EXPECT_EQ(0, r->m_canceled);
        const DWORD waited = r->m_completedAt - started[i];
        if (row.status != kAborted) {
            EXPECT_GE(waited + 20, kCapMs);
        }
        EXPECT_LT(waited, row.maxMs);
        if (row.kind == WaitEvents && row.status == S_OK) {
            EXPECT_EQ(AsBytes<ULONG>(0), OutputReturned(r));
        }
        if (row.close) {
            // The cleanup ran after the request had ended, and no later than the wait allows.
            EXPECT_TRUE(static_cast<LONG>(closeEnded[i] - r->m_completedAt) >= 0)
                << "close ended " << (r->m_completedAt - closeEnded[i]) << " ms before the request";
            EXPECT_LT(closeEnded[i] - closeIssued[i], row.maxMs);
        }
    }
    // The ports not closed still work; the others open and work again.
    for (size_t i = 0; i < n; ++i) {
        SCOPED_TRACE(rows[i].what);
        OwnPort &own = *ports[i];
        own.printer.m_deviceIdSilent = false;
        SetAllTimeouts(own.port, SERIAL_TIMEOUTS{});
        if (rows[i].kind == DeviceIdStuck) {
            // The connection is broken until that request ends; then it works again.
            own.printer.m_deviceIdStuck = false;
            EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_IO_DEVICE), own.port.Write("x")->m_status);
            EXPECT_EQ("", own.printer.Receive(1, 100));
            own.printer.CompleteStuckWrite();
        }
        if (rows[i].close) {
            ASSERT_EQ(S_OK, own.port.Create(&own.file)->m_status);
            ASSERT_EQ(S_OK, own.port.Write("again")->m_status);
            EXPECT_EQ("again", own.printer.Receive(5));
        } else {
            EXPECT_EQ(S_OK, own.port.Control(0x160010, nullptr, 4)->m_status);
        }
        own.port.CloseFile(&own.file);
    }
}

// The same order one device at a time, with short limits, counting handles (side by side, the
// first run of many threads makes process-wide objects that stay): a close issued while a
// request waits ends the connection once the request has ended (a parked read: once the
// framework has cancelled it), every handle with it, and leaves no request parked.
TEST_F(PortIo, CloseBehindAWaitingRequestLeavesNoHandles)
{
    enum Kind { ReadIt, WriteIt };
    struct Row
    {
        const char *what;
        Kind kind;
        SERIAL_TIMEOUTS timeouts;
        HRESULT status;
        DWORD minMs, maxMs;   // the request's wait
    };
    const Row rows[] = {
        {"read, 400 ms, ended by the close", ReadIt, {0, 0, 400, 0, 0}, kAborted, 0, 400},
        {"write to a stalled printer, 400 ms", WriteIt, {0, 0, 0, 0, 400}, kWriteFault, 400, 900 + kGraceMs},
    };
    // One connection first, so that the fake printer's own pipe exists when counting.
    Open();
    m_port->CloseFile(&m_file);
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        Open();
        SetAllTimeouts(*m_port, row.timeouts);
        m_port->CloseFile(&m_file);
        const long before = CountProcessHandles();
        Open();
        Ref<Request> r;
        const DWORD start = GetTickCount();
        std::thread sender([&] {
            r = row.kind == ReadIt ? m_port->Read(16) : m_port->Write(Pattern(64 * 1024));
        });
        ASSERT_TRUE(m_port->WaitForRequestInDriver(2000));
        Sleep(100);
        const HANDLE printer = m_printer->m_lastHandle;
        m_port->CloseFile(&m_file);
        const DWORD closed = GetTickCount();
        sender.join();
        ASSERT_TRUE(r);
        EXPECT_EQ(row.status, r->m_status);
        EXPECT_EQ(0, r->m_canceled);
        EXPECT_GE(r->m_completedAt - start + 20, row.minMs);
        EXPECT_LT(r->m_completedAt - start, row.maxMs);
        EXPECT_TRUE(static_cast<LONG>(closed - r->m_completedAt) >= 0);
        DWORD flags = 0;
        EXPECT_FALSE(GetHandleInformation(printer, &flags));   // the printer handle is gone
        EXPECT_EQ(0u, m_port->Queued());
        EXPECT_EQ(before, CountProcessHandles());
        m_printer->Receive(128 * 1024, 300);   // drain what the stalled write left in the line
    }
    Open();
    SetAllTimeouts(*m_port, SERIAL_TIMEOUTS{});
    ASSERT_EQ(S_OK, m_port->Write("again")->m_status);
    EXPECT_EQ("again", m_printer->Receive(5));
}

// A printer write that its cancel does not end within the grace breaks the connection until it
// ends: later writes, device-id requests and TransmitCommChar fail at once without reaching the
// printer, and nothing reuses that write's record or event. Once it ends the next write runs on a
// fresh record and goes through; a close meanwhile leaves the record to it.
TEST_F(PortIo, PrinterIoPendingAfterItsCancelBreaksTheConnection)
{
    using Step = FakePrinter::WriteStep;
    const HRESULT kBroken = HRESULT_FROM_WIN32(ERROR_IO_DEVICE);
    struct Row
    {
        const char *what;
        bool closeWhileStuck;
    };
    const Row rows[] = {
        {"the write ends later", false},
        {"the port closes first", true},
    };
    // One connection first, so that the fake printer's own pipe exists when counting.
    Open();
    m_port->CloseFile(&m_file);
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        const long before = CountProcessHandles();
        Open();
        SetTimeouts(0, 0, 0, 50);
        m_printer->m_writeSteps = {{Step::Stuck, 0}};
        m_printer->m_writeRecords.clear();
        DWORD start = GetTickCount();
        Ref<Request> r = m_port->Write("stuck");
        DWORD elapsed = GetTickCount() - start;
        EXPECT_EQ(kWriteFault, r->m_status);
        EXPECT_EQ(0u, r->m_information);
        EXPECT_GE(elapsed + 20, 50 + kGraceMs);
        EXPECT_LT(elapsed, 50 + kGraceMs + 1000);
        ASSERT_EQ(1u, m_printer->m_writeRecords.size());
        OVERLAPPED *stuck = m_printer->m_writeRecords[0];
        const HANDLE stuckEvent = stuck->hEvent;

        // Broken: every printer I/O fails at once, and none reaches the printer.
        start = GetTickCount();
        EXPECT_EQ(kBroken, m_port->Write("x")->m_status);
        EXPECT_EQ(kBroken, m_port->Control(0x16000C, nullptr, 4096)->m_status);
        std::string immediate = "\x1B";
        EXPECT_EQ(kBroken, m_port->Control(IOCTL_SERIAL_IMMEDIATE_CHAR, &immediate, -1)->m_status);
        EXPECT_LT(GetTickCount() - start, 300u);
        EXPECT_EQ(1u, m_printer->m_writeRecords.size());
        DWORD flags = 0;
        EXPECT_TRUE(GetHandleInformation(stuckEvent, &flags));   // its event is still there

        if (row.closeWhileStuck) {
            m_port->CloseFile(&m_file);
            m_printer->CompleteStuckWrite();   // into the record left to it
            Open();
        } else {
            m_printer->CompleteStuckWrite();
        }
        ASSERT_EQ(S_OK, m_port->Write("ok")->m_status);
        EXPECT_EQ("ok", m_printer->Receive(2));
        ASSERT_EQ(2u, m_printer->m_writeRecords.size());
        if (row.closeWhileStuck) {
            // The record left to the stuck write is never handed out again. (One whose write
            // ended is freed, and its memory and event number may then come back.)
            EXPECT_NE(stuck, m_printer->m_writeRecords[1]);
            EXPECT_NE(stuckEvent, m_printer->m_writeRecords[1]->hEvent);
        }
        m_port->CloseFile(&m_file);
        // A record whose I/O ended goes with its event; one left at the close stays for good.
        EXPECT_EQ(before + (row.closeWhileStuck ? 1 : 0), CountProcessHandles());
    }
}

// TransmitCommChar sends its byte to the printer like a one-byte write, or fails as one would.
TEST_F(PortIo, ImmediateCharReachesThePrinter)
{
    std::string byte = "\x10";
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE), m_port->Control(IOCTL_SERIAL_IMMEDIATE_CHAR, &byte, -1)->m_status);
    Open();
    ASSERT_EQ(S_OK, m_port->Write("ab")->m_status);
    Ref<Request> r = m_port->Control(IOCTL_SERIAL_IMMEDIATE_CHAR, &byte, -1);
    EXPECT_EQ(S_OK, r->m_status);
    EXPECT_EQ(0u, r->m_information);
    EXPECT_EQ(1, r->m_input->m_reads);
    ASSERT_EQ(S_OK, m_port->Write("c")->m_status);
    EXPECT_EQ("ab\x10" "c", m_printer->Receive(4));

    // A printer that fails every attempt: the byte's request fails with it.
    using Step = FakePrinter::WriteStep;
    m_printer->m_writeSteps = {{Step::Fail, 0}, {Step::Fail, 0}, {Step::Fail, 0}};
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_IO_DEVICE), m_port->Control(IOCTL_SERIAL_IMMEDIATE_CHAR, &byte, -1)->m_status);
    EXPECT_EQ("", m_printer->Receive(1, 100));
}

// Bytes of a read that completes while the port closes (after the stop signal, before the
// cancel takes effect) are kept for the next connection.
TEST_F(PortIo, BytesOfAReadCompletingAtTheCloseAreKept)
{
    struct Row
    {
        const char *what;
        DWORD completeAfterMs;   // after the close began
    };
    const Row rows[] = {
        {"completes during the close", 100},
        {"completes at once", 0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        m_printer->m_holdNextRead = true;
        Open();
        ASSERT_TRUE(m_printer->WaitForHeldRead(1000));
        struct Late
        {
            FakePrinter *printer;
            DWORD delayMs;
            static DWORD WINAPI Run(void *p)
            {
                Late *late = static_cast<Late *>(p);
                Sleep(late->delayMs);
                late->printer->CompleteHeldRead("late");
                return 0;
            }
        } late = {m_printer.get(), row.completeAfterMs};
        HANDLE thread = CreateThread(nullptr, 0, &Late::Run, &late, 0, nullptr);
        ASSERT_NE(nullptr, thread);
        m_port->CloseFile(&m_file);
        EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(thread, 5000));
        CloseHandle(thread);
        Open();
        EXPECT_EQ("late", OutputReturned(m_port->Read(16).Get()));
        m_port->CloseFile(&m_file);
    }
}

// --- Device id -------------------------------------------------------------------------------

TEST_F(PortIo, DeviceIdRequestsAreForwardedToThePrinter)
{
    Open();
    const std::string id = m_printer->m_deviceId;
    struct Row
    {
        const char *what;
        ULONG code;
        long outSize;
        DWORD printerError;
        HRESULT status;
        std::string answer;
    };
    const Row rows[] = {
        {"id", 0x16000C, 4096, 0, S_OK, id},
        {"id, exact fit", 0x16000C, static_cast<long>(id.size()), 0, S_OK, id},
        {"id, one byte short", 0x16000C, static_cast<long>(id.size()) - 1, 0, static_cast<HRESULT>(0xD0000023), ""},
        {"id, no output", 0x16000C, -1, 0, HRESULT_FROM_WIN32(ERROR_INVALID_DATA), ""},
        {"id, printer fails", 0x16000C, 4096, ERROR_GEN_FAILURE, HRESULT_FROM_WIN32(ERROR_GEN_FAILURE), ""},
        {"size", 0x160010, 4, 0, S_OK, AsBytes<ULONG>(static_cast<ULONG>(id.size()))},
        {"size, output too small", 0x160010, 3, 0, HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER), ""},
        {"size, printer fails", 0x160010, 4, ERROR_NOT_READY, HRESULT_FROM_WIN32(ERROR_NOT_READY), ""},
    };
    for (const Row &row : rows) {
        m_printer->m_deviceIdError = row.printerError;
        Ref<Request> r = m_port->Control(row.code, nullptr, row.outSize);
        EXPECT_EQ(row.status, r->m_status) << row.what;
        EXPECT_EQ(row.answer.size(), r->m_information) << row.what;
        if (r->m_output) {
            EXPECT_EQ(row.answer, OutputReturned(r.Get())) << row.what;
        }
    }
    m_printer->m_deviceIdError = 0;
    // The shared write record still works for writes.
    ASSERT_EQ(S_OK, m_port->Write("ok")->m_status);
    EXPECT_EQ("ok", m_printer->Receive(2));
}

// --- Closing ---------------------------------------------------------------------------------

TEST_F(PortIo, CloseNeverHangs)
{
    struct Row
    {
        const char *what;
        void (*before)(FakePrinter &printer);
    };
    const Row rows[] = {
        {"read pending", [](FakePrinter &) {}},
        {"printer gone", [](FakePrinter &p) { p.Disconnect(); }},
        {"bytes arriving", [](FakePrinter &p) { p.Send("status"); }},
    };
    for (const Row &row : rows) {
        Open();
        Sleep(20);
        row.before(*m_printer);
        Sleep(20);
        const DWORD start = GetTickCount();
        m_port->CloseFile(&m_file);
        EXPECT_LT(GetTickCount() - start, 500u) << row.what;
        Ref<Request> r = m_port->Read(64);   // drain for the next row
    }
}

TEST_F(PortIo, OpenCloseCyclesLeaveNoHandles)
{
    auto cycle = [this] {
        Open();
        m_port->Write("cycle");
        m_printer->Receive(5);
        m_printer->Send("r");
        Sleep(5);
        m_port->Read(8);
        m_port->Control(0x16000C, nullptr, 4096);
        m_port->CloseFile(&m_file);
    };
    cycle();
    cycle();
    const long before = CountProcessHandles();
    ASSERT_GT(before, 0);
    for (int i = 0; i < 20; ++i)
        cycle();
    EXPECT_EQ(before, CountProcessHandles());
}

// The device goes away with the port still open: the receive thread ends with it.
TEST_F(PortIo, RemovalWithThePortOpen)
{
    const long before = CountProcessHandles();
    Open();
    m_printer->Send("unread");
    Sleep(20);
    const DWORD start = GetTickCount();
    m_port->Remove();
    EXPECT_LT(GetTickCount() - start, 500u);
    m_printer->Disconnect();
    EXPECT_LE(CountProcessHandles(), before);
}
