// A printer at the far end of a named pipe, for ports that are not serial lines: the service
// object opens it as `\\.\pipe\<name>` (device key Port = `pipe\<name>`).
//
//   pipe_printer.exe <name> <buffer bytes>
//
// The pipe holds <buffer bytes> towards the printer, so a writer is held up as soon as the
// printer falls behind. The printer takes what arrives, at most at the rate it was given, and can
// stop. It serves one connection at a time and waits for the next when the writer closes.
//
// Commands on standard input, one a line; each is answered by one line "ok ..." on standard
// output once it holds:
//   rate N        take at most N bytes a second (0: as fast as they come)
//   stop          take nothing more
//   stopafter N   take N more bytes, then nothing
//   go            take again (ends stop and stopafter)
//   count         ok <bytes taken since the last clear>
//   rx            ok <hex of those bytes>
//   clear         forget the bytes taken
//   quit          end
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace {

std::mutex g_lock;
std::string g_taken;
unsigned g_rate = 0;        // bytes a second; 0 takes whatever is there
double g_credit = 0;        // bytes the rate allows now
DWORD g_creditAt = 0;
bool g_stopped = false;
bool g_limited = false;     // stopafter: g_left more bytes, then stop
size_t g_left = 0;

// Bytes the printer may take now; with the lock held.
size_t Allowance()
{
    if (g_stopped)
        return 0;
    size_t allowed = 65536;
    if (g_rate) {
        const DWORD now = GetTickCount();
        // At most a tenth of a second of credit builds up while nothing arrives; a rate-limited
        // printer takes at least 20 ms of its rate at a time.
        const double chunk = g_rate / 50 > 0 ? g_rate / 50 : 1;
        const double cap = chunk > g_rate / 10.0 ? chunk : g_rate / 10.0;
        g_credit += (now - g_creditAt) * g_rate / 1000.0;
        if (g_credit > cap)
            g_credit = cap;
        g_creditAt = now;
        allowed = g_credit >= chunk ? static_cast<size_t>(g_credit) : 0;
    }
    if (g_limited && allowed > g_left)
        allowed = g_left;
    return allowed;
}

DWORD WINAPI Serve(void *pipeHandle)
{
    HANDLE pipe = pipeHandle;
    static char buffer[65536];
    for (;;) {
        if (!ConnectNamedPipe(pipe, nullptr) && GetLastError() != ERROR_PIPE_CONNECTED) {
            Sleep(10);
            continue;
        }
        for (;;) {
            DWORD available = 0;
            if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr))
                break;   // the writer has gone
            std::unique_lock<std::mutex> lock(g_lock);
            size_t take = Allowance();
            if (take > available)
                take = available;
            if (take > sizeof(buffer))
                take = sizeof(buffer);
            if (take == 0) {
                lock.unlock();
                Sleep(5);
                continue;
            }
            DWORD got = 0;
            // Never blocks: the pipe holds at least this much.
            if (!ReadFile(pipe, buffer, static_cast<DWORD>(take), &got, nullptr))
                break;
            g_taken.append(buffer, got);
            if (g_rate)
                g_credit -= got;
            if (g_limited) {
                g_left -= got < g_left ? got : g_left;
                if (g_left == 0) {
                    g_stopped = true;
                    g_limited = false;
                }
            }
        }
        DisconnectNamedPipe(pipe);
    }
}

void Reply(const std::string &text)
{
    std::fputs(("ok" + (text.empty() ? "" : " " + text) + "\n").c_str(), stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: pipe_printer <name> <buffer bytes>\n");
        return 2;
    }
    const std::string path = std::string("\\\\.\\pipe\\") + argv[1];
    const DWORD bufferBytes = static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10));
    HANDLE pipe = CreateNamedPipeA(path.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT,
                                   1, bufferBytes, bufferBytes, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "CreateNamedPipe(%s) => %lu\n", path.c_str(), GetLastError());
        return 1;
    }
    _setmode(_fileno(stdout), _O_BINARY);   // lines end in LF alone
    g_creditAt = GetTickCount();
    HANDLE server = CreateThread(nullptr, 0, Serve, pipe, 0, nullptr);
    if (!server)
        return 1;
    Reply("ready");

    char line[256];
    while (std::fgets(line, sizeof(line), stdin)) {
        char command[32] = {};
        unsigned long n = 0;
        std::sscanf(line, "%31s %lu", command, &n);
        std::lock_guard<std::mutex> lock(g_lock);
        const std::string c = command;
        if (c == "rate") {
            g_rate = static_cast<unsigned>(n);
            g_credit = 0;
            g_creditAt = GetTickCount();
            Reply("");
        } else if (c == "stop") {
            g_stopped = true;
            g_limited = false;
            Reply("");
        } else if (c == "stopafter") {
            g_stopped = n == 0;
            g_limited = n != 0;
            g_left = n;
            Reply("");
        } else if (c == "go") {
            g_stopped = false;
            g_limited = false;
            Reply("");
        } else if (c == "count") {
            Reply(std::to_string(g_taken.size()));
        } else if (c == "rx") {
            static const char digits[] = "0123456789abcdef";
            std::string hex;
            hex.reserve(2 * g_taken.size());
            for (unsigned char b : g_taken) {
                hex += digits[b >> 4];
                hex += digits[b & 15];
            }
            Reply(hex);
        } else if (c == "clear") {
            g_taken.clear();
            Reply("");
        } else if (c == "quit") {
            Reply("");
            break;
        } else {
            std::fputs("err unknown command\n", stdout);
            std::fflush(stdout);
        }
    }
    return 0;   // the server thread ends with the process
}
