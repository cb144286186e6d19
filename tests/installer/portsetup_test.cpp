// The port setup's Win32 steps under Wine: the work folder, extracting the architecture's part
// of a real package, switching the INF file, starting the device console tool (a stand-in
// that records how it was started), and the trace.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "archivereader.h"
#include "portsetup.h"
#include "tracemsg.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::wstring Widen(const char *utf8)
{
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, &out[0], n);
    out.resize(static_cast<size_t>(n - 1));
    std::replace(out.begin(), out.end(), L'/', L'\\');
    return out;
}

const std::wstring kArchives = Widen(TEST_ARCHIVES);

Bytes ReadAll(const std::wstring &path)
{
    Bytes bytes;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return bytes;
    bytes.resize(GetFileSize(h, nullptr));
    DWORD read = 0;
    if (!bytes.empty())
        ReadFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    CloseHandle(h);
    bytes.resize(read);
    return bytes;
}

std::wstring ReadText(const std::wstring &path)
{
    const Bytes bytes = ReadAll(path);
    return std::wstring(reinterpret_cast<const wchar_t *>(bytes.data()), bytes.size() / sizeof(wchar_t));
}

void WriteAll(const std::wstring &path, const std::string &bytes)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    if (!bytes.empty())
        WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
}

std::vector<std::wstring> g_traces;

void RecordTrace(const wchar_t *line)
{
    g_traces.push_back(line);
}

bool Traced(const std::wstring &line)
{
    return std::find(g_traces.begin(), g_traces.end(), line) != g_traces.end();
}

bool TracedStartingWith(const std::wstring &start)
{
    for (const std::wstring &line : g_traces)
    {
        if (line.compare(0, start.size(), start) == 0)
            return true;
    }
    return false;
}

// Every file below folder, as relative paths with "\".
void ListFiles(const std::wstring &folder, const std::wstring &prefix, std::vector<std::wstring> &out)
{
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do
    {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..")
            continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        {
            out.push_back(prefix + name + L"\\");
            ListFiles(folder + L"\\" + name, prefix + name + L"\\", out);
        }
        else
        {
            out.push_back(prefix + name);
        }
    } while (FindNextFileW(find, &data));
    FindClose(find);
    std::sort(out.begin(), out.end());
}

std::vector<std::wstring> Files(const std::wstring &folder)
{
    std::vector<std::wstring> out;
    ListFiles(folder, L"", out);
    std::sort(out.begin(), out.end());
    return out;
}

// Opens an archive made at build time; the bytes stay with the fixture.
class PortSetup : public ::testing::Test
{
protected:
    void SetUp() override
    {
        g_traces.clear();
        m_previousSink = SetTraceSink(RecordTrace);
    }
    void TearDown() override { SetTraceSink(m_previousSink); }

    void OpenArchive(CArchiveReader &reader, const wchar_t *name)
    {
        m_archive = ReadAll(kArchives + L"\\" + name);
        ASSERT_FALSE(m_archive.empty()) << "no archive " << name;
        reader.Open(m_archive.data(), static_cast<uint32_t>(m_archive.size()));
    }

    Bytes m_archive;
    TraceSink m_previousSink = nullptr;
};

// Sets an environment variable for one scope.
class ScopedEnv
{
public:
    ScopedEnv(const wchar_t *name, const std::wstring &value) : m_name(name)
    {
        wchar_t old[4096];
        const DWORD n = GetEnvironmentVariableW(name, old, 4096);
        m_had = n > 0 && n < 4096;
        if (m_had)
            m_old.assign(old, n);
        SetEnvironmentVariableW(name, value.c_str());
    }
    ~ScopedEnv() { SetEnvironmentVariableW(m_name, m_had ? m_old.c_str() : nullptr); }

private:
    const wchar_t *m_name;
    bool m_had = false;
    std::wstring m_old;
};

// The work folders of these tests go to a temporary folder of their own: other tests watch
// the shared one for work folders left behind, and run at the same time.
class PrivateTemp : public ::testing::Environment
{
public:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        m_folder = std::wstring(temp) + L"installer-setup-tests-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(m_folder.c_str(), nullptr);
        SetEnvironmentVariableW(L"TMP", m_folder.c_str());
        SetEnvironmentVariableW(L"TEMP", m_folder.c_str());
    }
    void TearDown() override { DeleteFolderTree(m_folder); }

private:
    std::wstring m_folder;
};

::testing::Environment *const g_privateTemp = ::testing::AddGlobalTestEnvironment(new PrivateTemp);

bool Exists(const std::wstring &path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The current folder of a run, holding files and a folder of its own: none of it may go.
class CurrentFolder
{
public:
    CurrentFolder()
    {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        m_path = std::wstring(temp) + L"current-folder";
        CreateDirectoryW(m_path.c_str(), nullptr);
        CreateDirectoryW((m_path + L"\\sub").c_str(), nullptr);
        WriteAll(m_path + L"\\keep.txt", "the user's file\r\n");
        WriteAll(m_path + L"\\sub\\inner.txt", "and another\r\n");
        wchar_t previous[MAX_PATH] = {};
        GetCurrentDirectoryW(MAX_PATH, previous);
        m_previous = previous;
        SetCurrentDirectoryW(m_path.c_str());
        m_before = Files(m_path);
    }
    ~CurrentFolder()
    {
        SetCurrentDirectoryW(m_previous.c_str());
        DeleteFolderTree(m_path);
    }
    CurrentFolder(const CurrentFolder &) = delete;
    CurrentFolder &operator=(const CurrentFolder &) = delete;

    // Every file and folder that was there is there still, with nothing new.
    bool Kept() const { return m_before.size() == 3 && Files(m_path) == m_before; }

private:
    std::wstring m_path;
    std::wstring m_previous;
    std::vector<std::wstring> m_before;
};

// --- Trace -----------------------------------------------------------------------------------

TEST_F(PortSetup, TraceDropsWhatDoesNotFit)
{
    const struct
    {
        size_t length;
        bool output;
    } rows[] = {
        // message length  output
        {0, true},
        {198, true},
        {199, true},
        {200, false},
        {201, false},
        {1000, false},
    };
    for (const auto &row : rows)
    {
        g_traces.clear();
        const std::wstring message(row.length, L'm');
        TraceMsg(L"%ls", message.c_str());
        ASSERT_EQ(g_traces.size(), row.output ? 1u : 0u) << row.length;
        if (row.output)
        {
            EXPECT_TRUE(g_traces[0] == message) << row.length;
        }
    }
    g_traces.clear();
    TraceMsg(L"Open inf fail: %8.8XH\n", 3u);
    TraceMsg(L"create dir %ls\n", L"C:\\x\\驱动");
    TraceMsg(L"CreateProcess fail![%u]\n", 2u);
    ASSERT_EQ(g_traces.size(), 3u);
    EXPECT_TRUE(g_traces[0] == L"Open inf fail: 00000003H\n");
    EXPECT_TRUE(g_traces[1] == L"create dir C:\\x\\驱动\n");
    EXPECT_TRUE(g_traces[2] == L"CreateProcess fail![2]\n");
}

// --- Work folder -----------------------------------------------------------------------------

TEST_F(PortSetup, WorkFolderIsAFreshNameInTheTemporaryFolder)
{
    wchar_t temp[MAX_PATH];
    const DWORD n = GetTempPathW(MAX_PATH, temp);
    ASSERT_GT(n, 0u);

    CWorkFolder first, second;
    ASSERT_TRUE(first.Create());
    ASSERT_TRUE(second.Create());
    for (const CWorkFolder *folder : {&first, &second})
    {
        const std::wstring &path = folder->Path();
        EXPECT_EQ(path.compare(0, n, temp), 0);
        EXPECT_EQ(path.compare(n, 2, L"vp"), 0);
        // Only the name is reserved: the folder appears with the first item.
        EXPECT_FALSE(PathFileExistsW(path.c_str()));
    }
    EXPECT_NE(first.Path(), second.Path());
}

TEST_F(PortSetup, NoWorkFolderStopsBeforeExtracting)
{
    const struct
    {
        std::wstring temp;
        const wchar_t *trace;
    } rows[] = {
        // TMP and TEMP                             trace
        {L"C:\\no-such-folder-for-pelkrane", L"GetTempFileName fail!["},
        {L"C:\\" + std::wstring(300, L't'), L"GetTemp"},
    };
    for (const auto &row : rows)
    {
        g_traces.clear();
        CArchiveReader reader;
        OpenArchive(reader, L"package.7z");
        {
            ScopedEnv tmp(L"TMP", row.temp);
            ScopedEnv temp(L"TEMP", row.temp);
            ScopedEnv profile(L"USERPROFILE", row.temp);
            CWorkFolder folder;
            EXPECT_FALSE(folder.Create());
            EXPECT_TRUE(folder.Path().empty());
            EXPECT_TRUE(TracedStartingWith(row.trace));
            // And should a caller go on regardless: nothing is written anywhere.
            int items = 0;
            EXPECT_FALSE(ExtractPackage(reader, folder.Path(), {L"x86"}, nullptr,
                                        [&](uint32_t, uint32_t) { ++items; }));
            EXPECT_EQ(items, 0);
        }
        EXPECT_FALSE(PathFileExistsW(L"C:\\x86"));
        EXPECT_FALSE(PathFileExistsW(L"\\x86"));
        EXPECT_FALSE(PathFileExistsW(L"x86"));
    }
}

// Whatever TMP and TEMP say, a work folder is a full path with no "." or ".." part, or there is
// none: a relative one would be extracted into, and deleted from, the current folder.
TEST_F(PortSetup, WorkFolderIsAFullPathOrNone)
{
    CurrentFolder current;
    wchar_t temp[MAX_PATH];
    const std::wstring shared(temp, GetTempPathW(MAX_PATH, temp) - 1);
    CreateDirectoryW(L"relative-temp", nullptr);
    const std::wstring rows[] = {
        L"relative-temp",
        L".\\relative-temp",
        L"..\\current-folder\\relative-temp",
        shared + L"\\..\\" + shared.substr(shared.rfind(L'\\') + 1),
        shared + L"\\.",
    };
    for (const std::wstring &row : rows)
    {
        ScopedEnv tmp(L"TMP", row);
        ScopedEnv tempEnv(L"TEMP", row);
        CWorkFolder folder;
        if (folder.Create())
        {
            EXPECT_TRUE(IsWorkFolderPath(folder.Path())) << "row " << (&row - rows);
            EXPECT_EQ(folder.Path().find(L"\\.\\"), std::wstring::npos);
            EXPECT_EQ(folder.Path().find(L"\\..\\"), std::wstring::npos);
            EXPECT_TRUE(folder.Path()[1] == L':') << "row " << (&row - rows);
        }
        else
        {
            EXPECT_TRUE(folder.Path().empty());
        }
    }
    RemoveDirectoryW(L"relative-temp");
    EXPECT_TRUE(current.Kept());
}

// --- Extraction ------------------------------------------------------------------------------

TEST_F(PortSetup, ExtractsTheArchitecturesFolderWithProgress)
{
    // The items of package.7z in the order 7zz wrote them (directories first), and the progress
    // (i + 1) * 50 / 12 that the install posts for the architecture's ones.
    const struct
    {
        const wchar_t *arch;
        std::vector<std::pair<std::wstring, unsigned>> items;
    } rows[] = {
        {L"x86",
         {{L"x86", 8}, {L"x86/Quorvallent.inf", 33}, {L"x86/WUDFUpdate_01009.dll", 37},
          {L"x86/WdfCoInstaller01009.dll", 41}, {L"x86/devcon.exe", 45}, {L"x86/zulkor.dll", 50}}},
        {L"amd64",
         {{L"amd64", 4}, {L"amd64/Quorvallent.inf", 12}, {L"amd64/WUDFUpdate_01009.dll", 16},
          {L"amd64/WdfCoInstaller01009.dll", 20}, {L"amd64/devcon.exe", 25}, {L"amd64/zulkor.dll", 29}}},
    };
    for (const auto &row : rows)
    {
        g_traces.clear();
        CArchiveReader reader;
        OpenArchive(reader, L"package.7z");
        CWorkFolder folder;
        ASSERT_TRUE(folder.Create());

        std::vector<std::pair<std::wstring, unsigned>> seen;
        ASSERT_TRUE(ExtractPackage(reader, folder.Path(), {row.arch}, nullptr,
                                   [&](uint32_t index, uint32_t count) {
                                       std::wstring name;
                                       reader.GetItemName(index, name);
                                       seen.emplace_back(name, InstallProgress(index, count));
                                   }));
        EXPECT_TRUE(seen == row.items) << "progress for " << (row.arch[0] == L'x' ? "x86" : "amd64");

        // Exactly the architecture's files, byte for byte the files the package was made from.
        const std::wstring arch = row.arch;
        const std::vector<std::wstring> expected = {
            arch + L"\\", arch + L"\\Quorvallent.inf", arch + L"\\WUDFUpdate_01009.dll",
            arch + L"\\WdfCoInstaller01009.dll", arch + L"\\devcon.exe", arch + L"\\zulkor.dll"};
        std::vector<std::wstring> sorted = expected;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_TRUE(Files(folder.Path()) == sorted);
        for (size_t i = 1; i < expected.size(); ++i)
        {
            const Bytes got = ReadAll(folder.Path() + L"\\" + expected[i]);
            EXPECT_FALSE(got.empty());
            EXPECT_TRUE(got == ReadAll(kArchives + L"\\package\\" + expected[i])) << i;
            EXPECT_TRUE(Traced(L"extract file " + folder.Path() + L"\\" + expected[i] + L"\n")) << i;
        }
        // The directory item comes first and makes the folder; the files find it there.
        EXPECT_EQ(std::count(g_traces.begin(), g_traces.end(), L"create dir " + folder.Path() + L"\\" + arch + L"\n"), 1);

        const std::wstring path = folder.Path();
        folder.Remove();
        EXPECT_FALSE(PathFileExistsW(path.c_str()));
    }
}

TEST_F(PortSetup, RemovalExtractsOnlyTheTool)
{
    CArchiveReader reader;
    OpenArchive(reader, L"package.7z");
    std::wstring path;
    {
        CWorkFolder folder;
        ASSERT_TRUE(folder.Create());
        path = folder.Path();
        ASSERT_TRUE(ExtractPackage(reader, folder.Path(), {L"amd64", kDevconName}, nullptr, ItemDone()));
        EXPECT_TRUE(Files(folder.Path()) == (std::vector<std::wstring>{L"amd64\\", L"amd64\\devcon.exe"}));
        EXPECT_TRUE(ReadAll(path + L"\\amd64\\devcon.exe") == ReadAll(kArchives + L"\\package\\amd64\\devcon.exe"));
    }
    // The holder removed the folder with its contents.
    EXPECT_FALSE(PathFileExistsW(path.c_str()));
}

TEST_F(PortSetup, UnsafeNamesAreSkippedWithATrace)
{
    CArchiveReader reader;
    OpenArchive(reader, L"unsafe.7z");
    CWorkFolder folder;
    ASSERT_TRUE(folder.Create());
    // The package did not come out whole: the caller runs nothing from it.
    EXPECT_FALSE(ExtractPackage(reader, folder.Path(), {L"x86"}, nullptr, ItemDone()));

    for (const wchar_t *name : {L"x86/../evil1.txt", L"x86\\..\\evil2.txt", L"/x86/abs.txt", L"C:/x86/drv.txt"})
        EXPECT_TRUE(Traced(std::wstring(L"skip item ") + name + L"\n")) << "no skip trace";
    // Only the safe file among the files; the rest of the work folder is folders.
    std::vector<std::wstring> files;
    for (const std::wstring &f : Files(folder.Path()))
    {
        if (f.back() != L'\\')
            files.push_back(f);
    }
    EXPECT_TRUE(files == std::vector<std::wstring>{L"x86\\good.txt"});

    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    for (const std::wstring &outside : {std::wstring(temp) + L"evil1.txt", std::wstring(temp) + L"evil2.txt",
                                       std::wstring(L"C:\\x86\\abs.txt"), std::wstring(L"C:\\x86\\drv.txt"),
                                       std::wstring(L"C:\\x86")})
        EXPECT_FALSE(PathFileExistsW(outside.c_str()));
}

TEST_F(PortSetup, DeviceNamesAreSkippedWithATraceAndStillCounted)
{
    CArchiveReader reader;
    OpenArchive(reader, L"unsafe.7z");
    CWorkFolder folder;
    ASSERT_TRUE(folder.Create());
    std::vector<uint32_t> counted, expected;
    EXPECT_FALSE(ExtractPackage(reader, folder.Path(), {L"x86"}, nullptr,
                                [&](uint32_t index, uint32_t) { counted.push_back(index); }));
    // Every item of the architecture is counted for progress, skipped or not.
    for (uint32_t i = 0; i < reader.GetItemCount(); ++i)
    {
        std::wstring name;
        reader.GetItemName(i, name);
        if (name.find(L"x86") != std::wstring::npos)
            expected.push_back(i);
    }
    EXPECT_TRUE(counted == expected);

    for (const wchar_t *name : {L"x86/CON", L"x86/nul.txt", L"x86/sub/Com1.inf", L"x86/LPT9.dll", L"x86/aux",
                                L"x86/CONIN$", L"x86/conout$.txt", L"x86/sub/Clock$.inf"})
    {
        EXPECT_TRUE(Traced(std::wstring(L"skip item ") + name + L"\n")) << "no skip trace";
        EXPECT_FALSE(TracedStartingWith(std::wstring(L"extract file ") + folder.Path() + L"\\" + name));
    }
    std::vector<std::wstring> files;
    for (const std::wstring &f : Files(folder.Path()))
    {
        if (f.back() != L'\\')
            files.push_back(f);
    }
    EXPECT_TRUE(files == std::vector<std::wstring>{L"x86\\good.txt"});
}

// The removal never shows a window: the shell's error box would wait for a user who is not
// there. The removal runs on a thread of its own so that a box, should one come, is seen and
// closed instead of blocking the test.
BOOL CALLBACK CloseWindowOfThisProcess(HWND hwnd, LPARAM found)
{
    DWORD process = 0;
    GetWindowThreadProcessId(hwnd, &process);
    if (process == GetCurrentProcessId() && IsWindowVisible(hwnd))
    {
        ++*reinterpret_cast<int *>(found);
        PostMessageW(hwnd, WM_CLOSE, 0, 0);
        PostMessageW(hwnd, WM_COMMAND, IDCANCEL, 0);
    }
    return TRUE;
}

// Runs a Unix command through Wine, which makes no link itself (CreateSymbolicLinkW does
// nothing) and starts a Unix program without a handle to wait on: the test waits, within
// 10 s, until path exists or not as wanted. Paths are given as Windows paths.
::testing::AssertionResult RunUnix(const char *command, const std::wstring &first, const std::wstring &path,
                                   bool exists)
{
    typedef char *(CDECL * UnixNameFn)(const wchar_t *);
    const UnixNameFn unixName = reinterpret_cast<UnixNameFn>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
    if (unixName == nullptr)
        return ::testing::AssertionFailure() << "not under Wine";
    std::string line = command;
    for (const std::wstring *name : {&first, &path})
    {
        char *unix = name->empty() ? nullptr : unixName(name->c_str());
        line += std::string(" ") + (unix != nullptr ? unix : "");
        HeapFree(GetProcessHeap(), 0, unix);
    }
    std::wstring wide(line.begin(), line.end());
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &wide[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return ::testing::AssertionFailure() << line.c_str() << " did not start";
    for (HANDLE handle : {process.hProcess, process.hThread})
    {
        if (handle != nullptr)
            CloseHandle(handle);
    }
    for (const DWORD start = GetTickCount(); GetTickCount() - start < 10000; Sleep(10))
    {
        if ((GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) == exists)
            return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << line.c_str() << " did not end in 10 s";
}

// The entry that the deletion walk finds swapped, once, between its listing and its opening:
// moved aside and replaced by a link to g_linkTarget.
std::wstring g_swapEntry, g_linkTarget;

void SwapForLink(const std::wstring &path)
{
    if (path != g_swapEntry)
        return;
    g_swapEntry.clear();
    EXPECT_TRUE(MoveFileW(path.c_str(), (path + L".moved").c_str()));
    EXPECT_TRUE(RunUnix("/bin/ln -s", g_linkTarget, path, true));
}

struct RemoveJob
{
    CWorkFolder *folder;
};

DWORD WINAPI RemoveOnItsOwnThread(void *param)
{
    RemoveJob *job = static_cast<RemoveJob *>(param);
    job->folder->Remove();
    return 0;
}

TEST_F(PortSetup, RemovalGivesUpQuietlyOnAFileInUse)
{
    const struct
    {
        const char *name;
        bool held;
        bool readOnly;
        const wchar_t *swapped;  // below the work folder, swapped for a link to a folder or file outside
    } rows[] = {
        // name                          file held open  read-only file  swapped during the walk
        {"held", true, false, nullptr},
        {"nothing held", false, false, nullptr},
        {"read-only, nothing held", false, true, nullptr},
        {"folder swapped for a link", false, false, L"x86"},
        {"file swapped for a link", false, false, L"x86\\devcon.exe"},
    };
    for (const auto &row : rows)
    {
        SCOPED_TRACE(row.name);
        g_traces.clear();
        CWorkFolder folder;
        ASSERT_TRUE(folder.Create());
        const std::wstring path = folder.Path();
        ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryW((path + L"\\x86").c_str(), nullptr));
        const std::wstring file = path + L"\\x86\\devcon.exe";
        WriteAll(file, "tool");
        // No delete sharing: the file cannot go while this handle is open.
        HANDLE held = row.held ? CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr)
                               : INVALID_HANDLE_VALUE;
        ASSERT_EQ(row.held, held != INVALID_HANDLE_VALUE);

        if (row.readOnly)
        {
            ASSERT_TRUE(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));
        }
        // Outside the work folder: 40 files that the walk must not reach through the link.
        const std::wstring outside = path + L"-outside";
        ASSERT_TRUE(CreateDirectoryW(outside.c_str(), nullptr));
        for (int i = 0; i < 40; ++i)
            WriteAll(outside + L"\\file" + std::to_wstring(i), "the user's file");
        const std::vector<std::wstring> outsideFiles = Files(outside);
        g_swapEntry = row.swapped != nullptr ? path + L"\\" + row.swapped : std::wstring();
        g_linkTarget = g_swapEntry == file ? outside + L"\\file0" : outside;
        SetDeleteWalkHook(SwapForLink);
        RemoveJob job = {&folder};
        const DWORD start = GetTickCount();
        HANDLE thread = CreateThread(nullptr, 0, RemoveOnItsOwnThread, &job, 0, nullptr);
        ASSERT_NE(nullptr, thread);
        int windows = 0;
        // Bounded: 5 s at most, however the removal behaves.
        while (WaitForSingleObject(thread, 20) == WAIT_TIMEOUT && GetTickCount() - start < 5000)
        {
            EnumWindows(&CloseWindowOfThisProcess, reinterpret_cast<LPARAM>(&windows));
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageW(&msg);
        }
        const DWORD elapsed = GetTickCount() - start;
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 0)) << "the removal did not return";
        EnumWindows(&CloseWindowOfThisProcess, reinterpret_cast<LPARAM>(&windows));
        EXPECT_EQ(0, windows) << "a window appeared";
        if (WaitForSingleObject(thread, 5000) == WAIT_OBJECT_0)
            CloseHandle(thread);

        SetDeleteWalkHook(nullptr);
        EXPECT_TRUE(g_swapEntry.empty()) << "the walk never listed the entry to swap";
        EXPECT_TRUE(Files(outside) == outsideFiles) << "the walk reached outside the work folder";
        if (row.swapped != nullptr)
        {
            // Wine follows the link whatever the walk asks: neither it nor its target goes, and
            // the walk is not tried again.
            EXPECT_FALSE(TracedStartingWith(L"work folder still there"));
            EXPECT_TRUE(Traced(L"delete work folder fail![1920]\n"));
            EXPECT_TRUE(Traced(L"entry left: " + path + L"\\" + row.swapped + L"\n"));
            EXPECT_TRUE(Traced(L"work folder left: " + path + L"\n"));
            EXPECT_TRUE(RunUnix("/bin/rm", std::wstring(), path + L"\\" + row.swapped, false));
            EXPECT_EQ(0u, DeleteFolderTree(path));
        }
        else if (row.held)
        {
            // About a second of tries, with room for the system tick and a loaded machine.
            EXPECT_GE(elapsed, 900u);
            EXPECT_LT(elapsed, 2500u);
            EXPECT_TRUE(PathFileExistsW(file.c_str())) << "the folder stays";
            EXPECT_TRUE(Traced(L"work folder left: " + path + L"\n"));
            CloseHandle(held);
            DeleteFileW(file.c_str());
            RemoveDirectoryW((path + L"\\x86").c_str());
            RemoveDirectoryW(path.c_str());
        }
        else
        {
            EXPECT_LT(elapsed, 1000u);
            EXPECT_FALSE(PathFileExistsW(path.c_str()));
            EXPECT_FALSE(TracedStartingWith(L"work folder left"));
        }
        EXPECT_TRUE(folder.Path().empty()) << "removal is done once, whatever it gave";
        EXPECT_EQ(0u, DeleteFolderTree(outside));
    }
}

// --- Long paths ------------------------------------------------------------------------------

// Makes folder a work folder whose path is exactly length characters long, made as the
// install makes it: TMP and TEMP name a padding folder of the length that gets there. The
// unique part of the name varies in length with its number, so each try measures it and the
// next pads for what it found. The padding folders are added to pads for removal.
::testing::AssertionResult CreateWorkFolderOfLength(CWorkFolder &folder, size_t length,
                                                    std::vector<std::wstring> &pads)
{
    wchar_t temp[MAX_PATH];
    const std::wstring base = std::wstring(temp, GetTempPathW(MAX_PATH, temp)) + L"pad";
    for (int attempt = 0; attempt < 20; ++attempt)
    {
        if (!folder.Create())
            return ::testing::AssertionFailure() << "no work folder";
        if (folder.Path().size() == length)
            return ::testing::AssertionSuccess();
        const size_t unique = folder.Path().size() - GetTempPathW(MAX_PATH, temp);
        // base, the padding, the separator GetTempPath adds, the unique part.
        if (base.size() + 1 + unique >= length)
            return ::testing::AssertionFailure() << "the temporary folder is too long for " << length;
        const std::wstring pad = base + std::wstring(length - base.size() - 1 - unique, L'p');
        CreateDirectoryW(pad.c_str(), nullptr);
        pads.push_back(pad);
        SetEnvironmentVariableW(L"TMP", pad.c_str());
        SetEnvironmentVariableW(L"TEMP", pad.c_str());
    }
    return ::testing::AssertionFailure() << "no work folder of " << length << " characters";
}

// The long item of longpath.7z and farpath.7z below an architecture's folder (as
// make_test_archives.py makes them), with "\".
std::wstring LongItem(const std::wstring &archive)
{
    if (archive == L"longpath.7z")
        return L"\\" + std::wstring(150, L'L') + L"\\devcon.exe";
    return L"\\" + std::wstring(200, L'd') + L"\\" + std::wstring(200, L'e') + L"\\devcon.exe";
}

TEST_F(PortSetup, AnItemWhosePathWouldNotFitMaxPathIsRefused)
{
    const struct
    {
        const char *what;
        const wchar_t *archive;
        int over;               // characters over MAX_PATH's 259, in longpath.7z
        const wchar_t *arch;
        bool removal;           // the removal's filter (architecture and tool) or the install's
    } rows[] = {
        // what                 archive          over  folder    removal
        {"just fitting", L"longpath.7z", 0, L"x86", false},
        {"just fitting", L"longpath.7z", 0, L"amd64", false},
        {"just fitting", L"longpath.7z", 0, L"x86", true},
        {"just fitting", L"longpath.7z", 0, L"amd64", true},
        {"one over", L"longpath.7z", 1, L"x86", false},
        {"one over", L"longpath.7z", 1, L"amd64", false},
        {"one over", L"longpath.7z", 1, L"x86", true},
        {"one over", L"longpath.7z", 1, L"amd64", true},
        {"far over", L"farpath.7z", 0, L"x86", false},
        {"far over", L"farpath.7z", 0, L"amd64", false},
        {"far over", L"farpath.7z", 0, L"x86", true},
        {"far over", L"farpath.7z", 0, L"amd64", true},
    };
    for (const auto &row : rows)
    {
        SCOPED_TRACE(std::string(row.what) + (row.arch[0] == L'x' ? " in x86" : " in amd64") +
                     (row.removal ? " for removal" : " for install"));
        g_traces.clear();
        CurrentFolder current;
        CArchiveReader reader;
        OpenArchive(reader, row.archive);
        const std::wstring name = row.arch + LongItem(row.archive);
        const bool deep = row.archive == std::wstring(L"farpath.7z");
        const bool fits = !deep && row.over <= 0;
        std::vector<std::wstring> pads;
        std::wstring work, item;
        {
            wchar_t temp[MAX_PATH];
            const std::wstring previous(temp, GetTempPathW(MAX_PATH, temp) - 1);
            ScopedEnv tmp(L"TMP", previous);
            ScopedEnv tempEnv(L"TEMP", previous);
            CWorkFolder folder;
            // The boundary from the real work folder: folder "\" name is 259 characters and over.
            if (deep)
            {
                ASSERT_TRUE(folder.Create());
            }
            else
            {
                ASSERT_TRUE(CreateWorkFolderOfLength(folder, 259 + row.over - 1 - name.size(), pads));
            }
            work = folder.Path();
            item = work + L"\\" + name;
            if (!deep)
            {
                ASSERT_EQ(item.size(), 259u + row.over);
            }

            std::vector<std::wstring> filter = {row.arch};
            if (row.removal)
                filter.push_back(kDevconName);
            EXPECT_EQ(ExtractPackage(reader, work, filter, nullptr, ItemDone()), fits)
                << "a package with a refused item is not whole";
            // The architecture's own tool comes out in every case.
            const std::wstring tool = std::wstring(row.arch) + L"\\devcon.exe";
            EXPECT_TRUE(ReadAll(work + L"\\" + tool) ==
                        ReadAll(kArchives + L"\\" + (deep ? L"farpath\\" : L"longpath\\") + tool));
            if (fits)
            {
                EXPECT_TRUE(ReadAll(item) == ReadAll(kArchives + L"\\longpath\\" + name));
            }
            else
            {
                EXPECT_FALSE(Exists(item));
                // The archive's name, with "/", as far as the trace line holds it.
                std::wstring stored(name, 0, 100);
                std::replace(stored.begin(), stored.end(), L'\\', L'/');
                EXPECT_TRUE(Traced(L"skip item, path of " + std::to_wstring(item.size()) + L" characters: " + stored + L"\n"));
            }
            // Nothing lands outside the work folder, whatever was cut.
            for (const std::wstring &pad : pads)
            {
                for (const std::wstring &f : Files(pad))
                    EXPECT_TRUE(f.compare(0, 2, L"vp") == 0) << "beside the work folder";
            }
        }
        // The holder removed the work folder whole, and nothing else.
        EXPECT_FALSE(Exists(work));
        EXPECT_FALSE(TracedStartingWith(L"work folder left"));
        EXPECT_TRUE(current.Kept()) << "the current folder lost or gained files";
        for (auto pad = pads.rbegin(); pad != pads.rend(); ++pad)
            EXPECT_EQ(0u, DeleteFolderTree(*pad));
    }
}

// A work folder that holds a path too long to name (the device console tool, or anything else
// run in it, can make one): the deletion stops there and leaves the rest, never turning to the
// current folder; entries up to MAX_PATH go.
TEST_F(PortSetup, DeletionStopsAtAPathTooLongAndLeavesTheRest)
{
    const struct
    {
        const char *what;
        bool folder;           // the long entry is a folder (else a file)
        size_t length;         // its path's length
        DWORD error;           // DeleteFolderTree's result
    } rows[] = {
        // what                      folder  length  result
        {"folder of 259", true, 259, 0},
        {"file of 259", false, 259, 0},
        {"folder of 260", true, 260, ERROR_FILENAME_EXCED_RANGE},
        {"file of 260", false, 260, ERROR_FILENAME_EXCED_RANGE},
        {"folder of 400", true, 400, ERROR_FILENAME_EXCED_RANGE},
        {"file of 400", false, 400, ERROR_FILENAME_EXCED_RANGE},
    };
    for (const auto &row : rows)
    {
        SCOPED_TRACE(row.what);
        for (bool holder : {false, true})
        {
            g_traces.clear();
            CurrentFolder current;
            CWorkFolder folder;
            ASSERT_TRUE(folder.Create());
            const std::wstring work = folder.Path();
            // work\x86\<parent>\<entry>: the parent fits with room for its listing.
            const std::wstring parent = work + L"\\x86\\" + std::wstring(200 - work.size(), L'a');
            ASSERT_EQ(SHCreateDirectoryExW(nullptr, parent.c_str(), nullptr), ERROR_SUCCESS);
            WriteAll(work + L"\\x86\\devcon.exe", "tool");
            std::wstring entry = parent + L"\\";
            while (entry.size() < row.length)
                entry += std::wstring(std::min<size_t>(200, row.length - entry.size()), L'b') + L"\\";
            entry.pop_back();
            ASSERT_EQ(entry.size(), row.length);
            // Made a part at a time: the system takes such paths under Wine.
            for (size_t at = parent.size() + 1; at <= entry.size(); ++at)
            {
                if (at == entry.size() || entry[at] == L'\\')
                {
                    const std::wstring part = entry.substr(0, at);
                    if (row.folder || at < entry.size())
                    {
                        ASSERT_TRUE(CreateDirectoryW(part.c_str(), nullptr)) << GetLastError();
                    }
                    else
                    {
                        WriteAll(part, "long");
                    }
                }
            }
            ASSERT_TRUE(Exists(entry));

            const DWORD start = GetTickCount();
            if (holder)
                folder.Remove();
            else
                EXPECT_EQ(DeleteFolderTree(work), row.error);
            EXPECT_LT(GetTickCount() - start, 900u) << "a path too long is not tried again";
            EXPECT_TRUE(current.Kept()) << "the current folder lost or gained files";
            EXPECT_EQ(Exists(work), row.error != 0);
            EXPECT_EQ(Exists(entry), row.error != 0) << "the entry that cannot be named stays";
            if (holder)
            {
                EXPECT_EQ(Traced(L"work folder left: " + work + L"\n"), row.error != 0);
                EXPECT_EQ(Traced(L"delete work folder fail![206]\n"), row.error != 0);
                EXPECT_TRUE(folder.Path().empty());
            }
            // What stays goes by the long form of its names, a part at a time from the deepest.
            std::wstring rest = entry;
            while (rest.size() > work.size())
            {
                const std::wstring longForm = L"\\\\?\\" + rest;
                if (!RemoveDirectoryW(longForm.c_str()))
                    DeleteFileW(longForm.c_str());
                rest.erase(rest.rfind(L'\\'));
            }
            DeleteFileW((work + L"\\x86\\devcon.exe").c_str());
            RemoveDirectoryW((work + L"\\x86").c_str());
            RemoveDirectoryW(work.c_str());
            EXPECT_FALSE(Exists(work));
        }
    }
}

TEST(DeleteFolderTree, OnlyAWorkFolderPathIsDeleted)
{
    CurrentFolder current;
    const wchar_t *const folders[] = {L"", L"sub", L".", L"C:", L"\\", L"C:\\", L"C:sub", L"C:\\..\\sub"};
    for (const wchar_t *const &folder : folders)
        EXPECT_EQ(DeleteFolderTree(folder), static_cast<DWORD>(ERROR_BAD_PATHNAME)) << "row " << (&folder - folders);
    EXPECT_EQ(DeleteFolderTree(L"C:\\no-such-folder-for-pelkrane"), 0u) << "nothing there is nothing to do";
    EXPECT_TRUE(current.Kept());
}

TEST_F(PortSetup, NoItemsForTheArchitectureMeansNoInf)
{
    CArchiveReader reader;
    OpenArchive(reader, L"package.7z");
    CWorkFolder folder;
    ASSERT_TRUE(folder.Create());
    ASSERT_TRUE(ExtractPackage(reader, folder.Path(), {L"ia64"}, nullptr, ItemDone()));
    EXPECT_FALSE(PathFileExistsW(folder.Path().c_str()));

    g_traces.clear();
    const std::wstring inf = folder.Path() + L"\\ia64\\" + kInfName;
    EXPECT_FALSE(PatchInf(inf.c_str(), PORT_SERIAL));
    ASSERT_EQ(g_traces.size(), 1u);
    EXPECT_TRUE(g_traces[0] == L"Open inf fail: 00000003H\n");
}

#ifdef DRIVER_PACKAGE
// The package the installer carries: each architecture's folder comes out whole, and its INF
// takes the serial patch.
TEST_F(PortSetup, DriverPackageExtractsAndItsInfPatches)
{
    const Bytes package = ReadAll(Widen(DRIVER_PACKAGE));
    ASSERT_FALSE(package.empty());
    for (const wchar_t *arch : {L"x86", L"amd64"})
    {
        CArchiveReader reader;
        reader.Open(package.data(), static_cast<uint32_t>(package.size()));
        ASSERT_GT(reader.GetItemCount(), 0u);
        CWorkFolder folder;
        ASSERT_TRUE(folder.Create());
        g_traces.clear();
        ASSERT_TRUE(ExtractPackage(reader, folder.Path(), {arch}, nullptr, ItemDone()));
        EXPECT_FALSE(TracedStartingWith(L"uncompressing fail")) << "in the " << (arch[0] == L'x' ? "x86" : "amd64") << " folder";
        EXPECT_FALSE(TracedStartingWith(L"create file fail"));
        EXPECT_EQ(reader.BlocksDecoded(), 1u);

        const std::wstring dll = folder.Path() + L"\\" + arch + L"\\zulkor.dll";
        const Bytes module = ReadAll(dll);
        ASSERT_GT(module.size(), 2u);
        EXPECT_TRUE(module[0] == 'M' && module[1] == 'Z');

        const std::wstring inf = folder.Path() + L"\\" + arch + L"\\" + kInfName;
        const Bytes before = ReadAll(inf);
        std::string expected(before.begin(), before.end());
        ASSERT_EQ(PatchInfText(&expected[0], expected.size(), PORT_SERIAL), 2u);
        EXPECT_TRUE(PatchInf(inf.c_str(), PORT_SERIAL));
        const Bytes after = ReadAll(inf);
        EXPECT_TRUE(std::string(after.begin(), after.end()) == expected);
    }
}
#endif

// --- INF file --------------------------------------------------------------------------------

class InfFile : public PortSetup
{
protected:
    void SetUp() override
    {
        PortSetup::SetUp();
        ASSERT_TRUE(m_folder.Create());
        ASSERT_TRUE(CreateDirectoryW(m_folder.Path().c_str(), nullptr));
        m_inf = m_folder.Path() + L"\\" + kInfName;
    }

    CWorkFolder m_folder;
    std::wstring m_inf;
};

std::string DriverInf()
{
    const Bytes bytes = ReadAll(Widen(DRIVER_INF));
    return std::string(bytes.begin(), bytes.end());
}

// The file gets exactly what the text patch (checked byte by byte elsewhere) makes of it.
TEST_F(InfFile, SerialAndParallelPatchTheFileInPlace)
{
    const std::string inf = DriverInf();
    ASSERT_FALSE(inf.empty());
    for (int type : {static_cast<int>(PORT_SERIAL), static_cast<int>(PORT_PARALLEL), 7})
    {
        std::string expected = inf;
        PatchInfText(&expected[0], expected.size(), type);
        EXPECT_EQ(expected != inf, type != 7);
        WriteAll(m_inf, inf);
        g_traces.clear();
        EXPECT_TRUE(PatchInf(m_inf.c_str(), type));
        const Bytes got = ReadAll(m_inf);
        EXPECT_TRUE(std::string(got.begin(), got.end()) == expected) << "type " << type;
        EXPECT_TRUE(g_traces.empty());
    }
}

TEST_F(InfFile, EdgeFiles)
{
    const struct
    {
        const char *what;
        bool create;
        std::string content;
        bool result;
        const wchar_t *trace;
        std::string after;
    } rows[] = {
        // what                  file   content                           result trace                                   content afterwards
        {"missing file", false, "", false, L"Open inf fail: 00000002H\n", ""},
        {"empty file", true, "", false, L"CreateFileMapping fail: 000003EEH\n", ""},
        {"text at the end", true, ";x\r\n;DeviceType=0x0000001B", true, nullptr, ";x\r\n DeviceType=0x0000001B"},
        {"text cut at the end", true, ";DeviceType=0x0000001", true, nullptr, ";DeviceType=0x0000001"},
        {"no DeviceType", true, ";SerialPortPropPageProvider\r\n;0x0000001B", true, nullptr,
         " SerialPortPropPageProvider\r\n;0x0000001B"},
    };
    for (const auto &row : rows)
    {
        DeleteFileW(m_inf.c_str());
        if (row.create)
            WriteAll(m_inf, row.content);
        g_traces.clear();
        EXPECT_EQ(PatchInf(m_inf.c_str(), PORT_SERIAL), row.result) << row.what;
        if (row.trace != nullptr)
        {
            ASSERT_EQ(g_traces.size(), 1u) << row.what;
            EXPECT_TRUE(g_traces[0] == row.trace) << row.what;
        }
        else
        {
            EXPECT_TRUE(g_traces.empty()) << row.what;
        }
        if (row.create)
        {
            const Bytes got = ReadAll(m_inf);
            EXPECT_TRUE(std::string(got.begin(), got.end()) == row.after) << row.what;
        }
        else
        {
            EXPECT_FALSE(PathFileExistsW(m_inf.c_str())) << "created by the patch";
        }
    }
}

TEST_F(InfFile, FileInUseIsNotPatched)
{
    const std::string inf = DriverInf();
    WriteAll(m_inf, inf);
    HANDLE other = CreateFileW(m_inf.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(PatchInf(m_inf.c_str(), PORT_SERIAL));
    CloseHandle(other);
    ASSERT_EQ(g_traces.size(), 1u);
    EXPECT_TRUE(g_traces[0] == L"Open inf fail: 00000020H\n");
    const Bytes got = ReadAll(m_inf);
    EXPECT_TRUE(std::string(got.begin(), got.end()) == inf);
}

// --- The device console tool -----------------------------------------------------------------

class Tool : public PortSetup
{
protected:
    void SetUp() override
    {
        PortSetup::SetUp();
        ASSERT_TRUE(m_work.Create());
        m_record = m_work.Path() + L"\\record";
        ASSERT_EQ(SHCreateDirectoryExW(nullptr, m_record.c_str(), nullptr), ERROR_SUCCESS);
    }

    // Places the stand-in as folder\devcon.exe, with an INF beside it.
    void Install(const std::wstring &folder)
    {
        ASSERT_EQ(SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr), ERROR_SUCCESS);
        ASSERT_TRUE(CopyFileW(Widen(DEVCON_STANDIN).c_str(), (folder + L"\\devcon.exe").c_str(), FALSE));
        WriteAll(folder + L"\\" + kInfName, "; the INF the tool sees\r\n");
    }

    CWorkFolder m_work;
    std::wstring m_record;
};

TEST_F(Tool, CommandLineFolderAndExitCode)
{
    // A folder with spaces: unquoted, the system would first try "<work>\x.exe" for
    // "<work>\x 86 dir\devcon". A decoy waits there.
    const std::wstring folder = m_work.Path() + L"\\x 86 dir";
    Install(folder);
    ASSERT_TRUE(CopyFileW(Widen(DEVCON_STANDIN).c_str(), (m_work.Path() + L"\\x.exe").c_str(), FALSE));

    const struct
    {
        std::wstring commandLine;
        const wchar_t *exitCode;
        DWORD expected;
    } rows[] = {
        // command line                       DEVCON_EXIT  exit code
        {DevconInstallCommandLine(folder), L"0", 0},
        {DevconInstallCommandLine(folder), L"3", 3},
        {DevconRemoveCommandLine(folder), L"0", 0},
        {DevconRemoveCommandLine(folder), L"1", 1},
    };
    for (const auto &row : rows)
    {
        for (const wchar_t *file : {L"module.txt", L"cmdline.txt", L"cwd.txt", L"inf.txt"})
            DeleteFileW((m_record + L"\\" + file).c_str());
        ScopedEnv record(L"DEVCON_RECORD", m_record);
        ScopedEnv exitCode(L"DEVCON_EXIT", row.exitCode);
        g_traces.clear();
        DWORD code = 12345;
        ASSERT_TRUE(RunTool(row.commandLine, folder, L"start to install\n", &code));
        EXPECT_EQ(code, row.expected);
        EXPECT_TRUE(Traced(L"start to install\n"));

        EXPECT_TRUE(ReadText(m_record + L"\\module.txt") == folder + L"\\devcon.exe");
        EXPECT_TRUE(ReadText(m_record + L"\\cmdline.txt") == row.commandLine);
        EXPECT_TRUE(ReadText(m_record + L"\\cwd.txt") == folder);
        const Bytes inf = ReadAll(m_record + L"\\inf.txt");
        EXPECT_TRUE(std::string(inf.begin(), inf.end()) == "; the INF the tool sees\r\n");
    }
    // The exact quoted forms.
    EXPECT_TRUE(ReadText(m_record + L"\\cmdline.txt") ==
                L"\"" + folder + L"\\devcon\" remove DOZ\\Quorvallent");
}

TEST_F(Tool, ToolThatCannotStart)
{
    const std::wstring folder = m_work.Path() + L"\\x86";
    ASSERT_EQ(SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr), ERROR_SUCCESS);
    const struct
    {
        std::wstring commandLine;
        std::wstring folder;
        const wchar_t *trace;
    } rows[] = {
        // command line                      current folder              trace
        {DevconInstallCommandLine(folder), folder, L"CreateProcess fail!["},
        {DevconInstallCommandLine(folder), folder + L"\\missing", L"CreateProcess fail!["},
        {DevconInstallCommandLine(L"C:\\a\"b"), folder, L"CreateProcess fail![87]\n"},
    };
    for (const auto &row : rows)
    {
        g_traces.clear();
        DWORD code = 0;
        EXPECT_FALSE(RunTool(row.commandLine, row.folder, L"start to install\n", &code));
        EXPECT_NE(code, 0u);
        EXPECT_TRUE(TracedStartingWith(row.trace));
        EXPECT_FALSE(Traced(L"start to install\n"));
    }
}

}  // namespace
