// Slow printers and printers that stop, on the three kinds of port (far_end.h): a printer that
// keeps taking data gets the whole run at any pace down to 50 bytes a second, and one that stops
// ends the call with a time-out.
#include "far_end.h"

namespace {

const wchar_t kKey[] = L"SlowPrinterTest";

// --- Every byte once and in order, at any pace down to 50 bytes a second ----------------------

TEST(SlowPrinter, APrinterThatKeepsTakingDataGetsTheWholeRun)
{
    const struct { Kind kind; unsigned rate; size_t lines; } rows[] = {
        // port          bytes/s  lines (56 bytes each)
        {Kind::Pipe, 0, 1},
        {Kind::Pipe, 0, 55},       // 3 KB
        {Kind::Pipe, 0, 1100},     // 60 KB
        {Kind::Pipe, 1000, 55},    // 3 s
        {Kind::Pipe, 250, 55},     // 12 s, more than two waits
        {Kind::Pipe, 50, 12},      // 13 s at the slowest pace we serve, 8 s beyond what the pipe holds
        {Kind::SmallPipe, 50, 8},  // pieces no larger than the pipe holds
        {Kind::Serial, 0, 1100},
        {Kind::Serial, 250, 55},   // one piece of 2,880 bytes takes 11 s of this printer
        {Kind::Serial, 50, 8},
        {Kind::Virtual, 0, 1},
        {Kind::Virtual, 0, 55},
        {Kind::Virtual, 0, 1100},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(testing::Message() << Name(row.kind) << ", " << row.rate << " bytes/s, " << row.lines << " lines");
        Device device(row.kind, kKey);
        device.end->SetRate(row.rate);
        const std::wstring text = Lines(row.lines);
        const Translated run(text);
        const DWORD start = GetTickCount();
        EXPECT_EQ(0, device.Normal(text));
        const DWORD took = GetTickCount() - start;
        EXPECT_EQ(static_cast<LONG>(run.bytes.size()), device.written);
        if (row.rate && run.bytes.size() / row.rate > 6) {
            EXPECT_GT(took, 5000u) << "the pace never held the run up: the row shows nothing";
        }
        EXPECT_LE(device.printer->WritePieceBytes(), row.kind == Kind::SmallPipe ? 48u : row.kind == Kind::Serial ? 2880u : 128u);
        device.end->SetRate(0);
        std::string got = device.end->Received();
        for (DWORD waited = 0; got.size() < run.bytes.size() && waited < 5000; waited += 50) {
            Sleep(50);
            got = device.end->Received();
        }
        EXPECT_EQ(run.bytes.size(), got.size());
        EXPECT_TRUE(got == run.bytes) << "first difference at byte " << FirstDifference(got, run.bytes);
    }
}

// --- A printer that stops ---------------------------------------------------------------------

TEST(SlowPrinter, APrinterThatStopsEndsTheCallWithATimeOut)
{
    const struct { Kind kind; unsigned rate; size_t stopAfter; size_t lines; } rows[] = {
        // port          bytes/s  takes, then stops   lines
        {Kind::Pipe, 250, 250, 55},
        {Kind::Serial, 250, 250, 55},
        {Kind::Serial, 0, 1000, 55},
        {Kind::Virtual, 0, 0, 1100},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(testing::Message() << Name(row.kind) << ", " << row.rate << " bytes/s, stops after "
                                        << row.stopAfter << " bytes");
        Device device(row.kind, kKey);
        if (auto *serial = dynamic_cast<SerialEnd *>(device.end.get())) {
            // A cover-open report, then all clear: a later time-out carries no reason.
            serial->SendStatus(Bytes({0x20, 0, 0, 0}));
            ASSERT_TRUE(WaitUntil([&] { return NumberProperty(*device.printer, 7) == 201; }, 2000));
            serial->SendStatus(Bytes({0, 0, 0, 0}));
            ASSERT_TRUE(WaitUntil([&] { return NumberProperty(*device.printer, 6) == 0; }, 2000));
        }
        device.end->SetRate(row.rate);
        device.end->StopAfter(row.stopAfter);
        const std::wstring text = Lines(row.lines);
        const Translated run(text);
        const DWORD start = GetTickCount();
        EXPECT_EQ(112, device.Normal(text));
        const DWORD took = GetTickCount() - start;
        // The port may stop taking data before the printer stops (a pipe whose buffer is full),
        // so the run may end sooner after the printer's stop than 5 s, but never sooner than
        // 5 s after it began.
        const DWORD stoppedAt = row.rate ? static_cast<DWORD>(1000 * row.stopAfter / row.rate) : 0;
        EXPECT_GE(took, 4900u);
        EXPECT_LE(took, stoppedAt + 10500) << "given up on more than about 10 s after the printer stopped";
        EXPECT_EQ(0, NumberProperty(*device.printer, 7));
        ASSERT_LT(device.written, static_cast<LONG>(run.bytes.size()));

        // The printer takes up again: it gets what was reported as written, nothing else.
        device.end->SetRate(0);
        device.end->Go();
        Sleep(500);
        const std::string got = device.end->Received();
        EXPECT_EQ(static_cast<size_t>(device.written), got.size());
        EXPECT_TRUE(got == run.bytes.substr(0, got.size())) << "first difference at byte " << FirstDifference(got, run.bytes);
    }
}

} // namespace
