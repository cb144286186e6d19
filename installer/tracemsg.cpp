// TraceMsg: bounded formatting, then the installed sink. Platform-free.
#include "tracemsg.h"

#include <atomic>
#include <cstdarg>
#include <cwchar>

namespace {

std::atomic<TraceSink> g_sink(nullptr);

} // namespace

TraceSink SetTraceSink(TraceSink sink)
{
    return g_sink.exchange(sink);
}

void TraceMsg(const wchar_t *format, ...)
{
    // On the caller's stack: the install worker traces while the dialog thread may too.
    wchar_t line[200];
    va_list args;
    va_start(args, format);
    const int n = std::vswprintf(line, sizeof(line) / sizeof(line[0]), format, args);
    va_end(args);
    // Truncation shows as a negative count (glibc, msvcrt) or as the full length (mingw-w64's
    // C99 formatter): either way the message did not fit.
    if (n < 0 || n >= static_cast<int>(sizeof(line) / sizeof(line[0])))
        return;
    line[n] = L'\0';
    const TraceSink sink = g_sink.load();
    if (sink != nullptr)
        sink(line);
    else
        TraceToDebugger(line);
}
