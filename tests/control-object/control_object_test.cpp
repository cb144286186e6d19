// The stand-in control objects driven by name, as a retail application drives them, with the
// service object on the printer emulator behind them.
#include "co_test_util.h"
#include "controlobject.h"
#include "dispatch.h"
#include "handle_count.h"
#include "pipe_printer_client.h"
#include "printer_emulator_client.h"

#include <functional>
#include <vector>

namespace {

using com::CDispArg;

TEST(Registration, ClassesAsTheSetupUtilityFindsThem)
{
    const struct { const wchar_t *progId; const CLSID &clsid; const wchar_t *key; } rows[] = {
        {L"OPOS.POSPrinter", CLSID_StandInPOSPrinter, kStandInPrinterClsid},
        {L"OPOS.CashDrawer", CLSID_StandInCashDrawer, kStandInDrawerClsid},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.progId)));
        CLSID clsid = {};
        EXPECT_EQ(S_OK, CLSIDFromProgID(row.progId, &clsid));
        EXPECT_TRUE(IsEqualCLSID(row.clsid, clsid));
        const std::wstring path = std::wstring(L"CLSID\\") + row.key;
        EXPECT_NE(std::wstring::npos, ReadRegString(HKEY_CLASSES_ROOT, path, nullptr).find(L"XWQ/JZP"));
        EXPECT_EQ(L"Apartment", ReadRegString(HKEY_CLASSES_ROOT, path + L"\\InprocServer32", L"ThreadingModel"));
        EXPECT_TRUE(RegisteredAt(row.key, StandInDll()));
    }
}

class StandIn : public testing::Test
{
protected:
    StandIn() : emu(0), device(L"POSPrinter", L"CoTestPrinter", kServiceObjectProgId)
    {
        device.SetSerialPort(emu.PortName());
        device.SetString(L"DeviceName", L"Stand-in test printer");
        device.SetString(L"DeviceDesc", L"Printer behind the stand-in");
        device.AddLogicalName(L"CoTestReceipt");
        EXPECT_TRUE(device.Ok());
        emu.Clear();
        EXPECT_EQ(S_OK, co.Create(L"OPOS.POSPrinter"));
    }
    ~StandIn() override
    {
        co.Release();
        emu.Clear();
    }

    long Call(com::CDispatchCaller &object, const wchar_t *name, std::initializer_list<CDispArg> args = {})
    {
        long rc = -1;
        EXPECT_EQ(S_OK, object.CallLong(name, args, &rc)) << testing::PrintToString(std::wstring(name));
        return rc;
    }
    long Call(const wchar_t *name, std::initializer_list<CDispArg> args = {}) { return Call(co, name, args); }
    bool Bool(com::CDispatchCaller &object, const wchar_t *name)
    {
        com::CVariant value;
        EXPECT_EQ(S_OK, object.Get(name, &value)) << testing::PrintToString(std::wstring(name));
        EXPECT_EQ(VT_BOOL, value.vt);
        return value.vt == VT_BOOL && value.boolVal != VARIANT_FALSE;
    }
    long Number(com::CDispatchCaller &object, const wchar_t *name)
    {
        long value = -1;
        EXPECT_EQ(S_OK, object.GetLong(name, &value)) << testing::PrintToString(std::wstring(name));
        return value;
    }
    // Sets DeviceEnabled and answers the ResultCode the application then sees.
    long Enable(bool on)
    {
        EXPECT_EQ(S_OK, co.Put(L"DeviceEnabled", on));
        return Number(co, L"ResultCode");
    }
    bool SeesCodes(com::CDispatchCaller &object, long rc, long extended)
    {
        return WaitUntil([&] {
            return Number(object, L"ResultCode") == rc && Number(object, L"ResultCodeExtended") == extended;
        }, 3000);
    }
    std::string Got(size_t expected)
    {
        emu.WaitFor(expected, 3000);
        Sleep(expected ? 20 : 200);   // room for anything unexpected to follow
        return emu.Received();
    }

    PrinterEmulator emu;
    OposDevice device;
    com::CDispatchCaller co;
};

TEST_F(StandIn, WholeOrderByLogicalName)
{
    const struct { const char *what; std::function<long()> step; std::string bytes; } steps[] = {
        {"Open by logical name", [&] { return Call(L"Open", {L"CoTestReceipt"}); }, ""},
        {"ClaimDevice", [&] { return Call(L"ClaimDevice", {1000}); }, ""},
        {"DeviceEnabled = True", [&] { return Enable(true); }, kStatusOn},
        {"PrintNormal", [&] { return Call(L"PrintNormal", {2, L"\x1b|bCHello\n"}); }, kBoldHello},
        {"PrintBarCode", [&] { return Call(L"PrintBarCode", {2, L"12345678", 108, 80, 2, -2, -13}); }, kCode39},
        {"CutPaper", [&] { return Call(L"CutPaper", {100}); }, kFullCut},
        {"DeviceEnabled = False", [&] { return Enable(false); }, kStatusOff},
        {"ReleaseDevice", [&] { return Call(L"ReleaseDevice"); }, ""},
        {"Close", [&] { return Call(L"Close"); }, ""},
    };
    for (const auto &s : steps) {
        SCOPED_TRACE(s.what);
        emu.Clear();
        EXPECT_EQ(0, s.step());
        EXPECT_EQ(Hex(s.bytes), Hex(Got(s.bytes.size())));
    }
}

TEST_F(StandIn, PropertiesByDeviceKeyName)
{
    struct Row { const wchar_t *name; VARTYPE type; const wchar_t *closed, *opened, *enabled; };
    const Row rows[] = {
        {L"DeviceEnabled", VT_BOOL, L"0", L"0", L"-1"},
        {L"Claimed", VT_BOOL, L"0", L"0", L"-1"},
        {L"State", VT_I4, L"1", L"2", L"2"},
        {L"ResultCode", VT_I4, L"101", L"0", L"0"},
        {L"ResultCodeExtended", VT_I4, L"0", L"0", L"0"},
        {L"DeviceName", VT_BSTR, L"", L"Stand-in test printer", L"Stand-in test printer"},
        {L"DeviceDescription", VT_BSTR, L"", L"Printer behind the stand-in", L"Printer behind the stand-in"},
    };
    auto check = [&](const char *when, const wchar_t *Row::*column) {
        for (const Row &row : rows) {
            SCOPED_TRACE(testing::Message() << when << ": " << testing::PrintToString(std::wstring(row.name)));
            com::CVariant value;
            ASSERT_EQ(S_OK, co.Get(row.name, &value));
            EXPECT_EQ(row.type, value.vt);
            com::CBstr text;
            ASSERT_EQ(S_OK, com::VariantToBstr(value, &text));
            EXPECT_EQ(std::wstring(row.*column), std::wstring(text.Get(), text.Length()));
        }
    };
    check("closed", &Row::closed);
    ASSERT_EQ(0, Call(L"Open", {device.Name()}));
    check("opened", &Row::opened);
    ASSERT_EQ(0, Call(L"ClaimDevice", {1000}));
    ASSERT_EQ(0, Enable(true));
    check("claimed and enabled", &Row::enabled);

    emu.Clear();
    EXPECT_EQ(0, Call(L"CheckHealth", {1}));
    EXPECT_EQ("\x1b\x40", Got(2).substr(0, 2));
}

TEST_F(StandIn, ErrorsComeBackAsResultCodes)
{
    OposDevice noService(L"POSPrinter", L"CoTestNoService", L"");
    noService.AddLogicalName(L"CoTestDangling", L"CoTestMissingKey");
    OposDevice unregistered(L"POSPrinter", L"CoTestUnregistered", L"CoTest.NoSuchClass");
    OposDevice drawer(L"CashDrawer", L"CoTestDrawer", L"CoTest.NoSuchClass");
    ASSERT_TRUE(noService.Ok() && unregistered.Ok() && drawer.Ok());

    const struct { const char *what; const wchar_t *progId; std::function<long(com::CDispatchCaller &)> call; long rc; } rows[] = {
        {"unknown device name", L"OPOS.POSPrinter", [&](auto &o) { return Call(o, L"Open", {L"CoTestNoSuchName"}); }, 109},
        {"empty device name", L"OPOS.POSPrinter", [&](auto &o) { return Call(o, L"Open", {L""}); }, 109},
        {"logical name of a missing key", L"OPOS.POSPrinter", [&](auto &o) { return Call(o, L"Open", {L"CoTestDangling"}); }, 109},
        {"key names no service object", L"OPOS.POSPrinter", [&](auto &o) { return Call(o, L"Open", {noService.Name()}); }, 104},
        {"service object not registered", L"OPOS.POSPrinter", [&](auto &o) { return Call(o, L"Open", {unregistered.Name()}); }, 104},
        {"ClaimDevice before Open", L"OPOS.POSPrinter", [&](auto &o) { return Call(o, L"ClaimDevice", {1000}); }, 101},
        {"PrintNormal before Open", L"OPOS.POSPrinter", [&](auto &o) { return Call(o, L"PrintNormal", {2, L"x"}); }, 101},
        {"Close before Open", L"OPOS.POSPrinter", [&](auto &o) { return Call(o, L"Close"); }, 101},
        {"CutPaper after Close", L"OPOS.POSPrinter", [&](auto &o) {
             EXPECT_EQ(0, Call(o, L"Open", {device.Name()}));
             EXPECT_EQ(0, Call(o, L"Close"));
             return Call(o, L"CutPaper", {100});
         }, 101},
        {"Open twice", L"OPOS.POSPrinter", [&](auto &o) {
             EXPECT_EQ(0, Call(o, L"Open", {device.Name()}));
             return Call(o, L"Open", {device.Name()});
         }, 106},
        {"cash drawer without a device", L"OPOS.CashDrawer", [&](auto &o) { return Call(o, L"Open", {L"CoTestNoSuchName"}); }, 109},
        {"cash drawer without its service object", L"OPOS.CashDrawer", [&](auto &o) { return Call(o, L"Open", {drawer.Name()}); }, 104},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        com::CDispatchCaller object;
        ASSERT_EQ(S_OK, object.Create(row.progId));
        EXPECT_EQ(row.rc, row.call(object));
        if (row.rc != 106) {   // the device stays open, and its ResultCode is the service object's
            EXPECT_EQ(row.rc, Number(object, L"ResultCode"));
        }
    }
}

TEST_F(StandIn, DispatchRulesOfTheHandWrittenInterface)
{
    const struct { const char *what; const wchar_t *name; WORD flags; std::vector<CDispArg> args; HRESULT hr; int badArg; } rows[] = {
        {"unknown member", L"Frobnicate", DISPATCH_METHOD, {}, DISP_E_UNKNOWNNAME, -1},
        {"too few arguments", L"PrintNormal", DISPATCH_METHOD, {2}, DISP_E_BADPARAMCOUNT, -1},
        {"too many arguments", L"Close", DISPATCH_METHOD, {1}, DISP_E_BADPARAMCOUNT, -1},
        {"text for a number", L"ClaimDevice", DISPATCH_METHOD, {L"soon"}, DISP_E_TYPEMISMATCH, 0},
        {"third of seven", L"PrintBarCode", DISPATCH_METHOD, {2, L"1", L"x", 1, 1, 1, 1}, DISP_E_TYPEMISMATCH, 2},
        {"digits for a number", L"ClaimDevice", DISPATCH_METHOD, {L"1000"}, S_OK, -1},
        {"names ignore case", L"cLAIMdEVICE", DISPATCH_METHOD, {1000}, S_OK, -1},
        {"method read as a property", L"Close", DISPATCH_PROPERTYGET, {}, DISP_E_MEMBERNOTFOUND, -1},
        {"property called as a method", L"ResultCode", DISPATCH_METHOD, {}, DISP_E_MEMBERNOTFOUND, -1},
        {"read-only property written", L"ResultCode", DISPATCH_PROPERTYPUT, {5}, DISP_E_MEMBERNOTFOUND, -1},
        {"text for a boolean", L"DeviceEnabled", DISPATCH_PROPERTYPUT, {L"maybe"}, DISP_E_TYPEMISMATCH, 0},
        {"number for a boolean", L"DeviceEnabled", DISPATCH_PROPERTYPUT, {7}, S_OK, -1},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        com::CVariant result;
        EXPECT_EQ(row.hr, co.Invoke(row.name, row.flags, row.args.data(), static_cast<UINT>(row.args.size()), &result));
        EXPECT_EQ(row.badArg, co.ErrorArgument());
    }
    // A put must name its value DISPID_PROPERTYPUT, as Basic does.
    DISPID id = 0;
    ASSERT_EQ(S_OK, co.GetId(L"DeviceEnabled", &id));
    CDispArg on(true);
    DISPPARAMS unnamed = {&on, nullptr, 1, 0};
    EXPECT_EQ(DISP_E_PARAMNOTOPTIONAL,
              co.Get()->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &unnamed, nullptr, nullptr, nullptr));
}

TEST_F(StandIn, PrinterStatusReachesTheApplication)
{
    ASSERT_EQ(0, Call(L"Open", {L"CoTestReceipt"}));
    ASSERT_EQ(0, Call(L"ClaimDevice", {1000}));
    ASSERT_EQ(0, Enable(true));
    const struct { const char *what; std::string packet; long rc, extended; bool coverOpen, recEmpty; } rows[] = {
        // what           packet                                   codes      CoverOpen RecEmpty
        {"cover open", std::string("\x20\0\0\0", 4), 114, 201, true, false},
        {"all clear", std::string("\0\0\0\0", 4), 0, 201, false, false},
        {"paper empty", std::string("\0\0\x0c\0", 4), 114, 203, false, true},
        {"both", std::string("\x20\0\x0c\0", 4), 114, 201, true, true},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        emu.Send(row.packet);
        EXPECT_TRUE(SeesCodes(co, row.rc, row.extended));
        EXPECT_EQ(row.coverOpen, Bool(co, L"CoverOpen"));
        EXPECT_EQ(row.recEmpty, Bool(co, L"RecEmpty"));
    }
    // The printer's state belongs to the claim.
    EXPECT_EQ(0, Call(L"ReleaseDevice"));
    EXPECT_FALSE(Bool(co, L"CoverOpen"));
    EXPECT_FALSE(Bool(co, L"RecEmpty"));
    EXPECT_EQ(0, Call(L"Close"));
}

// The print methods answer what they leave in ResultCode: on success, on a printer that takes
// nothing, and on an object that is not claimed.
TEST_F(StandIn, PrintMethodsAnswerTheirResultCode)
{
    PipePrinter stopped(PIPE_PRINTER_EXE, 1);   // the pipe holds one byte
    stopped.Stop();
    OposDevice pipeDevice(L"POSPrinter", L"CoTestPipePrinter", kServiceObjectProgId);
    pipeDevice.SetString(L"Port", stopped.PortName());
    ASSERT_TRUE(pipeDevice.Ok());

    struct Row { const char *what; const wchar_t *method; std::vector<CDispArg> args; };
    const Row rows[] = {
        {"PrintNormal", L"PrintNormal", {2, L"\x1b|bCHello\n"}},
        {"PrintImmediate", L"PrintImmediate", {2, L"raw"}},
        {"PrintBarCode", L"PrintBarCode", {2, L"12345678", 108, 80, 2, -2, -13}},
        {"CutPaper", L"CutPaper", {100}},
        {"TransactionPrint", L"TransactionPrint", {2, 12}},
    };
    auto call = [&](const Row &row) {
        com::CVariant answer;
        EXPECT_EQ(S_OK, co.Invoke(row.method, DISPATCH_METHOD, row.args.data(), static_cast<UINT>(row.args.size()), &answer));
        long rc = -1;
        EXPECT_EQ(S_OK, com::VariantToLong(answer, &rc));
        return rc;
    };
    const struct { const char *what; std::wstring device; bool claim; long rc, extended; } states[] = {
        {"claimed, the printer takes data", device.Name(), true, 0, 0},
        {"open, not claimed", device.Name(), false, 103, 0},
        {"claimed, the printer takes nothing", pipeDevice.Name(), true, 112, 0},
    };
    for (const auto &state : states) {
        SCOPED_TRACE(state.what);
        ASSERT_EQ(0, Call(L"Open", {state.device}));
        if (state.claim) {
            ASSERT_EQ(0, Call(L"ClaimDevice", {1000}));
        }
        for (const Row &row : rows) {
            SCOPED_TRACE(row.what);
            if (row.method == std::wstring(L"TransactionPrint") && state.claim) {
                EXPECT_EQ(0, Call(L"TransactionPrint", {2, 11}));
                EXPECT_EQ(0, Call(L"PrintNormal", {2, L"held"})) << "held for the transaction";
            }
            emu.Clear();
            EXPECT_EQ(state.rc, call(row));
            EXPECT_EQ(state.rc, Number(co, L"ResultCode"));
            EXPECT_EQ(state.extended, Number(co, L"ResultCodeExtended"));
            if (!state.claim) {
                EXPECT_EQ("", Got(0)) << "nothing is written";
            }
        }
        EXPECT_EQ(0, Call(L"Close"));
    }
}

// Without Close the stand-in closes the device itself: the service object's port, reader
// thread and event must go, and nothing may keep either module busy.
TEST_F(StandIn, DroppingTheLastReferenceWhileClaimedFreesThePort)
{
    auto claim = [&](com::CDispatchCaller &object) {
        EXPECT_EQ(S_OK, object.Create(L"OPOS.POSPrinter"));
        EXPECT_EQ(0, Call(object, L"Open", {L"CoTestReceipt"}));
        EXPECT_EQ(0, Call(object, L"ClaimDevice", {1000}));
    };
    co.Release();
    {
        com::CDispatchCaller warmUp;   // modules and type library loaded before counting
        claim(warmUp);
    }
    const long before = CountProcessHandles();
    ASSERT_GT(before, 0) << "the handle table cannot be read";
    {
        com::CDispatchCaller first;
        claim(first);
        EXPECT_GT(CountProcessHandles(), before);
    }
    EXPECT_EQ(before, CountProcessHandles());
    for (const wchar_t *module : {L"ControlObjectStandIn.dll", L"Malvistra.dll"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(module)));
        auto canUnload = reinterpret_cast<HRESULT(WINAPI *)()>(
            reinterpret_cast<void *>(GetProcAddress(GetModuleHandleW(module), "DllCanUnloadNow")));
        ASSERT_NE(nullptr, canUnload);
        EXPECT_EQ(S_OK, canUnload());
    }

    // Had the first reader survived, it would take these bytes from the second.
    com::CDispatchCaller second;
    claim(second);
    emu.Clear();
    emu.Send(std::string("\x20\0\0\0", 4));
    EXPECT_TRUE(SeesCodes(second, 114, 201));
    EXPECT_TRUE(Bool(second, L"CoverOpen"));
    EXPECT_EQ(0, Call(second, L"PrintNormal", {2, L"\x1b|bCHello\n"})) << "the run got out whole";
    EXPECT_EQ(Hex(kBoldHello), Hex(Got(kBoldHello.size())));
}

} // namespace
