// Runs cut inside a command: the next run first sends the rest of that command, so the printer
// reads it from a command boundary. An ESC/POS reader shows how the printer reads the bytes.
#include "far_end.h"
#include "escpos_decode.h"

#include <functional>

namespace {

const wchar_t kKey[] = L"CutRunTest";

// --- A run cut inside a command ---------------------------------------------------------------

const std::wstring kAfter = L"AFTER\n";

// The decoded receipt ends with the next run's text, read as text.
void ExpectEndsWithText(const std::string &got)
{
    const std::string decoded = DecodeEscPos(got);
    ASSERT_GE(decoded.size(), 7u) << decoded;
    EXPECT_EQ("AFTER\n", decoded.substr(decoded.size() - 6)) << decoded;
    const char before = decoded[decoded.size() - 7];
    EXPECT_TRUE(before == ']' || before == '\n') << "the text runs on from a command: " << decoded;
}

TEST(CutRun, TheNextRunFirstFinishesTheCommand)
{
    const std::string kAfterBytes = Translated(kAfter).bytes;
    const std::string setup = Bytes({0x1D, 0x68, 0x23, 0x1D, 0x48, 0x02, 0x1D, 0x77, 0x02});
    const std::string transactionBlock = Bytes({0x1B, 0x3D, 0x01, 0x1B, 0x61, 0x00, 0x1D, 0x4C, 0x00, 0x00,
                                                0x1B, 0x7B, 0x00, 0x1B, 0x74, 0x00, 0x1B, 0x52, 0x00,
                                                0x1B, 0x21, 0x00, 0x1B, 0x33, 0x21});
    using Step = std::function<long(Device &)>;
    auto normal = [](const std::wstring &text) { return [text](Device &d) { return d.Normal(text); }; };
    auto barCode = [](Device &d) {
        com::CBstr data(L"12345678");
        long rc = -1;
        EXPECT_EQ(S_OK, d.printer->PrintBarCode(2, data.Get(), 108, 80, 2, -2, -13, &rc));
        return d.Checked(rc);
    };
    auto transaction = [](Device &d) {
        long rc = -1;
        d.printer->TransactionPrint(2, 11, &rc);
        d.Normal(L"X\n");
        d.printer->CutPaper(100, &rc);
        EXPECT_EQ(S_OK, d.printer->TransactionPrint(2, 12, &rc));
        return d.Checked(rc);
    };
    auto immediate = [](Device &d) {
        com::CBstr data(L"AFTER\n");
        long rc = -1;
        EXPECT_EQ(S_OK, d.printer->PrintImmediate(2, data.Get(), &rc));
        return d.Checked(rc);
    };
    // The rest belongs to the port: whoever claims it next sends the rest first, even before
    // DeviceEnabled's command; a device on another port never gets it.
    const std::string statusBackOn = Bytes({0x1D, 0x61, 0xFF});
    auto enableAndPrint = [](CSOPOSPrinter &p) {
        p.SetPropertyNumber(3, 1);
        com::CBstr data(kAfter.c_str());
        long rc = -1;
        EXPECT_EQ(S_OK, p.PrintNormal(2, data.Get(), &rc));
        return rc;
    };
    auto reclaimed = [&](Device &d) {
        EXPECT_EQ(0, ReleaseDev(*d.printer));
        EXPECT_EQ(0, Claim(*d.printer));
        return d.Checked(enableAndPrint(*d.printer));
    };
    auto reopened = [&](Device &d) {
        long rc = -1;
        EXPECT_EQ(S_OK, d.printer->CloseService(&rc));
        EXPECT_EQ(0, Open(*d.printer, L"POSPrinter", d.key.Name()));
        EXPECT_EQ(0, Claim(*d.printer));
        return d.Checked(enableAndPrint(*d.printer));
    };
    auto otherObject = [&](Device &d) {   // the port's name in other letter case
        EXPECT_EQ(0, ReleaseDev(*d.printer));
        TestDeviceKey key(L"CutRunTestOther");
        std::wstring port = static_cast<SerialEnd *>(d.end.get())->PortName();
        for (wchar_t &c : port)
            c = static_cast<wchar_t>(towlower(c));
        key.SetSerialPort(port);
        PrinterPtr other = NewPrinter();
        d.Port()->Attach(*other);
        EXPECT_EQ(0, Open(*other, L"POSPrinter", key.Name()));
        EXPECT_EQ(0, Claim(*other));
        return enableAndPrint(*other);
    };
    auto otherPort = [&](Device &d) {
        Device elsewhere(Kind::Virtual, L"CutRunTestOther");
        EXPECT_EQ(0, enableAndPrint(*elsewhere.printer));
        EXPECT_EQ(Hex(statusBackOn + kAfterBytes), Hex(elsewhere.end->Received()));
        return reclaimed(d);
    };
    const std::string code39 = setup + Bytes({0x1D, 0x6B, 0x45, 0x08}) + "12345678";
    const struct { const char *what; Step cut; size_t takes; Step next; std::string got; } rows[] = {
        // what                            the run that is cut   the printer takes   the next run   the printer gets
        {"after the ESC of ESC J", normal(L"A\n"), 2, normal(kAfter),
         "A" + Bytes({0x1B, 0x4A, 0x18}) + kAfterBytes},
        {"after the first byte of GS k", barCode, 10, normal(kAfter),
         setup + Bytes({0x1D, 0x6B, 0x45, 0x08}) + "12345678" + kAfterBytes},
        {"inside the cut of a transaction", transaction, 25 + 1 + 12 + 1, normal(kAfter),
         transactionBlock + "X" + Translated(L"\n").bytes + Bytes({0x1D, 0x56, 0x00}) + kAfterBytes},
        {"before PrintImmediate", normal(L"A\n"), 2, immediate, "A" + Bytes({0x1B, 0x4A, 0x18}) + "AFTER\n"},
        {"inside ESC E, then release", normal(L"\x1b|bCX\n"), 1, reclaimed, Bytes({0x1B, 0x45, 0x01}) + statusBackOn + kAfterBytes},
        {"inside GS k, then release", barCode, 9 + 4 + 3, reclaimed, code39 + statusBackOn + kAfterBytes},
        {"inside GS k, then close and open", barCode, 9 + 4 + 3, reopened, code39 + statusBackOn + kAfterBytes},
        {"inside ESC E, then another object", normal(L"\x1b|bCX\n"), 2, otherObject, Bytes({0x1B, 0x45, 0x01}) + statusBackOn + kAfterBytes},
        {"inside GS k, then another port", barCode, 9 + 4 + 3, otherPort, code39 + statusBackOn + kAfterBytes},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        Device device(Kind::Serial, kKey);
        device.end->StopAfter(row.takes);
        EXPECT_EQ(112, row.cut(device));
        EXPECT_EQ(static_cast<LONG>(row.takes), device.written);
        EXPECT_FALSE(device.printer->UnfinishedCommand().empty());
        device.end->Go();
        EXPECT_EQ(0, row.next(device));
        const std::string got = device.end->Received();
        EXPECT_EQ(Hex(row.got), Hex(got)) << DecodeEscPos(got);
        ExpectEndsWithText(got);
    }
}

// CheckHealth is a run like any other; the rest of a command, itself cut, is finished later.
TEST(CutRun, CheckHealthAndTheRestCutAgain)
{
    const std::string kCut = "A" + Bytes({0x1B});
    const std::string kRest = Bytes({0x4A, 0x18});
    const std::string kAfterBytes = Translated(kAfter).bytes;
    {
        SCOPED_TRACE("CheckHealth");
        Device device(Kind::Serial, kKey);
        device.printer->SetPropertyNumber(3, 1);   // GS a 255, taken whole
        device.end->StopAfter(2);
        EXPECT_EQ(112, device.Normal(L"A\n"));
        device.end->Go();
        long rc = -1;
        EXPECT_EQ(S_OK, device.printer->CheckHealth(1, &rc));
        EXPECT_EQ(0, rc);
        const std::string got = device.end->Received();
        const std::string start = Bytes({0x1D, 0x61, 0xFF}) + kCut + kRest + Bytes({0x1B, 0x40}) + "OPOS ZUV";
        EXPECT_EQ(Hex(start), Hex(got.substr(0, start.size())));
    }
    {
        SCOPED_TRACE("the rest cut again");
        Device device(Kind::Serial, kKey);
        device.end->StopAfter(2);
        EXPECT_EQ(112, device.Normal(L"A\n"));
        device.end->Go();
        device.end->StopAfter(1);
        EXPECT_EQ(112, device.Normal(kAfter)) << "nothing of the run leaves before the rest";
        EXPECT_EQ(1u, device.printer->UnfinishedCommand().size());
        device.end->Go();
        EXPECT_EQ(0, device.Normal(kAfter));
        const std::string got = device.end->Received();
        EXPECT_EQ(Hex(kCut + kRest + kAfterBytes), Hex(got));
        ExpectEndsWithText(got);
    }
}

// On a real pipe the cut falls where the pipe stopped taking pieces: wherever that is inside a
// run of line feeds, the next run is read as text.
TEST(CutRun, OnANamedPipe)
{
    Device device(Kind::Pipe, kKey);
    device.end->StopAfter(0);
    const std::wstring feeds(60, L'\n');
    const Translated run(feeds);
    EXPECT_EQ(112, device.Normal(feeds));
    const LONG cutAt = device.written;
    ASSERT_GT(cutAt, 0);
    ASSERT_LT(cutAt, static_cast<LONG>(run.bytes.size()));
    EXPECT_NE(static_cast<size_t>(cutAt), run.buffer.CopiedCommandEnd(static_cast<size_t>(cutAt)))
        << "the cut at " << cutAt << " is not inside a command: the case shows nothing";
    device.end->Go();
    EXPECT_EQ(0, device.Normal(kAfter));
    const std::string expected = run.UpToCommandEnd(static_cast<size_t>(cutAt)) + Translated(kAfter).bytes;
    const std::string got = ReceivedAtLeast(*device.end, expected.size(), 3000);
    EXPECT_EQ(Hex(expected), Hex(got));
    ExpectEndsWithText(got);
}

} // namespace
