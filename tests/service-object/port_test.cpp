// Writing to the printer and reading its automatic status packets, on a real serial line.
#include "so_test_util.h"
#include "printer_emulator_client.h"

namespace {

class Port : public testing::Test
{
protected:
    Port() : emu(2), key(L"PortTest")
    {
        key.SetSerialPort(emu.PortName());
        emu.Clear();
        printer = NewPrinter();
        EXPECT_EQ(0, Open(*printer, L"POSPrinter", key.Name()));
        EXPECT_EQ(0, Claim(*printer));
    }
    ~Port() override
    {
        printer.Release();
        emu.Clear();
    }

    bool CodesBecome(LONG rc, LONG extended, DWORD ms = 2000)
    {
        return WaitUntil([&] { return printer->ResultCode() == rc && printer->ResultCodeExtended() == extended; }, ms);
    }

    PrinterEmulator emu;
    TestDeviceKey key;
    PrinterPtr printer;
};

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
    emu.Send(Bytes({0x20, 0}));
    Sleep(300);
    EXPECT_EQ(0, printer->ResultCode());
    emu.Send(Bytes({0, 0}));
    EXPECT_TRUE(CodesBecome(114, 201));

    // A packet split 1 + 3 after a whole one.
    emu.Send(Bytes({0, 0, 0, 0, 0}));
    EXPECT_TRUE(CodesBecome(0, 201));
    Sleep(300);
    emu.Send(Bytes({0, 0x0C, 0}));
    EXPECT_TRUE(CodesBecome(114, 203));
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

} // namespace
