// The reader's Win32 side: new files for extracted items, and the debugger output for traces.
#include <windows.h>

#include "archivereader.h"
#include "tracemsg.h"

namespace {

class CWin32ItemFiles : public CItemFiles
{
public:
    CWin32ItemFiles() : m_file(INVALID_HANDLE_VALUE) {}
    ~CWin32ItemFiles() override { Close(); }

    uint32_t CreateNew(const std::wstring &path) override
    {
        Close();
        m_file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
        return m_file == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    }

    uint32_t Write(const uint8_t *data, size_t size, size_t *written) override
    {
        *written = 0;
        if (size == 0)
            return 0;
        if (size > MAXDWORD)
            return ERROR_INVALID_PARAMETER;
        DWORD done = 0;
        const BOOL ok = WriteFile(m_file, data, static_cast<DWORD>(size), &done, nullptr);
        *written = done;
        return ok ? 0 : GetLastError();
    }

    void Close() override
    {
        if (m_file != INVALID_HANDLE_VALUE)
            CloseHandle(m_file);
        m_file = INVALID_HANDLE_VALUE;
    }

    uint32_t Remove(const std::wstring &path) override
    {
        return DeleteFileW(path.c_str()) ? 0 : GetLastError();
    }

private:
    HANDLE m_file;
};

} // namespace

std::unique_ptr<CItemFiles> NewPlatformItemFiles()
{
    return std::unique_ptr<CItemFiles>(new CWin32ItemFiles());
}

void TraceToDebugger(const wchar_t *line)
{
    OutputDebugStringW(line);
}
