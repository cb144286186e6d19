// The port setup's Win32 steps: work folder, extraction, INF patch, device console tool.
#include "portsetup.h"

#include <shlobj.h>
#include <shlwapi.h>
#include <winternl.h>

#include <algorithm>
#include <cstddef>

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

// The handle-based file calls that Windows XP offers only through the native interface: an
// open relative to a folder's handle, a folder's listing, the name of an open handle, and
// setting attributes and the deletion (the handle-based Win32 calls for the last three came
// with Vista).
static_assert(FileBasicInformation == 4 && FileNameInformation == 9 &&
                  FileDispositionInformation == 13,
              "file information classes");
static_assert(sizeof(FILE_BASIC_INFORMATION) == 40 && offsetof(FILE_BASIC_INFORMATION, FileAttributes) == 32,
              "FILE_BASIC_INFORMATION layout");
static_assert(offsetof(FILE_NAME_INFORMATION, FileName) == 4, "FILE_NAME_INFORMATION layout");
static_assert(sizeof(FILE_DISPOSITION_INFORMATION) == 1, "FILE_DISPOSITION_INFORMATION layout");
static_assert(FileNamesInformation == 12 && offsetof(FILE_NAMES_INFORMATION, FileName) == 12,
              "FILE_NAMES_INFORMATION layout");

// A folder's listing through its handle (ntdll, as documented for drivers as ZwQueryDirectoryFile).
extern "C" NTSTATUS NTAPI NtQueryDirectoryFile(HANDLE file, HANDLE event, void *apcRoutine, void *apcContext,
                                               IO_STATUS_BLOCK *io, void *information, ULONG length,
                                               FILE_INFORMATION_CLASS informationClass,
                                               BOOLEAN returnSingleEntry, UNICODE_STRING *fileName,
                                               BOOLEAN restartScan);
constexpr NTSTATUS kStatusNoMoreFiles = static_cast<NTSTATUS>(0x80000006);

DeleteWalkHook g_deleteWalkHook = nullptr;

DWORD ErrorOf(NTSTATUS status)
{
    return status >= 0 ? 0 : RtlNtStatusToDosError(status);
}

// The handle's path below its volume ("\folder\name"), as the system resolved it. Empty when
// it cannot be had.
std::wstring HandleName(HANDLE handle)
{
    std::vector<BYTE> buffer(sizeof(ULONG) + 2048 * sizeof(wchar_t));
    IO_STATUS_BLOCK io = {};
    if (NtQueryInformationFile(handle, &io, buffer.data(), static_cast<ULONG>(buffer.size()),
                               FileNameInformation) < 0)
        return std::wstring();
    const FILE_NAME_INFORMATION *info = reinterpret_cast<const FILE_NAME_INFORMATION *>(buffer.data());
    const size_t length = std::min<size_t>(info->FileNameLength, buffer.size() - sizeof(ULONG));
    return std::wstring(info->FileName, length / sizeof(wchar_t));
}

// True when name ends in expected (all of name when whole), without regard to case.
bool NameIs(const std::wstring &name, const std::wstring &expected, bool whole)
{
    if (name.size() < expected.size() || (whole && name.size() != expected.size()))
        return false;
    return CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, name.c_str() + (name.size() - expected.size()),
                          static_cast<int>(expected.size()), expected.c_str(),
                          static_cast<int>(expected.size())) == CSTR_EQUAL;
}

DWORD DeleteEntry(HANDLE parent, const std::wstring &path, const std::wstring &expected,
                  std::wstring *left);

// Opens an entry itself for deletion: a link or junction is opened, not followed (backup
// semantics let folders open too), and nobody may delete or rename it while the handle is
// held. An entry of a held folder is opened by its name relative to that folder's handle,
// so no rename above the folder can lead the open elsewhere; the work folder (parent null)
// by its absolute path.
HANDLE OpenEntry(HANDLE parent, const std::wstring &path, DWORD *error)
{
    const DWORD access = DELETE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE;
    const DWORD sharing = FILE_SHARE_READ | FILE_SHARE_WRITE;
    HANDLE handle = INVALID_HANDLE_VALUE;
    if (parent == nullptr)
    {
        handle = CreateFileW(path.c_str(), access, sharing, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        *error = handle == INVALID_HANDLE_VALUE ? GetLastError() : 0;
        return handle;
    }
    std::wstring name = path.substr(path.rfind(L'\\') + 1);
    UNICODE_STRING objectName;
    objectName.Buffer = &name[0];
    objectName.Length = objectName.MaximumLength = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &objectName, OBJ_CASE_INSENSITIVE, parent, nullptr);
    IO_STATUS_BLOCK io = {};
    *error = ErrorOf(NtCreateFile(&handle, access, &attributes, &io, nullptr, 0, sharing, FILE_OPEN,
                                  FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_FOR_BACKUP_INTENT |
                                      FILE_OPEN_REPARSE_POINT,
                                  nullptr, 0));
    return *error == 0 ? handle : INVALID_HANDLE_VALUE;
}

// Every entry of the folder at path, listed through its held handle (called name), never by
// its path; stops at the first entry that cannot go.
DWORD DeleteEntries(HANDLE folder, const std::wstring &path, const std::wstring &name, std::wstring *left)
{
    std::vector<ULONGLONG> buffer(8192);
    const ULONG size = static_cast<ULONG>(buffer.size() * sizeof(buffer[0]));
    for (BOOLEAN restart = TRUE;; restart = FALSE)
    {
        IO_STATUS_BLOCK io = {};
        const NTSTATUS status = NtQueryDirectoryFile(folder, nullptr, nullptr, nullptr, &io, buffer.data(), size,
                                                     FileNamesInformation, FALSE, nullptr, restart);
        if (status == kStatusNoMoreFiles)
            return 0;
        if (status < 0)
            return ErrorOf(status);
        const BYTE *at = reinterpret_cast<const BYTE *>(buffer.data());
        for (;;)
        {
            const FILE_NAMES_INFORMATION *info = reinterpret_cast<const FILE_NAMES_INFORMATION *>(at);
            const std::wstring entry(info->FileName, info->FileNameLength / sizeof(wchar_t));
            if (entry != L"." && entry != L"..")
            {
                const std::wstring entryPath = path + L"\\" + entry;
                if (!FitsMaxPath(entryPath))
                {
                    if (left->empty())
                        *left = entryPath;
                    return ERROR_FILENAME_EXCED_RANGE;
                }
                // The entry may be swapped from here on: the listing tells nothing of what it is.
                if (g_deleteWalkHook != nullptr)
                    g_deleteWalkHook(entryPath);
                const DWORD error = DeleteEntry(folder, entryPath, name + L"\\" + entry, left);
                if (error != 0)
                    return error;
            }
            if (info->NextEntryOffset == 0)
                break;
            at += info->NextEntryOffset;
        }
    }
}

// The entry at path itself (of the held folder parent, or the work folder when parent is
// null), and all it holds when it is a folder. Once open (OpenEntry) it can be neither renamed
// nor replaced, and the handle tells what it is: a folder is entered, anything else (a file, a
// link, a junction) goes itself. The handle must be called expected (the work folder's need
// only end in it): the system resolved no link on the way. From the open on, the entry is
// reached only through its handle.
DWORD DeleteEntry(HANDLE parent, const std::wstring &path, const std::wstring &expected,
                  std::wstring *left)
{
    const bool root = parent == nullptr;
    DWORD error = 0;
    CHandle entry(OpenEntry(parent, path, &error), INVALID_HANDLE_VALUE);
    BY_HANDLE_FILE_INFORMATION info = {};
    std::wstring name;
    bool unnamed = false;
    if (error == 0 && !GetFileInformationByHandle(entry.Get(), &info))
        error = GetLastError();
    const bool folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (error == 0 && !NameIs(name = HandleName(entry.Get()), expected, !root))
    {
        // Wine follows a Unix link even when told not to, and the handle is then the link's
        // target: nothing of it may go, and the link itself cannot be named.
        error = kErrorFollowedLink;
    }
    else if (error == 0 && folder && !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
    {
        // A folder whose entries could not be named goes only when it is empty.
        unnamed = !FitsMaxPath(path + L"\\*");
        if (!unnamed)
            error = DeleteEntries(entry.Get(), path, name, left);
    }
    else if (error == 0 && root && !folder)
    {
        // A file of the work folder's name is not the work folder: it stays.
        error = ERROR_DIRECTORY;
    }
    if (error == 0 && (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY))
    {
        // A read-only file goes too, as the package's own files would under the shell's delete.
        FILE_BASIC_INFORMATION basic = {};
        basic.FileAttributes = info.dwFileAttributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
        if (basic.FileAttributes == 0)
            basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        IO_STATUS_BLOCK io = {};
        error = ErrorOf(NtSetInformationFile(entry.Get(), &io, &basic, sizeof(basic), FileBasicInformation));
    }
    if (error == 0)
    {
        // Gone when the handle closes.
        FILE_DISPOSITION_INFORMATION disposition = {TRUE};
        IO_STATUS_BLOCK io = {};
        error = ErrorOf(NtSetInformationFile(entry.Get(), &io, &disposition, sizeof(disposition),
                                             FileDispositionInformation));
        if (unnamed && error == ERROR_DIR_NOT_EMPTY)
            error = ERROR_FILENAME_EXCED_RANGE;
    }
    if (error != 0 && left->empty())
        *left = path;
    return error;
}

} // namespace

DeleteWalkHook SetDeleteWalkHook(DeleteWalkHook hook)
{
    const DeleteWalkHook previous = g_deleteWalkHook;
    g_deleteWalkHook = hook;
    return previous;
}

DWORD DeleteFolderTree(const std::wstring &folder, std::wstring *left)
{
    std::wstring unused;
    if (left == nullptr)
        left = &unused;
    left->clear();
    if (!IsWorkFolderPath(folder))
        return ERROR_BAD_PATHNAME;
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
    {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 0 : error;
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return ERROR_DIRECTORY;
    // The folder's own handle is checked for its last name only: the path above it is the
    // caller's, perhaps in short names.
    return DeleteEntry(nullptr, folder, folder.substr(folder.find_last_of(L"\\/")), left);
}

void CWorkFolder::Remove()
{
    if (m_path.empty())
        return;
    // A tool that has just ended may still hold its current folder (the architecture folder)
    // for a moment: the deletion is tried again for up to about a second. A path too long to
    // name does not get shorter, and a link that the system follows does not go: neither is
    // tried again.
    const DWORD start = GetTickCount();
    DWORD error = 0;
    std::wstring left;
    for (int attempt = 1;; ++attempt)
    {
        error = DeleteFolderTree(m_path, &left);
        if (error == 0 || error == ERROR_FILENAME_EXCED_RANGE || error == ERROR_BAD_PATHNAME ||
            error == kErrorFollowedLink || GetTickCount() - start >= kRemoveTryMs)
            break;
        TraceMsg(L"work folder still there, attempt %d\n", attempt);
        Sleep(50);
    }
    if (error != 0)
    {
        TraceMsg(L"delete work folder fail![%u]\n", static_cast<unsigned>(error));
        if (!left.empty())
            TraceMsg(L"entry left: %ls\n", left.c_str());
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
