#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0501
#endif
#include "printer_emulator_client.h"

#include <winsock2.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace {

void StartWinsock() {
    // Never paired with WSACleanup: sockets may outlive any one test, and
    // process exit releases Winsock anyway.
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    if (!started) throw std::runtime_error("printer emulator: WSAStartup failed");
}

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

SOCKET Connect() {
    StartWinsock();
    const std::string port = Env("POSEMU_PORT");
    const int number = std::atoi(port.c_str());
    if (number <= 0 || number > 65535)
        throw std::runtime_error("printer emulator: POSEMU_PORT not set (run under wine-run.sh)");
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) throw std::runtime_error("printer emulator: socket() failed");
    sockaddr_in addr;
    std::memset(&addr, 0, sizeof addr);
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<u_short>(number));
    addr.sin_addr.s_addr = inet_addr("127.0.0.1");
    if (connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        const int error = WSAGetLastError();
        closesocket(s);
        throw std::runtime_error("printer emulator: cannot connect to 127.0.0.1:" + port +
                                 ", error " + std::to_string(error));
    }
    // Strict request/reply: every command must leave at once.
    BOOL on = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    return s;
}

std::string ToHex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

int Nibble(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Value of "key=" in a space-separated key=value reply; empty when absent.
std::string Field(const std::string& reply, const std::string& key) {
    const std::string needle = key + "=";
    size_t at = 0;
    while ((at = reply.find(needle, at)) != std::string::npos) {
        if (at == 0 || reply[at - 1] == ' ') {
            const size_t start = at + needle.size();
            return reply.substr(start, reply.find(' ', start) - start);
        }
        at += needle.size();
    }
    return "";
}

}  // namespace

bool PrinterEmulator::Available() {
    try {
        closesocket(Connect());
        return true;
    } catch (const std::runtime_error&) {
        return false;
    }
}

PrinterEmulator::PrinterEmulator(int index) : index_(index), socket_(Connect()) {}

PrinterEmulator::~PrinterEmulator() {
    if (socket_ != INVALID_SOCKET) closesocket(static_cast<SOCKET>(socket_));
}

std::wstring PrinterEmulator::PortName() const {
    const std::string coms = Env("POSEMU_COMS");
    size_t start = 0;
    for (int i = 0; i < index_ && start != std::string::npos; ++i) {
        start = coms.find(',', start);
        if (start != std::string::npos) ++start;
    }
    if (index_ < 0 || start == std::string::npos || start >= coms.size())
        throw std::runtime_error("printer emulator: no COM name for printer " +
                                 std::to_string(index_) + " in POSEMU_COMS='" + coms + "'");
    const std::string name = coms.substr(start, coms.find(',', start) - start);
    return std::wstring(name.begin(), name.end());
}

std::wstring PrinterEmulator::DevicePath() const { return L"\\\\.\\" + PortName(); }

std::string PrinterEmulator::Command(const std::string& command, unsigned replyTimeoutMs) {
    const SOCKET s = static_cast<SOCKET>(socket_);
    const std::string line = command + "\n";
    auto fail = [&](const std::string& why) {
        return std::runtime_error("printer emulator: '" + command.substr(0, 200) + "' -> " + why);
    };
    // After a transport failure a late reply could be taken for the next
    // command's, so the connection is dropped and every later command fails.
    auto broken = [&](const std::string& why) {
        closesocket(s);
        socket_ = INVALID_SOCKET;
        return fail(why);
    };
    for (size_t sent = 0; sent < line.size();) {
        const int n = send(s, line.data() + sent, static_cast<int>(line.size() - sent), 0);
        if (n <= 0) throw broken("send failed, error " + std::to_string(WSAGetLastError()));
        sent += static_cast<size_t>(n);
    }
    DWORD timeout = replyTimeoutMs;
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    // One reply line per command, and commands are not pipelined, so
    // everything up to the first newline is this command's reply.
    std::string reply;
    std::vector<char> buffer(65536);
    for (;;) {
        const int n = recv(s, buffer.data(), static_cast<int>(buffer.size()), 0);
        if (n == 0) throw broken("connection closed");
        if (n < 0) throw broken("no reply, error " + std::to_string(WSAGetLastError()));
        reply.append(buffer.data(), static_cast<size_t>(n));
        if (reply.back() == '\n') break;
    }
    reply.pop_back();
    if (reply == "OK") return "";
    if (reply.compare(0, 3, "OK ") == 0) return reply.substr(3);
    throw fail("'" + reply + "'");
}

std::string PrinterEmulator::Received() {
    const std::string hex = Command("rx " + std::to_string(index_));
    std::string bytes;
    bytes.reserve(hex.size() / 2);
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        const int hi = Nibble(hex[i]), lo = Nibble(hex[i + 1]);
        if (hi < 0 || lo < 0) throw std::runtime_error("printer emulator: bad hex in rx reply");
        bytes += static_cast<char>(hi << 4 | lo);
    }
    if (hex.size() % 2) throw std::runtime_error("printer emulator: odd-length rx reply");
    return bytes;
}

size_t PrinterEmulator::Count() {
    return std::strtoul(Command("count " + std::to_string(index_)).c_str(), nullptr, 10);
}

void PrinterEmulator::Clear() { Command("clear " + std::to_string(index_)); }

void PrinterEmulator::Send(const std::string& bytes) {
    Command("send " + std::to_string(index_) + " " + ToHex(bytes));
}

void PrinterEmulator::Stall(bool on) {
    Command("stall " + std::to_string(index_) + (on ? " 1" : " 0"));
}

void PrinterEmulator::SetRate(unsigned bytesPerSecond) {
    Command("rate " + std::to_string(index_) + " " + std::to_string(bytesPerSecond));
}

PrinterEmulator::Line PrinterEmulator::LineSettings() {
    const std::string reply = Command("line " + std::to_string(index_));
    const std::string parity = Field(reply, "parity");
    Line line;
    line.baud = std::atoi(Field(reply, "baud").c_str());
    line.bits = std::atoi(Field(reply, "bits").c_str());
    line.parity = parity.empty() ? '?' : parity[0];
    line.stop = std::atoi(Field(reply, "stop").c_str());
    line.rtscts = Field(reply, "rtscts") == "1";
    return line;
}

std::wstring PrinterEmulator::AliasName() {
    const std::string name = Command("alias " + std::to_string(index_));
    return std::wstring(name.begin(), name.end());
}

bool PrinterEmulator::FramingObservable() { return Field(Command("caps"), "framing") == "1"; }

size_t PrinterEmulator::LineBuffer() {
    return std::strtoul(Field(Command("caps"), "linebuf").c_str(), nullptr, 10);
}

size_t PrinterEmulator::WaitFor(size_t n, unsigned ms) {
    const std::string reply = Command(
        "wait " + std::to_string(index_) + " " + std::to_string(n) + " " + std::to_string(ms),
        ms > 3600000u ? ms : ms + 30000u);
    return std::strtoul(reply.c_str(), nullptr, 10);
}
