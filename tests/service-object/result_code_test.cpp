// Every outcome of a method reaches pRC and ResultCode alike, an allocation failure included.
#include "so_test_util.h"
#include "printer_emulator_client.h"

#include <atomic>
#include <cstdlib>
#include <functional>
#include <new>

namespace {
// While set, every allocation of this program fails as memory exhaustion would.
std::atomic<bool> g_failAllocations{false};
} // namespace

// The program's own allocation functions: new takes from malloc, so delete gives back to free
// (the compiler cannot see that pairing through a replaced operator new).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void *operator new(size_t size)
{
    if (g_failAllocations)
        throw std::bad_alloc();
    if (void *p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void *p) noexcept { std::free(p); }
void operator delete(void *p, size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace {

class OutOfMemory
{
public:
    OutOfMemory() { g_failAllocations = true; }
    ~OutOfMemory() { g_failAllocations = false; }
};

TEST(ResultCode, OutOfMemoryIsAFailureInPrcAndResultCode)
{
    PrinterEmulator emu(1);
    TestDeviceKey key(L"ResultCodeTest");
    key.SetSerialPort(emu.PortName());
    com::CBstr cls(L"POSPrinter"), name(key.Name().c_str());
    com::CBstr text(L"a line long enough to need memory of its own\n");

    using Call = std::function<void(CSOPOSPrinter &, long *)>;
    const struct { const char *what; bool claimed, enabled, hasRc; Call call; } rows[] = {
        // what          claimed enabled pRC   the call, made while no memory can be had
        {"OpenService", false, false, true,
         [&](CSOPOSPrinter &p, long *rc) { p.OpenService(cls.Get(), name.Get(), nullptr, rc); }},
        {"ClaimDevice", false, false, true, [](CSOPOSPrinter &p, long *rc) { p.ClaimDevice(0, rc); }},
        {"CheckHealth", true, true, true, [](CSOPOSPrinter &p, long *rc) { p.CheckHealth(1, rc); }},
        {"PrintNormal", true, false, true, [&](CSOPOSPrinter &p, long *rc) { p.PrintNormal(2, text.Get(), rc); }},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        PrinterPtr printer = NewPrinter();
        ASSERT_EQ(0, Open(*printer, L"POSPrinter", key.Name()));
        if (row.claimed) {
            ASSERT_EQ(0, Claim(*printer));
        }
        if (row.enabled)
            printer->SetPropertyNumber(3, 1);
        ASSERT_EQ(0, NumberProperty(*printer, 6));

        long rc = -1;
        {
            OutOfMemory noMemory;
            row.call(*printer, &rc);
        }
        if (row.hasRc) {
            EXPECT_EQ(111, rc);
        }
        EXPECT_EQ(111, NumberProperty(*printer, 6)) << "ResultCode";
        EXPECT_EQ(row.claimed, printer->IsClaimed());
    }
}

} // namespace
