// Timings of the service object's port layer against the printer emulator.
// Prints figures; asserts nothing.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "handle_count.h"
#include "immediate_port.h"
#include "printer_emulator_client.h"
#include "soposprinter.h"

namespace {

const wchar_t kKey[] = L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter\\BenchPrinter";

double Now()
{
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return 1000.0 * static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

void Report(const char *what, std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    double sum = 0;
    for (double v : ms)
        sum += v;
    std::printf("%-44s n=%3zu  median %8.2f ms  mean %8.2f ms  max %8.2f ms\n", what, ms.size(),
                ms[ms.size() / 2], sum / ms.size(), ms.back());
}

void WriteKey(const std::wstring &port)
{
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    RegSetValueExW(key, L"Port", 0, REG_SZ, reinterpret_cast<const BYTE *>(port.c_str()),
                   static_cast<DWORD>((port.size() + 1) * sizeof(wchar_t)));
    const DWORD values[] = {6, 1, 0, 1, 0};
    const wchar_t *names[] = {L"Baudrate", L"BitLength", L"Parity", L"Stop", L"HandShake"};
    for (int i = 0; i < 5; ++i)
        RegSetValueExW(key, names[i], 0, REG_DWORD, reinterpret_cast<const BYTE *>(&values[i]), 4);
    RegCloseKey(key);
}

using Printer = com::CComObject<CSOPOSPrinter>;

Printer *OpenPrinter()
{
    Printer *p = nullptr;
    Printer::CreateInstance(&p);
    p->AddRef();
    com::CBstr cls(L"POSPrinter"), name(L"BenchPrinter");
    long rc = 0;
    p->OpenService(cls.Get(), name.Get(), nullptr, &rc);
    return p;
}

} // namespace

int main()
{
    try {
        PrinterEmulator emu(0);
        WriteKey(emu.PortName());
        std::printf("printer emulator on %ls\n", emu.PortName().c_str());

        Printer *p = OpenPrinter();
        long rc = 0;

        std::vector<double> cycle;
        for (int i = 0; i < 50; ++i) {
            double t = Now();
            p->ClaimDevice(0, &rc);
            p->ReleaseDevice(&rc);
            cycle.push_back(Now() - t);
        }
        Report("claim + release cycle", cycle);

        std::vector<double> status;
        p->ClaimDevice(0, &rc);
        for (int i = 0; i < 20; ++i) {
            emu.Send(std::string("\0\0\0\0", 4));
            while (p->ResultCode() != 0)
                Sleep(1);
            Sleep(50);
            double t = Now();
            emu.Send(std::string("\x20\0\0\0", 4));
            while (p->ResultCode() != 114 && Now() - t < 5000)
                Sleep(1);
            status.push_back(Now() - t);
        }
        Report("status latency (cover open -> 114)", status);

        std::vector<double> release;
        for (int i = 0; i < 20; ++i) {
            p->ClaimDevice(0, &rc);
            Sleep(150 + 37 * i % 400);   // lands anywhere inside the reader's wait
            double t = Now();
            p->ReleaseDevice(&rc);
            release.push_back(Now() - t);
        }
        Report("release latency with a pending read", release);

        // The same two figures where reads end at once with what has arrived (Windows' port
        // with the reader's time-outs): the reader reads once a slice.
        {
            ImmediatePort port;
            Printer *w = OpenPrinter();
            port.Attach(*w);
            std::vector<double> wstatus;
            w->ClaimDevice(0, &rc);
            for (int i = 0; i < 20; ++i) {
                port.Arrive(std::string("\0\0\0\0", 4));
                for (double t = Now(); w->ResultCode() != 0 && Now() - t < 5000;)
                    Sleep(1);
                Sleep(50 + 37 * i % 500);   // lands anywhere inside the slice
                double t = Now();
                port.Arrive(std::string("\x20\0\0\0", 4));
                while (w->ResultCode() != 114 && Now() - t < 5000)
                    Sleep(1);
                wstatus.push_back(Now() - t);
            }
            port.TakeReadTicks();
            Sleep(3000);
            std::printf("%-44s %.1f reads a second\n", "idle reader, reads that end at once",
                        static_cast<double>(port.TakeReadTicks().size()) / 3.0);
            w->ReleaseDevice(&rc);
            Report("status latency, reads that end at once", wstatus);

            std::vector<double> wrelease;
            for (int i = 0; i < 20; ++i) {
                w->ClaimDevice(0, &rc);
                Sleep(150 + 37 * i % 400);
                double t = Now();
                w->ReleaseDevice(&rc);
                wrelease.push_back(Now() - t);
            }
            Report("release latency, reads that end at once", wrelease);
            w->Release();
        }

        // Printing: a 40-line, 42-column receipt per PrintNormal call, and transactions of
        // growing length, which must cost time in proportion to their lines.
        p->ClaimDevice(0, &rc);
        std::wstring line = L"\x1b|bCItem" + std::wstring(34, L'.') + L"\x1b|N12.34\n";
        std::wstring receipt;
        for (int i = 0; i < 40; ++i)
            receipt += line;
        com::CBstr receiptData(receipt.c_str());
        std::vector<double> normal;
        for (int i = 0; i < 50; ++i) {
            double t = Now();
            p->PrintNormal(2, receiptData.Get(), &rc);
            normal.push_back(Now() - t);
        }
        Report("PrintNormal, 40 lines of 42 columns", normal);

        // One run of 60 KB to a printer that takes data as fast as it comes: the call lasts
        // until the line has taken all but what it holds.
        std::wstring big;
        size_t runBytes = 0;   // each line feed goes out as 12 bytes
        for (int i = 0; runBytes < 60 * 1024; ++i) {
            const std::wstring text = L"Line " + std::to_wstring(i % 1000) + L" " + std::wstring(50, L'a' + i % 26);
            big += text + L"\n";
            runBytes += text.size() + 12;
        }
        com::CBstr bigData(big.c_str());
        std::vector<double> run60;
        for (int i = 0; i < 10; ++i) {
            emu.Clear();
            double t = Now();
            p->PrintNormal(2, bigData.Get(), &rc);
            run60.push_back(Now() - t);
            emu.WaitFor(runBytes, 10000);
        }
        emu.Clear();
        Report("PrintNormal, one 60 KB run", run60);

        com::CBstr lineData(line.c_str());
        for (int lines : {1, 10, 100, 1000}) {
            std::vector<double> tx;
            for (int rep = 0; rep < 5; ++rep) {
                emu.Clear();
                double t = Now();
                p->TransactionPrint(2, 11, &rc);
                for (int i = 0; i < lines; ++i)
                    p->PrintNormal(2, lineData.Get(), &rc);
                double built = Now();
                p->TransactionPrint(2, 12, &rc);
                tx.push_back(built - t);
            }
            char what[64];
            std::snprintf(what, sizeof(what), "transaction of %4d lines (building)", lines);
            Report(what, tx);
        }
        p->ReleaseDevice(&rc);

        p->Release();
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, kKey);
        return 0;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "bench: %s\n", e.what());
        return 1;
    }
}
