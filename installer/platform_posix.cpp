// The reader's side for native builds (tests and fuzzers on Linux): POSIX files, with the
// wide paths taken as UTF-16 code units and turned into UTF-8; traces to standard error.
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <unistd.h>

#include "archivereader.h"
#include "tracemsg.h"

namespace {

// Win32 numbering, as the reader's traces give it on every platform.
uint32_t Win32Error(int error)
{
    switch (error)
    {
    case ENOENT:
        return 3;    // ERROR_PATH_NOT_FOUND
    case EACCES:
        return 5;    // ERROR_ACCESS_DENIED
    case EEXIST:
        return 80;   // ERROR_FILE_EXISTS
    case ENOSPC:
        return 112;  // ERROR_DISK_FULL
    default:
        return 31;   // ERROR_GEN_FAILURE
    }
}

std::string Utf8(const std::wstring &path)
{
    std::string out;
    for (size_t i = 0; i < path.size(); ++i)
    {
        uint32_t c = static_cast<uint32_t>(path[i]) & 0xFFFF;
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < path.size())
        {
            const uint32_t low = static_cast<uint32_t>(path[i + 1]) & 0xFFFF;
            if (low >= 0xDC00 && low < 0xE000)
            {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if (c < 0x80)
        {
            out += static_cast<char>(c);
        }
        else if (c < 0x800)
        {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
        else if (c < 0x10000)
        {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
        else
        {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

class CPosixItemFiles : public CItemFiles
{
public:
    CPosixItemFiles() : m_fd(-1) {}
    ~CPosixItemFiles() override { Close(); }

    uint32_t CreateNew(const std::wstring &path) override
    {
        Close();
        m_fd = open(Utf8(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        return m_fd < 0 ? Win32Error(errno) : 0;
    }

    uint32_t Write(const uint8_t *data, size_t size, size_t *written) override
    {
        *written = 0;
        while (*written < size)
        {
            const ssize_t n = write(m_fd, data + *written, size - *written);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return n < 0 ? Win32Error(errno) : 0;
            *written += static_cast<size_t>(n);
        }
        return 0;
    }

    void Close() override
    {
        if (m_fd >= 0)
            close(m_fd);
        m_fd = -1;
    }

    uint32_t Remove(const std::wstring &path) override
    {
        return unlink(Utf8(path).c_str()) == 0 ? 0 : Win32Error(errno);
    }

private:
    int m_fd;
};

} // namespace

std::unique_ptr<CItemFiles> NewPlatformItemFiles()
{
    return std::unique_ptr<CItemFiles>(new CPosixItemFiles());
}

void TraceToDebugger(const wchar_t *line)
{
    std::fprintf(stderr, "%ls", line);
}
