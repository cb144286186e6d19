// The port setup's Win32 steps: work folder, extraction, INF patch, device console tool.
#include "portsetup.h"

#include <shlobj.h>
#include <shlwapi.h>

#include "tracemsg.h"

namespace {

// A kernel handle closed when it goes out of scope; invalid is the given empty value.
class CHandle
{
public:
    explicit CHandle(HANDLE handle, HANDLE empty) : m_handle(handle), m_empty(empty) {}
    ~CHandle()
    {
        if (m_handle != m_empty)
            CloseHandle(m_handle);
    }
    CHandle(const CHandle &) = delete;
    CHandle &operator=(const CHandle &) = delete;
    HANDLE Get() const { return m_handle; }
    bool Valid() const { return m_handle != m_empty; }

private:
    HANDLE m_handle;
    HANDLE m_empty;
};

class CMappedView
{
public:
    explicit CMappedView(void *view) : m_view(view) {}
    ~CMappedView()
    {
        if (m_view != nullptr)
            UnmapViewOfFile(m_view);
    }
    CMappedView(const CMappedView &) = delete;
    CMappedView &operator=(const CMappedView &) = delete;
    char *Get() const { return static_cast<char *>(m_view); }

private:
    void *m_view;
};

// How long the removal of a work folder is tried before it is left.
constexpr DWORD kRemoveTryMs = 1000;

void CreateFolder(HWND owner, const std::wstring &path)
{
    if (PathIsDirectoryW(path.c_str()))
        return;
    TraceMsg(L"create dir %ls\n", path.c_str());
    SHCreateDirectory(owner, path.c_str());
}

} // namespace

void GetArchName(std::wstring &arch)
{
    SYSTEM_INFO info = {};
    GetNativeSystemInfo(&info);
    arch = ArchNameOf(info.wProcessorArchitecture);
}

bool CWorkFolder::Create()
{
    m_path.clear();
    wchar_t temp[MAX_PATH];
    const DWORD length = GetTempPathW(MAX_PATH, temp);
    if (length == 0 || length >= MAX_PATH)
    {
        const DWORD error = length == 0 ? GetLastError() : ERROR_BUFFER_OVERFLOW;
        TraceMsg(L"GetTempPath fail![%u]\n", static_cast<unsigned>(error));
        return false;
    }
    wchar_t name[MAX_PATH];
    if (GetTempFileNameW(temp, L"vp", 0, name) == 0)
    {
        const DWORD error = GetLastError();
        TraceMsg(L"GetTempFileName fail![%u]\n", static_cast<unsigned>(error));
        return false;
    }
    // The unique name is all that is wanted: the file goes, the folder takes its name.
    DeleteFileW(name);
    if (!IsWorkFolderPath(name))
    {
        TraceMsg(L"no work folder: %ls\n", name);
        return false;
    }
    m_path = name;
    return true;
}

namespace {

DWORD DeleteTree(const std::wstring &folder);

// One entry of a folder being deleted, by its absolute path.
DWORD DeleteEntry(const std::wstring &path, DWORD attributes)
{
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
    {
        // A junction or folder link goes itself; what it points to is never entered.
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
            return RemoveDirectoryW(path.c_str()) ? 0 : GetLastError();
        return DeleteTree(path);
    }
    // A read-only file goes too, as the package's own files would under the shell's delete.
    if (attributes & FILE_ATTRIBUTE_READONLY)
    {
        const DWORD rest = attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
        SetFileAttributesW(path.c_str(), rest != 0 ? rest : FILE_ATTRIBUTE_NORMAL);
    }
    return DeleteFileW(path.c_str()) ? 0 : GetLastError();
}

// folder (absolute, fitting) with all it holds; stops at the first entry that cannot go.
DWORD DeleteTree(const std::wstring &folder)
{
    const std::wstring pattern = folder + L"\\*";
    if (!FitsMaxPath(pattern))
    {
        // No entry of it could be named: it goes when it is empty.
        if (RemoveDirectoryW(folder.c_str()))
            return 0;
        const DWORD error = GetLastError();
        return error == ERROR_DIR_NOT_EMPTY ? static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE) : error;
    }
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return GetLastError();
    DWORD error = 0;
    do
    {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..")
            continue;
        const std::wstring path = folder + L"\\" + name;
        error = FitsMaxPath(path) ? DeleteEntry(path, data.dwFileAttributes) : ERROR_FILENAME_EXCED_RANGE;
    } while (error == 0 && FindNextFileW(find, &data));
    FindClose(find);
    if (error != 0)
        return error;
    return RemoveDirectoryW(folder.c_str()) ? 0 : GetLastError();
}

} // namespace

DWORD DeleteFolderTree(const std::wstring &folder)
{
    if (!IsWorkFolderPath(folder))
        return ERROR_BAD_PATHNAME;
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
    {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 0 : error;
    }
    // A file of that name is not the work folder: it stays.
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return ERROR_DIRECTORY;
    return DeleteEntry(folder, attributes);
}

void CWorkFolder::Remove()
{
    if (m_path.empty())
        return;
    // A tool that has just ended may still hold its current folder (the architecture folder)
    // for a moment: the deletion is tried again for up to about a second. A path too long to
    // name does not get shorter: it is not tried again.
    const DWORD start = GetTickCount();
    DWORD error = 0;
    for (int attempt = 1;; ++attempt)
    {
        error = DeleteFolderTree(m_path);
        if (error == 0 || error == ERROR_FILENAME_EXCED_RANGE || error == ERROR_BAD_PATHNAME ||
            GetTickCount() - start >= kRemoveTryMs)
            break;
        TraceMsg(L"work folder still there, attempt %d\n", attempt);
        Sleep(50);
    }
    if (error != 0)
    {
        TraceMsg(L"delete work folder fail![%u]\n", static_cast<unsigned>(error));
        TraceMsg(L"work folder left: %ls\n", m_path.c_str());
    }
    m_path.clear();
}

bool ExtractPackage(CArchiveReader &reader, const std::wstring &workFolder,
                    const std::vector<std::wstring> &filter, HWND owner, const ItemDone &done)
{
    if (!IsWorkFolderPath(workFolder))
    {
        TraceMsg(L"no work folder\n");
        return false;
    }
    bool whole = true;
    const uint32_t count = reader.GetItemCount();
    for (uint32_t i = 0; i < count; ++i)
    {
        std::wstring name;
        reader.GetItemName(i, name);
        if (!NameMatches(name, filter))
            continue;
        const std::wstring path = ItemPath(workFolder, name);
        if (path.empty())
        {
            // Skipped, yet counted: progress follows the item list whatever is written. A name
            // too long for its path is traced by its length and start: the trace line holds
            // no more.
            if (IsSafeItemName(name))
                TraceMsg(L"skip item, path of %u characters: %.100ls\n",
                         static_cast<unsigned>(workFolder.size() + 1 + name.size()), name.c_str());
            else
                TraceMsg(L"skip item %ls\n", name.c_str());
            whole = false;
        }
        else if (reader.GetItem(i).isDir)
        {
            CreateFolder(owner, path);
        }
        else
        {
            CreateFolder(owner, path.substr(0, path.rfind(L'\\')));
            TraceMsg(L"extract file %ls\n", path.c_str());
            reader.ExtractItem(i, path);
        }
        if (done)
            done(i, count);
    }
    return whole;
}

bool PatchInf(const wchar_t *path, int portType)
{
    CHandle file(CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr),
                 INVALID_HANDLE_VALUE);
    if (!file.Valid())
    {
        const DWORD error = GetLastError();
        TraceMsg(L"Open inf fail: %8.8XH\n", static_cast<unsigned>(error));
        return false;
    }
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file.Get(), &size) || size.HighPart != 0)
    {
        TraceMsg(L"Open inf fail: %8.8XH\n", static_cast<unsigned>(ERROR_FILE_TOO_LARGE));
        return false;
    }
    // An empty file cannot be mapped: it fails here, as any other unmappable file does.
    CHandle mapping(CreateFileMappingW(file.Get(), nullptr, PAGE_READWRITE, 0, 0, nullptr),
                    nullptr);
    if (!mapping.Valid())
    {
        const DWORD error = GetLastError();
        TraceMsg(L"CreateFileMapping fail: %8.8XH\n", static_cast<unsigned>(error));
        return false;
    }
    CMappedView view(MapViewOfFile(mapping.Get(), FILE_MAP_WRITE, 0, 0, 0));
    if (view.Get() == nullptr)
    {
        const DWORD error = GetLastError();
        TraceMsg(L"MapViewOfFile fail: %8.8XH\n", static_cast<unsigned>(error));
        return false;
    }
    PatchInfText(view.Get(), size.LowPart, portType);
    return true;
}

bool RunTool(const std::wstring &commandLine, const std::wstring &folder,
             const wchar_t *startedTrace, DWORD *exitCode)
{
    *exitCode = 0xFFFFFFFF;
    if (commandLine.empty())
    {
        TraceMsg(L"CreateProcess fail![%u]\n", static_cast<unsigned>(ERROR_INVALID_PARAMETER));
        return false;
    }
    // CreateProcessW may write into the command line: a private, writable copy of all of it.
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        folder.c_str(), &startup, &process))
    {
        const DWORD error = GetLastError();
        TraceMsg(L"CreateProcess fail![%u]\n", static_cast<unsigned>(error));
        return false;
    }
    CHandle processHandle(process.hProcess, nullptr);
    CHandle threadHandle(process.hThread, nullptr);
    TraceMsg(L"%ls", startedTrace);
    WaitForSingleObject(process.hProcess, INFINITE);
    if (!GetExitCodeProcess(process.hProcess, exitCode))
        *exitCode = 0xFFFFFFFF;
    return true;
}
