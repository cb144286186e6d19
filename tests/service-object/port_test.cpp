// Writing to the printer and reading its automatic status packets, on a real serial line.
#include "so_test_util.h"
#include "immediate_port.h"
#include "printer_emulator_client.h"

#include <functional>
#include <thread>

namespace {

// The line of a fixture: the device key's Baudrate and Stop indexes (8 data bits, no parity).
struct LineIndexes { DWORD baudrate, stop; };
constexpr LineIndexes k9600OneStop = {6, 1};
constexpr LineIndexes k110TwoStops = {0, 0};   // a character takes 100 ms on the wire

// The printer on a real serial line; its reads stay pending until bytes arrive (Wine's port).
class Port : public testing::Test
{
protected:
    explicit Port(LineIndexes line = k9600OneStop) : emu(2), key(L"PortTest")
    {
        key.SetSerialPort(emu.PortName());
        key.SetDword(L"Baudrate", line.baudrate);
        key.SetDword(L"Stop", line.stop);
        emu.Clear();
        printer = NewPrinter();
        EXPECT_EQ(0, Open(*printer, L"POSPrinter", key.Name()));
    }
    void SetUp() override { ASSERT_EQ(0, Claim(*printer)); }
    ~Port() override
    {
        printer.Release();
        emu.Clear();
    }

    // Status bytes from the printer to the reader.
    virtual void Arrive(const std::string &bytes) { emu.Send(bytes); }

    bool CodesBecome(LONG rc, LONG extended, DWORD ms = 2000)
    {
        return WaitUntil([&] { return printer->ResultCode() == rc && printer->ResultCodeExtended() == extended; }, ms);
    }

    void StrayBytesBeforeAPacket(DWORD pauseMs);
    void PacketsByteByByte(DWORD apartMs);
    // A pause of the printer after bytes it sent.
    virtual void Pause(DWORD ms) { Sleep(ms); }

    PrinterEmulator emu;
    TestDeviceKey key;
    PrinterPtr printer;
};

// The same printer with reads that end at once, as on Windows: the port's handle is the real
// line (writes and the claim use it), its reads come from an ImmediatePort.
class ImmediateReads : public Port
{
protected:
    explicit ImmediateReads(LineIndexes line = k9600OneStop) : Port(line) {}
    void SetUp() override
    {
        port.Attach(*printer);
        Port::SetUp();
    }
    void Arrive(const std::string &bytes) override { port.Arrive(bytes); }

    // Waits until the reader has taken every queued chunk.
    bool Taken(DWORD ms = 2000) { return WaitUntil([&] { return port.Waiting() == 0; }, ms); }

    ImmediatePort port;
    // Bytes that arrive within one slice, before the reader looks, reach it in one read, so
    // it cannot tell a pause between them: the pause starts when the reader has them.
    void Pause(DWORD ms) override
    {
        EXPECT_TRUE(Taken());
        Sleep(ms);
    }
};

// Both kinds of port on a 110 baud line with two stop bits, where the bytes of one packet come
// 100 ms apart.
class SlowLine : public Port
{
protected:
    SlowLine() : Port(k110TwoStops) {}
};

class SlowLineImmediateReads : public ImmediateReads
{
protected:
    SlowLineImmediateReads() : ImmediateReads(k110TwoStops) {}
};

// One stray byte on the line, a pause longer than the packet gap, then a packet: the packet is
// judged alone, and so is every later one.
void Port::StrayBytesBeforeAPacket(DWORD pauseMs)
{
    const struct { const char *what; std::string first; LONG rc0, ext0; std::string stray, packet; LONG rc, ext; } rows[] = {
        // what                          state first          codes   stray         packet                codes
        {"cover open", Bytes({0, 0, 0, 0}), 0, 0, Bytes({0}), Bytes({0x20, 0, 0, 0}), 114, 201},
        {"paper empty", Bytes({0, 0, 0, 0}), 0, 201, Bytes({0}), Bytes({0, 0, 0x0C, 0}), 114, 203},
        {"clear keeps the extended code", Bytes({0, 0, 0x0C, 0}), 114, 203, Bytes({0x20}), Bytes({0, 0, 0, 0}), 0, 203},
        {"XON before cover open", Bytes({0, 0, 0, 0}), 0, 203, Bytes({0x11}), Bytes({0x20, 0, 0, 0}), 114, 201},
        {"half a packet before paper empty", Bytes({0, 0, 0, 0}), 0, 201, Bytes({0x20, 0}), Bytes({0, 0, 0x0C, 0}), 114, 203},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        Arrive(row.first);
        ASSERT_TRUE(CodesBecome(row.rc0, row.ext0))
            << "now " << printer->ResultCode() << "/" << printer->ResultCodeExtended();
        Arrive(row.stray);
        Pause(pauseMs);
        Arrive(row.packet);
        EXPECT_TRUE(CodesBecome(row.rc, row.ext))
            << "now " << printer->ResultCode() << "/" << printer->ResultCodeExtended();
        // The framing holds for the packets after it too.
        Arrive(Bytes({0, 0, 0, 0}));
        EXPECT_TRUE(CodesBecome(0, row.ext))
            << "now " << printer->ResultCode() << "/" << printer->ResultCodeExtended();
    }
}

// Packets sent a byte at a time, with a pause after each byte: each is judged as one packet.
void Port::PacketsByteByByte(DWORD apartMs)
{
    const struct { const char *what; std::string packet; LONG rc, ext; } rows[] = {
        {"cover open", Bytes({0x20, 0, 0, 0}), 114, 201},
        {"clear keeps the extended code", Bytes({0, 0, 0, 0}), 0, 201},
        {"paper empty", Bytes({0, 0, 0x0C, 0}), 114, 203},
        {"clear again", Bytes({0, 0, 0, 0}), 0, 203},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        for (size_t i = 0; i < row.packet.size(); ++i) {
            if (i)
                Pause(apartMs);
            Arrive(row.packet.substr(i, 1));
        }
        EXPECT_TRUE(CodesBecome(row.rc, row.ext))
            << "now " << printer->ResultCode() << "/" << printer->ResultCodeExtended();
    }
}

TEST_F(Port, BytesArriveExactly)
{
    std::string all;
    for (int i = 0; i < 256; ++i)
        all.push_back(static_cast<char>(i));
    all += "\r\n\n\r\x1b@\x1d\x61\xff";
    printer->PrintBuffer().Append(reinterpret_cast<const uint8_t *>(all.data()), all.size());
    printer->FlushPrintBuffer();
    EXPECT_EQ(0, printer->PrintBuffer().PendingSize());
    emu.WaitFor(all.size(), 2000);
    EXPECT_EQ(Hex(all), Hex(emu.Received()));
}

TEST_F(Port, FlushOfAnEmptyBufferSendsNothing)
{
    printer->FlushPrintBuffer();
    const uint8_t one = 'A';
    EXPECT_EQ(1, printer->WritePort(&one, 1));
    emu.WaitFor(1, 2000);
    EXPECT_EQ("A", emu.Received());
}

TEST_F(Port, WriteToAStalledPrinterGivesUpAfterFiveSeconds)
{
    emu.Stall(true);
    std::string big(1 << 20, 'x');
    DWORD start = GetTickCount();
    LONG written = printer->WritePort(reinterpret_cast<const uint8_t *>(big.data()), static_cast<LONG>(big.size()));
    DWORD took = GetTickCount() - start;
    EXPECT_GE(took, 4500u);
    EXPECT_LE(took, 7000u);
    EXPECT_GE(written, 0);
    EXPECT_LT(written, static_cast<LONG>(big.size()));

    // The printer takes up again: what was reported as written is what it gets.
    emu.Stall(false);
    emu.WaitFor(static_cast<size_t>(written), 3000);
    Sleep(200);
    EXPECT_EQ(static_cast<size_t>(written), emu.Count());

    start = GetTickCount();
    EXPECT_EQ(0, ReleaseDev(*printer));
    EXPECT_LT(GetTickCount() - start, 1000u);
}

TEST_F(Port, WriteOnAnUnclaimedObjectWritesNothing)
{
    PrinterPtr idle = NewPrinter();
    ASSERT_EQ(0, Open(*idle, L"POSPrinter", key.Name()));
    const uint8_t bytes[] = {1, 2, 3};
    EXPECT_EQ(0, idle->WritePort(bytes, 3));
}

TEST_F(Port, StatusPacketsBecomeResultCodes)
{
    const struct { const char *what; std::string packets; LONG rc, extended; } rows[] = {
        {"cover open", Bytes({0x20, 0, 0, 0}), 114, 201},
        {"paper empty", Bytes({0, 0, 0x0C, 0}), 114, 203},
        {"paper empty, one bit", Bytes({0, 0, 0x04, 0}), 114, 203},
        {"clear keeps the extended code", Bytes({0, 0, 0, 0}), 0, 203},
        {"cover wins over paper", Bytes({0x20, 0, 0x0C, 0}), 114, 201},
        {"paper bit 0x08", Bytes({0, 0, 0x08, 0}), 114, 203},
        {"last packet of a read counts", Bytes({0, 0, 0x0C, 0, 0, 0, 0, 0}), 0, 203},
        {"later cover open overrides", Bytes({0, 0, 0x0C, 0, 0x20, 0, 0, 0}), 114, 201},
        {"other bits mean nothing", Bytes({0xDF, 0xFF, 0xF3, 0xFF}), 0, 201},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        emu.Send(row.packets);
        EXPECT_TRUE(CodesBecome(row.rc, row.extended))
            << "now " << printer->ResultCode() << "/" << printer->ResultCodeExtended();
    }
}

TEST_F(Port, PacketSplitAcrossReads)
{
    // Two reads, with less between them than the pause that ends a packet.
    emu.Send(Bytes({0x20, 0}));
    Sleep(30);
    EXPECT_EQ(0, printer->ResultCode());
    emu.Send(Bytes({0, 0}));
    EXPECT_TRUE(CodesBecome(114, 201));

    // A packet split 1 + 3 after a whole one.
    emu.Send(Bytes({0, 0, 0, 0, 0}));
    EXPECT_TRUE(CodesBecome(0, 201));
    Sleep(30);
    emu.Send(Bytes({0, 0x0C, 0}));
    EXPECT_TRUE(CodesBecome(114, 203));
}

TEST_F(Port, StrayByteBeforeAPacket) { StrayBytesBeforeAPacket(250); }

TEST_F(Port, PacketGapFollowsTheLine)
{
    EXPECT_EQ(103u, printer->StatusPacketGap()) << "two characters of 9600 8N1 after 100 ms";
}

TEST_F(Port, EnablingStartsPacketsAfresh)
{
    // Half a packet from before status back was switched on is no part of the first report.
    emu.Send(Bytes({0x20, 0}));
    Sleep(30);
    printer->SetPropertyNumber(3, 1);
    emu.Send(Bytes({0, 0, 0x0C, 0}));
    EXPECT_TRUE(CodesBecome(114, 203)) << "now " << printer->ResultCode() << "/" << printer->ResultCodeExtended();
}

TEST_F(Port, ALoneCoverOpenReportStays)
{
    emu.Send(Bytes({0x20, 0, 0, 0}));
    ASSERT_TRUE(CodesBecome(114, 201));
    Sleep(1500);
    EXPECT_EQ(114, printer->ResultCode());
    EXPECT_EQ(201, printer->ResultCodeExtended());
}

TEST_F(Port, StatusDuringAWrite)
{
    std::string receipt(4000, 'r');
    emu.Send(Bytes({0, 0, 0x0C, 0}));
    printer->PrintBuffer().Append(reinterpret_cast<const uint8_t *>(receipt.data()), receipt.size());
    printer->FlushPrintBuffer();
    EXPECT_TRUE(CodesBecome(114, 203));
    emu.WaitFor(receipt.size(), 3000);
    EXPECT_EQ(receipt.size(), emu.Count());
}

// A write that ended only after its wait gave up must not leave the next wait on a stalled
// printer to return at once and then wait for ever.
TEST_F(Port, WriteAfterALateOneStillGivesUpAfterFiveSeconds)
{
    const struct { const char *what; DWORD drainAtMs; bool lateEnd; } rows[] = {
        // what                                 printer takes up again at  its end signalled late
        {"drained just after the time-out", 5020, false},
        // A write that ends between the time-out and GetOverlappedResult's look at it sets the
        // event after that look; too narrow to hit with the emulator, so set here.
        {"cancelled, its end signalled late", 0, true},
    };
    const std::string big(1 << 20, 'x');
    auto write = [&] {
        return printer->WritePort(reinterpret_cast<const uint8_t *>(big.data()), static_cast<LONG>(big.size()));
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        emu.Clear();
        emu.Stall(true);
        std::thread drain;
        if (row.drainAtMs) {
            drain = std::thread([&] {
                PrinterEmulator control(2);   // a connection of its own
                Sleep(row.drainAtMs);
                control.Stall(false);
            });
        }
        DWORD start = GetTickCount();
        write();
        EXPECT_GE(GetTickCount() - start, 4500u);
        if (drain.joinable())
            drain.join();
        Sleep(300);   // whatever got out has drained
        emu.Clear();
        emu.Stall(true);
        if (row.lateEnd)
            SetEvent(printer->WriteEvent());

        // The second write runs on a thread of its own, so a wait without bound cannot hang
        // the test.
        DWORD took = 0;
        HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        std::thread second([&] {
            DWORD t = GetTickCount();
            write();
            took = GetTickCount() - t;
            SetEvent(done);
        });
        bool ended = WaitForSingleObject(done, 9000) == WAIT_OBJECT_0;
        EXPECT_TRUE(ended) << "the second write did not give up";
        if (!ended) {
            emu.Clear();   // lets the write end
            if (WaitForSingleObject(done, 10000) != WAIT_OBJECT_0) {
                second.detach();
                printer.Detach();   // still in use by the write: leaked rather than freed
                CloseHandle(done);
                FAIL() << "the write does not end even on a printer that reads";
            }
        }
        second.join();
        CloseHandle(done);
        EXPECT_GE(took, 4500u);
        EXPECT_LE(took, 7500u);
    }
    emu.Clear();
}

// --- Reads that end at once ---------------------------------------------------------------------

TEST_F(ImmediateReads, EmptyReadsKeepTheCodesWithoutABusyLoop)
{
    Arrive(Bytes({0x20, 0, 0, 0}));
    ASSERT_TRUE(CodesBecome(114, 201));
    port.TakeReadTicks();
    Sleep(2000);
    std::vector<DWORD> reads = port.TakeReadTicks();
    // One read a slice: about four in two seconds.
    EXPECT_GE(reads.size(), 2u);
    EXPECT_LE(reads.size(), 6u);
    for (size_t i = 1; i < reads.size(); ++i) {
        EXPECT_GE(reads[i] - reads[i - 1], 400u) << "read " << i;
    }
    EXPECT_EQ(114, printer->ResultCode());
    EXPECT_EQ(201, printer->ResultCodeExtended());
}

TEST_F(ImmediateReads, APacketIsSeenWithinASlice)
{
    const struct { const char *what; DWORD afterReadMs; std::string packet; LONG rc, ext; } rows[] = {
        // what                       arrives after a read   packet                    codes
        {"cover open, at once", 5, Bytes({0x20, 0, 0, 0}), 114, 201},
        {"clear, mid-slice", 250, Bytes({0, 0, 0, 0}), 0, 201},
        {"paper empty, late", 450, Bytes({0, 0, 0x0C, 0}), 114, 203},
        {"clear, just after a read", 1, Bytes({0, 0, 0, 0}), 0, 203},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        port.TakeReadTicks();
        ASSERT_TRUE(WaitUntil([&] { return !port.TakeReadTicks().empty(); }, 1000));
        Sleep(row.afterReadMs);
        DWORD start = GetTickCount();
        Arrive(row.packet);
        EXPECT_TRUE(CodesBecome(row.rc, row.ext, 1000));
        EXPECT_LE(GetTickCount() - start, 600u);
    }
}

TEST_F(ImmediateReads, ReleaseEndsWithinASlice)
{
    for (DWORD afterClaimMs : {0u, 120u, 260u, 390u, 480u}) {
        SCOPED_TRACE(testing::Message() << afterClaimMs << " ms after the claim");
        if (!printer->IsClaimed()) {
            ASSERT_EQ(0, Claim(*printer));
        }
        Sleep(afterClaimMs);
        DWORD start = GetTickCount();
        EXPECT_EQ(0, ReleaseDev(*printer));
        EXPECT_LE(GetTickCount() - start, 600u);
    }
}

TEST_F(ImmediateReads, PacketSplitAcrossReads)
{
    const struct { const char *what; std::vector<std::string> chunks; DWORD pauseMs; LONG rc, ext; } rows[] = {
        // what                      reads, one chunk each                        between   codes
        {"2 + 2, back to back", {Bytes({0x20, 0}), Bytes({0, 0})}, 0, 114, 201},
        {"1 + 3, 30 ms apart", {Bytes({0}), Bytes({0, 0, 0})}, 30, 0, 201},
        {"3 + 1, 60 ms apart", {Bytes({0, 0, 0x0C}), Bytes({0})}, 60, 114, 203},
        {"1 + 1 + 2, 40 ms apart", {Bytes({0x20}), Bytes({0}), Bytes({0, 0})}, 40, 114, 201},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        for (const std::string &chunk : row.chunks) {
            Arrive(chunk);
            if (row.pauseMs)
                Pause(row.pauseMs);
        }
        EXPECT_TRUE(CodesBecome(row.rc, row.ext, 1000))
            << "now " << printer->ResultCode() << "/" << printer->ResultCodeExtended();
    }
}

TEST_F(ImmediateReads, StrayByteBeforeAPacket) { StrayBytesBeforeAPacket(250); }

// --- A 110 baud line ---------------------------------------------------------------------------

TEST_F(SlowLine, PacketGapFollowsTheLine)
{
    EXPECT_EQ(300u, printer->StatusPacketGap()) << "two characters of 110 8N2 after 100 ms";
    EXPECT_EQ(30u, printer->WritePieceBytes()) << "a run's pieces: three seconds of the line";
}

TEST_F(SlowLine, PacketsWhoseBytesComeFarApartAreWhole) { PacketsByteByByte(120); }
TEST_F(SlowLineImmediateReads, PacketsWhoseBytesComeFarApartAreWhole) { PacketsByteByByte(120); }
TEST_F(SlowLine, StrayByteBeforeAPacket) { StrayBytesBeforeAPacket(450); }
TEST_F(SlowLineImmediateReads, StrayByteBeforeAPacket) { StrayBytesBeforeAPacket(450); }

} // namespace
