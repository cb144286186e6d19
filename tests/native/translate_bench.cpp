// Throughput of the print data translator on 1 MiB of receipts: once as one call, once as
// one call per receipt (as PrintNormal sees them). Prints input MiB/s; the goal is 200.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "printbuffer.h"

namespace {

constexpr size_t kInputBytes = 1024 * 1024;
constexpr int kRounds = 200;
constexpr double kGoalMiBs = 200.0;

const std::string E = "\x1B|";

uint32_t g_seed = 12345;
uint32_t Next(uint32_t below)
{
    g_seed = g_seed * 1664525u + 1013904223u;
    return (g_seed >> 8) % below;
}

std::string Money(uint32_t cents)
{
    char text[32];
    std::snprintf(text, sizeof text, "%u.%02u", cents / 100, cents % 100);
    return text;
}

std::string Pad(const std::string &left, const std::string &right, size_t width)
{
    std::string line = left;
    if (line.size() + right.size() < width)
        line.append(width - line.size() - right.size(), ' ');
    return line + right;
}

std::string Receipt()
{
    static const char *const kItems[] = {"Caf\xE9 cr\xE8me",      "Croissant",    "Baguette tradition",
                                         "Eau min\xE9rale 50cl", "Jambon-beurre", "Tarte aux pommes",
                                         "Journal",             "Sac r\xE9utilisable"};
    std::string r;
    r += E + "cA" + E + "bC" + E + "2C" + "MAISON DU PAIN" + E + "N\n";
    r += E + "cA" + "12 rue des Lilas, 75011 Paris\n";
    r += E + "cA" + "Tel 01 23 45 67 89\n" + E + "lA";
    r += E + "2lF";
    uint32_t total = 0;
    const uint32_t lines = 3 + Next(12);
    for (uint32_t i = 0; i < lines; ++i)
    {
        const uint32_t qty = 1 + Next(4);
        const uint32_t price = 50 + Next(1500);
        total += qty * price;
        r += Pad(kItems[Next(8)], std::to_string(qty) + " x " + Money(price), 28) +
             Pad("", Money(qty * price), 14) + "\n";
    }
    r += std::string(42, '-') + "\n";
    r += E + "bC" + E + "2C" + Pad("TOTAL EUR", Money(total), 21) + E + "N\n";
    r += E + "uC" + "TVA 5,5%" + E + "N" + Pad("", Money(total * 55 / 1055), 34) + "\n";
    r += E + "1lF" + E + "cA" + "Merci de votre visite !\n";
    r += E + "cA" + E + "3vC" + "A BIENTOT" + E + "1C\n";
    r += E + "fP";
    return r;
}

double MiBs(size_t bytes, double seconds) { return bytes / (1024.0 * 1024.0) / seconds; }

template <typename Run>
void Measure(const char *what, const std::vector<uint8_t> &input, Run run)
{
    CPrintBuffer buffer;
    std::vector<double> seconds;
    size_t outBytes = 0;
    for (int round = -3; round < kRounds; ++round)
    {
        buffer.Clear();
        const auto start = std::chrono::steady_clock::now();
        run(buffer);
        const auto stop = std::chrono::steady_clock::now();
        outBytes = buffer.Pending().size();
        if (round >= 0)
            seconds.push_back(std::chrono::duration<double>(stop - start).count());
    }
    std::sort(seconds.begin(), seconds.end());
    const double median = MiBs(input.size(), seconds[seconds.size() / 2]);
    const double best = MiBs(input.size(), seconds.front());
    std::printf("%-22s in %.2f MiB, out %.2f MiB: median %.0f MiB/s, best %.0f MiB/s (goal >= %.0f: %s)\n",
                what, input.size() / (1024.0 * 1024.0), outBytes / (1024.0 * 1024.0), median, best,
                kGoalMiBs, median >= kGoalMiBs ? "met" : "NOT met");
}

} // namespace

int main()
{
    std::vector<uint8_t> input;
    std::vector<size_t> receiptEnds;
    while (input.size() < kInputBytes)
    {
        const std::string r = Receipt();
        const size_t take = std::min(r.size(), kInputBytes - input.size());
        input.insert(input.end(), r.begin(), r.begin() + static_cast<std::ptrdiff_t>(take));
        receiptEnds.push_back(input.size());
    }

    Measure("one call", input, [&](CPrintBuffer &buffer) {
        buffer.TranslatePrintData(static_cast<int32_t>(input.size()), input.data());
    });
    Measure("one call per receipt", input, [&](CPrintBuffer &buffer) {
        size_t from = 0;
        for (size_t end : receiptEnds)
        {
            buffer.TranslatePrintData(static_cast<int32_t>(end - from), input.data() + from);
            from = end;
        }
    });
    return 0;
}
