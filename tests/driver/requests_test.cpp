// The serial port requests that the driver answers from its emulated port state: round trips,
// first values, the size checks of every request, the line-control rules and unknown codes.
#include "test_util.h"

#include <winioctl.h>
typedef LARGE_INTEGER PHYSICAL_ADDRESS, *PPHYSICAL_ADDRESS;
#include <ntddser.h>

using namespace harness;

namespace {

const HRESULT kInvalidData = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
const HRESULT kTooSmall = HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);

std::string Line(int stopBits, int parity, int wordLength)
{
    return std::string{static_cast<char>(stopBits), static_cast<char>(parity), static_cast<char>(wordLength)};
}

std::string Timeouts(DWORD interval, DWORD multiplier, DWORD constant, DWORD writeMultiplier, DWORD writeConstant)
{
    SERIAL_TIMEOUTS t = {interval, multiplier, constant, writeMultiplier, writeConstant};
    return AsBytes(t);
}

class SerialRequests : public AddedPort
{
protected:
    // Sends a set request and expects it to succeed with no data.
    void Set(ULONG code, const std::string &input, const char *what)
    {
        Ref<Request> r = m_port->Control(code, &input, -1);
        EXPECT_EQ(S_OK, r->m_status) << what;
        EXPECT_EQ(0u, r->m_information) << what;
        EXPECT_EQ(1, r->m_completions) << what;
    }

    // Sends a get request with an output of `size` bytes; returns the bytes answered.
    std::string Get(ULONG code, long size)
    {
        Ref<Request> r = m_port->Control(code, nullptr, size);
        EXPECT_EQ(S_OK, r->m_status);
        EXPECT_EQ(static_cast<SIZE_T>(size), r->m_information);
        return OutputReturned(r.Get());
    }
};

} // namespace

TEST_F(SerialRequests, FirstValues)
{
    struct Row
    {
        const char *what;
        ULONG code;
        long size;
        std::string expected;
    };
    const Row rows[] = {
        {"baud rate", IOCTL_SERIAL_GET_BAUD_RATE, 4, AsBytes<ULONG>(9600)},
        {"line control", IOCTL_SERIAL_GET_LINE_CONTROL, 3, Line(0, 0, 8)},
        {"chars", IOCTL_SERIAL_GET_CHARS, 6, std::string("\0\0\0\0\x11\x13", 6)},
        {"handflow", IOCTL_SERIAL_GET_HANDFLOW, 16, AsBytes(SERIAL_HANDFLOW{0, 0, 2048, 512})},
        {"timeouts", IOCTL_SERIAL_GET_TIMEOUTS, 20, Timeouts(0, 0, 0, 0, 0)},
        {"wait mask", IOCTL_SERIAL_GET_WAIT_MASK, 4, AsBytes<ULONG>(0)},
        {"modem status", IOCTL_SERIAL_GET_MODEMSTATUS, 4, AsBytes<ULONG>(0xB0)},
        {"comm status", IOCTL_SERIAL_GET_COMMSTATUS, 20, std::string(20, '\0')},
        {"modem control", IOCTL_SERIAL_GET_MODEM_CONTROL, 4, AsBytes<ULONG>(0)},
        {"provider-specific configuration size", IOCTL_SERIAL_CONFIG_SIZE, 4, AsBytes<ULONG>(0)},
    };
    for (const Row &row : rows)
        EXPECT_EQ(row.expected, Get(row.code, row.size)) << row.what;
    // A wait with an empty wait mask has nothing to wait for: refused, as a serial port does.
    Ref<Request> r = m_port->Control(IOCTL_SERIAL_WAIT_ON_MASK, nullptr, 4);
    EXPECT_EQ(E_INVALIDARG, r->m_status);
    EXPECT_EQ(0u, r->m_information);
}

// GetCommProperties: the port described as it is, in the platform's layout (offsets written out
// as published, so that the answer is checked byte by byte and not through the same declaration).
TEST_F(SerialRequests, PropertiesDescribeThePort)
{
    Set(IOCTL_SERIAL_SET_QUEUE_SIZE, AsBytes(SERIAL_QUEUE_SIZE{1024, 8192}), "queue size");
    // More than the receive buffer keeps is kept as its bound; neither size is ever lowered.
    Set(IOCTL_SERIAL_SET_QUEUE_SIZE, AsBytes(SERIAL_QUEUE_SIZE{4u << 20, 0}), "queue size");
    const std::string answer = Get(IOCTL_SERIAL_GET_PROPERTIES, 64);
    ASSERT_EQ(64u, answer.size());
    auto word = [&](size_t offset) {
        USHORT v;
        memcpy(&v, answer.data() + offset, sizeof(v));
        return static_cast<ULONG>(v);
    };
    auto dword = [&](size_t offset) {
        ULONG v;
        memcpy(&v, answer.data() + offset, sizeof(v));
        return v;
    };
    struct Row
    {
        const char *what;
        size_t offset;
        bool isWord;
        ULONG expected;
    };
    const Row rows[] = {
        {"PacketLength", 0, true, 64},
        {"PacketVersion", 2, true, 2},
        {"ServiceMask: SP_SERIALCOMM", 4, false, 0x1},
        {"Reserved1", 8, false, 0},
        {"MaxTxQueue: none imposed", 12, false, 0},
        {"MaxRxQueue: the receive buffer's bound", 16, false, 1u << 20},
        {"MaxBaud: programmable", 20, false, 0x10000000},
        {"ProvSubType: RS-232", 24, false, 0x1},
        {"ProvCapabilities: total time-outs, no modem lines or flow control", 28, false, 0x40},
        {"SettableParams: parity, baud, data bits, stop bits", 32, false, 0x0F},
        {"SettableBaud: 75 to 128K and programmable", 36, false, 0x1007FFFF},
        {"SettableData: 5 to 8 bits", 40, true, 0x0F},
        {"SettableStopParity: 1, 1.5, 2 stop bits; none, odd, even, mark, space", 42, true, 0x1F07},
        {"CurrentTxQueue", 44, false, 8192},
        {"CurrentRxQueue: what the receive buffer keeps", 48, false, 1u << 20},
        {"ProvSpec1", 52, false, 0},
        {"ProvSpec2", 56, false, 0},
        {"ProvChar", 60, true, 0},
    };
    for (const Row &row : rows)
        EXPECT_EQ(row.expected, row.isWord ? word(row.offset) : dword(row.offset)) << row.what;
    EXPECT_EQ(0, answer[62]);   // the structure's padding: no stale bytes
    EXPECT_EQ(0, answer[63]);

    // A larger output gets the 64 bytes; a smaller one nothing.
    Ref<Request> r = m_port->Control(IOCTL_SERIAL_GET_PROPERTIES, nullptr, 100);
    EXPECT_EQ(S_OK, r->m_status);
    EXPECT_EQ(64u, r->m_information);
    EXPECT_EQ(answer, OutputReturned(r.Get()));
}

TEST_F(SerialRequests, SetThenGetRoundTrips)
{
    struct Row
    {
        const char *what;
        ULONG set;
        std::string value;
        ULONG get;
    };
    const Row rows[] = {
        {"baud rate", IOCTL_SERIAL_SET_BAUD_RATE, AsBytes<ULONG>(115200), IOCTL_SERIAL_GET_BAUD_RATE},
        {"timeouts", IOCTL_SERIAL_SET_TIMEOUTS, Timeouts(1, 2, 3, 4, 5), IOCTL_SERIAL_GET_TIMEOUTS},
        {"wait mask", IOCTL_SERIAL_SET_WAIT_MASK, AsBytes<ULONG>(0x1FF), IOCTL_SERIAL_GET_WAIT_MASK},
        {"chars", IOCTL_SERIAL_SET_CHARS, std::string("\x01\x02\x03\x04\x05\x06", 6), IOCTL_SERIAL_GET_CHARS},
        {"handflow", IOCTL_SERIAL_SET_HANDFLOW, AsBytes(SERIAL_HANDFLOW{1, 0x80, 100, 50}), IOCTL_SERIAL_GET_HANDFLOW},
        {"modem control", IOCTL_SERIAL_SET_MODEM_CONTROL, AsBytes<ULONG>(0x0B), IOCTL_SERIAL_GET_MODEM_CONTROL},
        {"line control 7E1", IOCTL_SERIAL_SET_LINE_CONTROL, Line(0, 2, 7), IOCTL_SERIAL_GET_LINE_CONTROL},
        {"line control 6O2", IOCTL_SERIAL_SET_LINE_CONTROL, Line(2, 1, 6), IOCTL_SERIAL_GET_LINE_CONTROL},
        {"read time-outs not all MAXDWORD", IOCTL_SERIAL_SET_TIMEOUTS, Timeouts(MAXDWORD, MAXDWORD, 500, 0, 0),
         IOCTL_SERIAL_GET_TIMEOUTS},
    };
    for (const Row &row : rows) {
        Set(row.set, row.value, row.what);
        EXPECT_EQ(row.value, Get(row.get, static_cast<long>(row.value.size()))) << row.what;
    }
    // Requests with nothing to read back still answer with no data.
    Set(IOCTL_SERIAL_SET_FIFO_CONTROL, AsBytes<ULONG>(0xC7), "fifo control");
    Set(IOCTL_SERIAL_SET_QUEUE_SIZE, AsBytes(SERIAL_QUEUE_SIZE{1024, 8192}), "queue size");
    Set(IOCTL_SERIAL_PURGE, AsBytes<ULONG>(0x0F), "purge");
}

// Every request of the table refuses a missing or too small buffer before it reads or changes
// anything: the output stays untouched and the state stays as it was.
TEST_F(SerialRequests, EveryRequestChecksItsBufferSizes)
{
    struct Row
    {
        const char *what;
        ULONG code;
        size_t in;
        long out;
    };
    const Row rows[] = {
        {"SET_BAUD_RATE", IOCTL_SERIAL_SET_BAUD_RATE, 4, 0},
        {"SET_QUEUE_SIZE", IOCTL_SERIAL_SET_QUEUE_SIZE, 8, 0},
        {"SET_LINE_CONTROL", IOCTL_SERIAL_SET_LINE_CONTROL, 3, 0},
        {"SET_TIMEOUTS", IOCTL_SERIAL_SET_TIMEOUTS, 20, 0},
        {"GET_TIMEOUTS", IOCTL_SERIAL_GET_TIMEOUTS, 0, 20},
        {"GET_WAIT_MASK", IOCTL_SERIAL_GET_WAIT_MASK, 0, 4},
        {"SET_WAIT_MASK", IOCTL_SERIAL_SET_WAIT_MASK, 4, 0},
        {"WAIT_ON_MASK", IOCTL_SERIAL_WAIT_ON_MASK, 0, 4},
        {"PURGE", IOCTL_SERIAL_PURGE, 4, 0},
        {"GET_BAUD_RATE", IOCTL_SERIAL_GET_BAUD_RATE, 0, 4},
        {"GET_LINE_CONTROL", IOCTL_SERIAL_GET_LINE_CONTROL, 0, 3},
        {"GET_CHARS", IOCTL_SERIAL_GET_CHARS, 0, 6},
        {"SET_CHARS", IOCTL_SERIAL_SET_CHARS, 6, 0},
        {"GET_HANDFLOW", IOCTL_SERIAL_GET_HANDFLOW, 0, 16},
        {"SET_HANDFLOW", IOCTL_SERIAL_SET_HANDFLOW, 16, 0},
        {"GET_MODEMSTATUS", IOCTL_SERIAL_GET_MODEMSTATUS, 0, 4},
        {"GET_COMMSTATUS", IOCTL_SERIAL_GET_COMMSTATUS, 0, 20},
        {"GET_MODEM_CONTROL", IOCTL_SERIAL_GET_MODEM_CONTROL, 0, 4},
        {"SET_MODEM_CONTROL", IOCTL_SERIAL_SET_MODEM_CONTROL, 4, 0},
        {"SET_FIFO_CONTROL", IOCTL_SERIAL_SET_FIFO_CONTROL, 4, 0},
        {"GET_PROPERTIES", IOCTL_SERIAL_GET_PROPERTIES, 0, 64},
        {"CONFIG_SIZE", IOCTL_SERIAL_CONFIG_SIZE, 0, 4},
        {"IMMEDIATE_CHAR", IOCTL_SERIAL_IMMEDIATE_CHAR, 1, 0},
    };
    // Inputs that would change the state if they were taken (the line control gets a valid
    // line, so only the size check can refuse it).
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        struct Case
        {
            const char *what;
            bool input;
            size_t inSize;
            long outSize;
            HRESULT expected;
        };
        std::vector<Case> cases;
        if (row.in > 0) {
            cases.push_back({"no input", false, 0, row.out, kInvalidData});
            cases.push_back({"input one byte short", true, row.in - 1, row.out, kTooSmall});
        }
        if (row.out > 0) {
            cases.push_back({"no output", row.in > 0, row.in, -1, kInvalidData});
            cases.push_back({"output one byte short", row.in > 0, row.in, row.out - 1, kTooSmall});
        }
        for (const Case &c : cases) {
            std::string input(c.inSize, '\x01');
            if (row.code == IOCTL_SERIAL_SET_LINE_CONTROL && c.inSize >= 2)
                input = Line(0, 1, 5).substr(0, c.inSize);
            Ref<Request> r = m_port->Control(row.code, c.input ? &input : nullptr, c.outSize);
            EXPECT_EQ(c.expected, r->m_status) << c.what;
            EXPECT_EQ(0u, r->m_information) << c.what;
            EXPECT_EQ(1, r->m_completions) << c.what;
            if (r->m_output) {
                EXPECT_EQ(std::string(r->m_output->m_bytes.size(), '\xCC'), Output(r.Get())) << c.what;
            }
            if (r->m_input) {
                EXPECT_EQ(0, r->m_input->m_reads) << c.what << ": input read";
            }
        }
    }
    // Nothing of the refused inputs arrived.
    EXPECT_EQ(AsBytes<ULONG>(9600), Get(IOCTL_SERIAL_GET_BAUD_RATE, 4));
    EXPECT_EQ(Line(0, 0, 8), Get(IOCTL_SERIAL_GET_LINE_CONTROL, 3));
    EXPECT_EQ(std::string("\0\0\0\0\x11\x13", 6), Get(IOCTL_SERIAL_GET_CHARS, 6));
    EXPECT_EQ(Timeouts(0, 0, 0, 0, 0), Get(IOCTL_SERIAL_GET_TIMEOUTS, 20));
    EXPECT_EQ(AsBytes<ULONG>(0), Get(IOCTL_SERIAL_GET_WAIT_MASK, 4));
    EXPECT_EQ(AsBytes<ULONG>(0), Get(IOCTL_SERIAL_GET_MODEM_CONTROL, 4));
}

// A refused line leaves the previous line in force.
TEST_F(SerialRequests, LineControlRules)
{
    struct Row
    {
        int stop, parity, word;
        HRESULT expected;
    };
    const Row rows[] = {
        // stop parity word  result
        {0, 0, 8, S_OK},
        {1, 0, 8, E_INVALIDARG},   // one and a half stop bits need five data bits
        {1, 0, 5, S_OK},
        {2, 0, 5, E_INVALIDARG},   // two stop bits need six to eight
        {2, 4, 8, S_OK},
        {0, 3, 6, S_OK},
        {0, 5, 8, E_INVALIDARG},   // no such parity
        {3, 0, 8, E_INVALIDARG},   // no such stop bits
        {0, 0, 4, E_INVALIDARG},
        {0, 0, 9, E_INVALIDARG},
        {0, 2, 7, S_OK},
    };
    std::string current = Line(0, 0, 8);
    for (const Row &row : rows) {
        std::string input = Line(row.stop, row.parity, row.word);
        Ref<Request> r = m_port->Control(IOCTL_SERIAL_SET_LINE_CONTROL, &input, -1);
        EXPECT_EQ(row.expected, r->m_status) << row.stop << "/" << row.parity << "/" << row.word;
        EXPECT_EQ(0u, r->m_information);
        if (row.expected == S_OK)
            current = input;
        EXPECT_EQ(current, Get(IOCTL_SERIAL_GET_LINE_CONTROL, 3)) << row.stop << "/" << row.parity << "/" << row.word;
    }
}

// Settings a serial port refuses leave the setting as it was.
TEST_F(SerialRequests, RefusedSettingsChangeNothing)
{
    struct Row
    {
        const char *what;
        ULONG set;
        std::string first, refused;
        ULONG get;
        HRESULT status;
    };
    const Row rows[] = {
        {"read time-outs all MAXDWORD", IOCTL_SERIAL_SET_TIMEOUTS, Timeouts(5, 6, 7, 8, 9),
         Timeouts(MAXDWORD, MAXDWORD, MAXDWORD, 1, 1), IOCTL_SERIAL_GET_TIMEOUTS, E_INVALIDARG},
        {"baud rate 0", IOCTL_SERIAL_SET_BAUD_RATE, AsBytes<ULONG>(19200), AsBytes<ULONG>(0), IOCTL_SERIAL_GET_BAUD_RATE,
         HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER)},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        Set(row.set, row.first, "first");
        std::string invalid = row.refused;
        Ref<Request> r = m_port->Control(row.set, &invalid, -1);
        EXPECT_EQ(row.status, r->m_status);
        EXPECT_EQ(row.first, Get(row.get, static_cast<long>(row.first.size())));
    }
}

// Requests the table does not know: the settings without output that SetCommState and
// EscapeCommFunction send (DTR, RTS, XON/XOFF, break) succeed with no effect; those that ask for
// data this port does not have fail, leaving the caller's buffer as it was.
TEST_F(SerialRequests, UnknownRequests)
{
    const HRESULT kNotSupported = HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);
    struct Row
    {
        const char *what;
        ULONG code;
        const char *input;   // null: no input
        long outputSize;     // < 0: no output
        HRESULT status;
    };
    const Row rows[] = {
        {"SET_DTR", 0x1B0024, nullptr, -1, S_OK},
        {"CLR_DTR", 0x1B0028, nullptr, -1, S_OK},
        {"SET_RTS", 0x1B0030, nullptr, -1, S_OK},
        {"CLR_RTS", 0x1B0034, nullptr, -1, S_OK},
        {"SET_XOFF", 0x1B0038, nullptr, -1, S_OK},
        {"SET_XON", 0x1B003C, nullptr, -1, S_OK},
        {"SET_BREAK_ON", 0x1B0010, nullptr, -1, S_OK},
        {"SET_BREAK_OFF", 0x1B0014, nullptr, -1, S_OK},
        {"an unknown code with input only", 0x12345678, "xyz", -1, S_OK},
        {"an unknown code with an empty output", 0x12345678, nullptr, 0, S_OK},
        {"GET_DTRRTS", 0x1B0078, nullptr, 4, kNotSupported},
        {"GET_STATS", 0x1B008C, nullptr, 16, kNotSupported},
        {"an unknown code with output", 0x2D0C00, "xyz", 8, kNotSupported},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        std::string input = row.input ? row.input : "";
        Ref<Request> r = m_port->Control(row.code, row.input ? &input : nullptr, row.outputSize);
        EXPECT_EQ(row.status, r->m_status);
        EXPECT_EQ(0u, r->m_information);
        EXPECT_EQ(1, r->m_completions);
        if (r->m_output) {
            EXPECT_EQ(std::string(r->m_output->m_bytes.size(), '\xCC'), Output(r.Get()));
        }
    }
}

// The device-id requests need the printer; with the port closed there is none.
TEST_F(SerialRequests, DeviceIdWithThePortClosed)
{
    Ref<Request> r = m_port->Control(0x16000C, nullptr, 100);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE), r->m_status);
    r = m_port->Control(0x160010, nullptr, -1);
    EXPECT_EQ(kInvalidData, r->m_status);
}
