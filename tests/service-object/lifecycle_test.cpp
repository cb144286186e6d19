// Open, claim, release and close, and what each leaves behind.
#include "so_test_util.h"
#include "handle_count.h"
#include "printer_emulator_client.h"

namespace {

class LifeCycle : public testing::Test
{
protected:
    LifeCycle() : emu(1), key(L"LifeCycleTest") { key.SetSerialPort(emu.PortName()); emu.Clear(); }

    PrinterEmulator emu;
    TestDeviceKey key;
};

TEST_F(LifeCycle, OpenChecksTheDeviceClassExactly)
{
    const struct { const wchar_t *cls; LONG rc; } rows[] = {
        {L"POSPrinter", 0}, {L"posprinter", 402}, {L"POSPRINTER", 402},
        {L"CashDrawer", 402}, {L"", 402}, {nullptr, 402}, {L"POSPrinter ", 402},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(testing::Message() << "class '" << (row.cls ? row.cls : L"(null)") << "'");
        PrinterPtr printer = NewPrinter();
        EXPECT_EQ(row.rc, Open(*printer, row.cls, key.Name()));
        EXPECT_EQ(row.rc, NumberProperty(*printer, 6));
    }
}

TEST_F(LifeCycle, OpenWithoutDeviceKeySucceedsButClaimFindsNoPort)
{
    PrinterPtr printer = NewPrinter();
    EXPECT_EQ(0, Open(*printer, L"POSPrinter", L"LifeCycleTest.NoSuchKey"));
    EXPECT_EQ(2, NumberProperty(*printer, 9));   // idle
    EXPECT_EQ(109, Claim(*printer));
    EXPECT_EQ(0, NumberProperty(*printer, 1));
}

TEST_F(LifeCycle, OpenWithNullDispatchAndWithAControlObject)
{
    PrinterPtr printer = NewPrinter();
    com::CBstr cls(L"POSPrinter"), name(key.Name().c_str());
    long rc = -1;
    EXPECT_EQ(S_OK, printer->OpenService(cls.Get(), name.Get(), nullptr, &rc));
    EXPECT_EQ(0, rc);

    // Any dispatch interface will do as the control object: it is held, never called for events.
    PrinterPtr other = NewPrinter();
    rc = -1;
    EXPECT_EQ(S_OK, printer->OpenService(cls.Get(), name.Get(), static_cast<IDispatch *>(other.Get()), &rc));
    EXPECT_EQ(0, rc);
}

TEST_F(LifeCycle, ClaimOpensThePortOnceAndReleaseClosesIt)
{
    PrinterPtr printer = NewPrinter();
    ASSERT_EQ(0, Open(*printer, L"POSPrinter", key.Name()));
    ASSERT_EQ(0, Claim(*printer));
    EXPECT_EQ(1, NumberProperty(*printer, 1));
    HANDLE port = printer->PortHandle();
    EXPECT_EQ(0, Claim(*printer));
    EXPECT_EQ(port, printer->PortHandle()) << "a second claim must open nothing";

    EXPECT_EQ(0, ReleaseDev(*printer));
    EXPECT_EQ(0, NumberProperty(*printer, 1));
    EXPECT_EQ(nullptr, printer->PortHandle());

    // (Wine does not refuse a second exclusive open of a serial device, so "held by another
    // process" cannot be shown here; any open error other than 2 and 3 is covered below.)
    PrinterPtr second = NewPrinter();
    ASSERT_EQ(0, Open(*second, L"POSPrinter", key.Name()));
    EXPECT_EQ(0, Claim(*second));
}

TEST_F(LifeCycle, ClaimFailures)
{
    const struct { const wchar_t *port; LONG rc; } rows[] = {
        // port              result
        {L"COM199", 109},        // no such device (error 2)
        {L"", 109},              // nothing configured
        {L"NOSUCHPORT", 109},
        {L"COM199\\x", 109},     // path not found (error 3)
        {L"<bad>", 111},         // invalid name (error 123)
        {L"C:\\", 111},          // access denied (error 5)
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(testing::Message() << "port '" << row.port << "'");
        key.SetString(L"Port", row.port);
        PrinterPtr printer = NewPrinter();
        ASSERT_EQ(0, Open(*printer, L"POSPrinter", key.Name()));
        SetLastError(ERROR_ACCESS_DENIED);   // an empty port must not depend on this
        EXPECT_EQ(row.rc, Claim(*printer));
        EXPECT_EQ(row.rc, NumberProperty(*printer, 6));
        EXPECT_EQ(0, NumberProperty(*printer, 1));
    }
}

TEST_F(LifeCycle, ReleaseWhenNotClaimedWritesNothing)
{
    PrinterPtr printer = NewPrinter();
    ASSERT_EQ(0, Open(*printer, L"POSPrinter", key.Name()));
    long rc = 4242;
    EXPECT_EQ(S_OK, printer->ReleaseDevice(&rc));
    EXPECT_EQ(4242, rc);
}

TEST_F(LifeCycle, CloseServiceWhileClaimedFreesThePort)
{
    PrinterPtr printer = NewPrinter();
    ASSERT_EQ(0, Open(*printer, L"POSPrinter", key.Name()));
    ASSERT_EQ(0, Claim(*printer));
    long rc = -1;
    EXPECT_EQ(S_OK, printer->CloseService(&rc));
    EXPECT_EQ(0, rc);
    EXPECT_EQ(0, NumberProperty(*printer, 1));
    EXPECT_EQ(0, NumberProperty(*printer, 3));

    PrinterPtr next = NewPrinter();
    ASSERT_EQ(0, Open(*next, L"POSPrinter", key.Name()));
    EXPECT_EQ(0, Claim(*next));
}

TEST_F(LifeCycle, LeavingAnEnabledClaimedDevice)
{
    using Leave = long (*)(CSOPOSPrinter &);
    const struct { const char *what; Leave leave; LONG enabledAfter; } rows[] = {
        // what            the call                                            DeviceEnabled after
        {"CloseService", [](CSOPOSPrinter &p) { long rc = -1; p.CloseService(&rc); return rc; }, 0},
        {"ReleaseDevice", [](CSOPOSPrinter &p) { long rc = -1; p.ReleaseDevice(&rc); return rc; }, 1},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        emu.Clear();
        PrinterPtr printer = NewPrinter();
        ASSERT_EQ(0, Open(*printer, L"POSPrinter", key.Name()));
        ASSERT_EQ(0, Claim(*printer));
        printer->SetPropertyNumber(3, 1);
        ASSERT_EQ(1, NumberProperty(*printer, 3));
        EXPECT_EQ(3u, emu.WaitFor(3, 2000)) << "status back on";

        EXPECT_EQ(0, row.leave(*printer));
        EXPECT_EQ(0, NumberProperty(*printer, 6));
        EXPECT_EQ(0, NumberProperty(*printer, 1));
        EXPECT_EQ(row.enabledAfter, NumberProperty(*printer, 3));
        EXPECT_EQ(nullptr, printer->PortHandle());
        EXPECT_EQ(nullptr, printer->WriteEvent());

        // No reader is left: a status packet changes nothing, and nothing more was written.
        emu.Send(Bytes({0x20, 0, 0, 0}));
        Sleep(300);
        EXPECT_EQ(0, NumberProperty(*printer, 6));
        EXPECT_EQ(Hex(Bytes({0x1D, 0x61, 0xFF})), Hex(emu.Received()));

        // The port is free for the next claim.
        PrinterPtr next = NewPrinter();
        ASSERT_EQ(0, Open(*next, L"POSPrinter", key.Name()));
        EXPECT_EQ(0, Claim(*next));
    }
}

TEST_F(LifeCycle, DestroyingAClaimedObjectFreesThePort)
{
    {
        PrinterPtr printer = NewPrinter();
        ASSERT_EQ(0, Open(*printer, L"POSPrinter", key.Name()));
        ASSERT_EQ(0, Claim(*printer));
    }
    PrinterPtr next = NewPrinter();
    ASSERT_EQ(0, Open(*next, L"POSPrinter", key.Name()));
    EXPECT_EQ(0, Claim(*next));
}

TEST_F(LifeCycle, ReopeningWhileClaimedReleasesFirst)
{
    PrinterPtr printer = NewPrinter();
    ASSERT_EQ(0, Open(*printer, L"POSPrinter", key.Name()));
    ASSERT_EQ(0, Claim(*printer));
    // A wrong class changes nothing, the claim included.
    EXPECT_EQ(402, Open(*printer, L"CashDrawer", key.Name()));
    EXPECT_EQ(1, NumberProperty(*printer, 1));

    EXPECT_EQ(0, Open(*printer, L"POSPrinter", key.Name()));
    EXPECT_EQ(0, NumberProperty(*printer, 1));
    PrinterPtr next = NewPrinter();
    ASSERT_EQ(0, Open(*next, L"POSPrinter", key.Name()));
    EXPECT_EQ(0, Claim(*next));
}

// An object opened again starts from nothing: what the earlier device's key held (its port, its
// line, its strings) never stands in for what the next key lacks.
TEST_F(LifeCycle, ReopeningForgetsTheLastDevice)
{
    key.SetString(L"DeviceName", L"first");
    TestDeviceKey noPort(L"LifeCycleTest.NoPort");
    noPort.SetString(L"DeviceDesc", L"no port here");
    const struct { const char *what; std::wstring device; const wchar_t *desc; } rows[] = {
        {"a key that does not exist", L"LifeCycleTest.NoSuchKey", L""},
        {"a key without Port", noPort.Name(), L"no port here"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        PrinterPtr printer = NewPrinter();
        ASSERT_EQ(0, Open(*printer, L"POSPrinter", key.Name()));
        ASSERT_EQ(0, Claim(*printer));
        EXPECT_EQ(0, ReleaseDev(*printer));
        long rc = -1;
        EXPECT_EQ(S_OK, printer->CloseService(&rc));

        EXPECT_EQ(0, Open(*printer, L"POSPrinter", row.device));
        EXPECT_EQ(109, Claim(*printer));
        EXPECT_EQ(0, NumberProperty(*printer, 1));
        const CDeviceSettings &s = printer->DeviceSettings();
        EXPECT_EQ(L"", s.Port);
        EXPECT_EQ(L"", s.DeviceName);
        EXPECT_EQ(row.desc, s.DeviceDesc);
        EXPECT_FALSE(s.Baudrate.has_value());
        EXPECT_FALSE(s.Stop.has_value());
    }
}

TEST_F(LifeCycle, ClearOutputDropsPendingBytesAndKeepsResultCode)
{
    PrinterPtr printer = NewPrinter();
    ASSERT_EQ(402, Open(*printer, L"Other", key.Name()));
    const uint8_t bytes[] = {0x1B, 0x40, 'x'};
    printer->PrintBuffer().Append(bytes, sizeof(bytes));
    long rc = 4242;
    EXPECT_EQ(S_OK, printer->ClearOutput(&rc));
    EXPECT_EQ(4242, rc);
    EXPECT_EQ(0, printer->PrintBuffer().PendingSize());
    EXPECT_EQ(402, NumberProperty(*printer, 6));
}

TEST_F(LifeCycle, MethodsThatDoNothingChangeNothing)
{
    PrinterPtr printer = NewPrinter();
    ASSERT_EQ(0, Open(*printer, L"POSPrinter", key.Name()));
    ASSERT_EQ(0, Claim(*printer));
    const long before[] = {NumberProperty(*printer, 1), NumberProperty(*printer, 3),
                           NumberProperty(*printer, 6), NumberProperty(*printer, 9)};
    long data = 5;
    BSTR text = SysAllocString(L"abc");
    BSTR sent = text;
    long rc = -1;
    EXPECT_EQ(S_OK, printer->DirectIO(1, &data, &text, &rc));
    EXPECT_EQ(S_OK, printer->BeginInsertion(100));
    EXPECT_EQ(S_OK, printer->BeginRemoval(100));
    EXPECT_EQ(5, data);
    EXPECT_EQ(sent, text);
    EXPECT_STREQ(L"abc", text);
    SysFreeString(text);
    const long after[] = {NumberProperty(*printer, 1), NumberProperty(*printer, 3),
                          NumberProperty(*printer, 6), NumberProperty(*printer, 9)};
    EXPECT_TRUE(std::equal(std::begin(before), std::end(before), std::begin(after)));
}

TEST_F(LifeCycle, ClaimAndRelease200TimesLeaksNoHandle)
{
    PrinterPtr printer = NewPrinter();
    ASSERT_EQ(0, Open(*printer, L"POSPrinter", key.Name()));
    // Warm up once so lazily created system objects are not counted as a leak.
    ASSERT_EQ(0, Claim(*printer));
    ASSERT_EQ(0, ReleaseDev(*printer));
    long before = CountProcessHandles();
    ASSERT_GT(before, 0) << "the handle table cannot be read";
    for (int i = 0; i < 200; ++i) {
        ASSERT_EQ(0, Claim(*printer)) << "cycle " << i;
        ASSERT_EQ(0, ReleaseDev(*printer)) << "cycle " << i;
    }
    EXPECT_LE(CountProcessHandles(), before);
}

TEST_F(LifeCycle, ReleaseReturnsQuicklyWhileAReadIsPending)
{
    PrinterPtr printer = NewPrinter();
    ASSERT_EQ(0, Open(*printer, L"POSPrinter", key.Name()));
    ASSERT_EQ(0, Claim(*printer));
    Sleep(300);   // the reader is now waiting on a read that nothing completes
    DWORD start = GetTickCount();
    EXPECT_EQ(0, ReleaseDev(*printer));
    EXPECT_LT(GetTickCount() - start, 1000u);
}

} // namespace
