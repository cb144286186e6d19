// The installer's main dialog driven in-process: the list of virtual ports from devices made
// with Wine's setup library, install and removal with a package whose device console tool is
// a recording stand-in, renaming against prepared device maps, and the busy window.
#include <windows.h>
#include <commctrl.h>
#include <setupapi.h>
#include <shlwapi.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "ChgPortDlg.h"
#include "InstallDlgs.h"
#include "MainDlg.h"
#include "Pelkrane.h"
#include "WaitWin.h"
#include "archivereader.h"
#include "gui_test_util.h"
#include "module.h"
#include "resource.h"
#include "strings.h"
#include "tracemsg.h"

namespace {

const GUID kPortsClass = {0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

std::string Narrow(const std::wstring &text)
{
    std::string out;
    for (wchar_t c : text)
        out += c < 128 ? static_cast<char>(c) : '?';
    return out;
}

std::wstring ReadUtf16(const std::wstring &path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return L"<missing>";
    std::wstring text(GetFileSize(file, nullptr) / 2, L'\0');
    DWORD read = 0;
    ReadFile(file, &text[0], static_cast<DWORD>(text.size() * 2), &read, nullptr);
    CloseHandle(file);
    return text;
}

std::string ReadBytes(const std::wstring &path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return "<missing>";
    std::string text(GetFileSize(file, nullptr), '\0');
    DWORD read = 0;
    ReadFile(file, &text[0], static_cast<DWORD>(text.size()), &read, nullptr);
    CloseHandle(file);
    return text;
}

// The "vp*" entries of the temporary folder: work folders left behind.
std::vector<std::wstring> WorkFolders()
{
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((std::wstring(temp) + L"vp*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do
            names.push_back(data.cFileName);
        while (FindNextFileW(find, &data));
        FindClose(find);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Virtual port devices in Wine's device database, removed again with the holder.
class VirtualPorts
{
public:
    VirtualPorts() : m_set(SetupDiCreateDeviceInfoList(&kPortsClass, nullptr)) {}
    ~VirtualPorts()
    {
        for (SP_DEVINFO_DATA &device : m_devices)
            SetupDiRemoveDevice(m_set, &device);
        SetupDiDestroyDeviceInfoList(m_set);
    }

    // A port device exposing the virtual port interface; portName null leaves PortName out,
    // description null the device description.
    void Add(const wchar_t *portName, const wchar_t *description = L"Virtual Port")
    {
        SP_DEVINFO_DATA device = {};
        device.cbSize = sizeof(device);
        ASSERT_TRUE(SetupDiCreateDeviceInfoW(m_set, L"PORTS", &kPortsClass, description, nullptr,
                                             DICD_GENERATE_ID, &device));
        ASSERT_TRUE(SetupDiRegisterDeviceInfo(m_set, &device, 0, nullptr, nullptr, nullptr));
        ASSERT_TRUE(SetupDiCreateDeviceInterfaceW(m_set, &device, &GUID_DEVINTERFACE_QUORVALLENT, nullptr, 0, nullptr));
        if (description)
            SetupDiSetDeviceRegistryPropertyW(m_set, &device, SPDRP_DEVICEDESC, reinterpret_cast<const BYTE *>(description),
                                              static_cast<DWORD>((wcslen(description) + 1) * sizeof(wchar_t)));
        m_devices.push_back(device);
        if (portName)
            SetPortName(m_devices.size() - 1, portName);
    }
    void SetPortName(size_t index, const wchar_t *portName)
    {
        HKEY key = SetupDiCreateDevRegKeyW(m_set, &m_devices[index], DICS_FLAG_GLOBAL, 0, DIREG_DEV, nullptr, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, key);
        RegSetValueExW(key, L"PortName", 0, REG_SZ, reinterpret_cast<const BYTE *>(portName),
                       static_cast<DWORD>((wcslen(portName) + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }
    std::wstring PortName(size_t index)
    {
        HKEY key = SetupDiOpenDevRegKey(m_set, &m_devices[index], DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE)
            return L"<no key>";
        wchar_t name[100] = {};
        DWORD bytes = sizeof(name) - 2;
        RegQueryValueExW(key, L"PortName", nullptr, nullptr, reinterpret_cast<BYTE *>(name), &bytes);
        RegCloseKey(key);
        return name;
    }
    std::wstring FriendlyName(size_t index)
    {
        wchar_t name[200] = {};
        if (!SetupDiGetDeviceRegistryPropertyW(m_set, &m_devices[index], SPDRP_FRIENDLYNAME, nullptr,
                                               reinterpret_cast<BYTE *>(name), sizeof(name) - 2, nullptr))
            return L"<none>";
        return name;
    }

private:
    HDEVINFO m_set;
    std::vector<SP_DEVINFO_DATA> m_devices;
};

// The progress dialog of this thread (it has no caption): the dialog holding the progress bar.
BOOL CALLBACK FindProgressDialog(HWND hwnd, LPARAM out)
{
    if (guitest::ClassOf(hwnd) == L"#32770" && GetDlgItem(hwnd, IDC_PROGRESS)) {
        *reinterpret_cast<HWND *>(out) = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND ProgressDialog()
{
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), &FindProgressDialog, reinterpret_cast<LPARAM>(&found));
    return found;
}

// Steps run from a timer in whatever modal loop is running: each waits for a visible window
// with its caption (null: the progress dialog) and for its condition, then acts (acting by
// posting, so no step blocks).
class Script
{
public:
    struct Step
    {
        const wchar_t *caption;
        std::function<bool()> ready;
        std::function<void(HWND)> act;
    };
    explicit Script(std::vector<Step> steps) : m_steps(std::move(steps))
    {
        Current() = this;
        m_timer = SetTimer(nullptr, 0, 25, &Tick);
    }
    ~Script()
    {
        KillTimer(nullptr, m_timer);
        Current() = nullptr;
    }
    size_t Done() const { return m_next; }

private:
    static Script *&Current()
    {
        static Script *current = nullptr;
        return current;
    }
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD)
    {
        Script *self = Current();
        if (!self || self->m_next >= self->m_steps.size() || ++self->m_ticks > 800)
            return;
        Step &step = self->m_steps[self->m_next];
        HWND window = step.caption ? FindWindowW(L"#32770", step.caption) : ProgressDialog();
        if (!window || !IsWindowVisible(window) || (step.ready && !step.ready()))
            return;
        ++self->m_next;
        step.act(window);
    }

    std::vector<Step> m_steps;
    size_t m_next = 0;
    int m_ticks = 0;
    UINT_PTR m_timer = 0;
};

void PostClick(HWND dialog, int id)
{
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// Runs a check at the moment each message box would show (before the recorder takes it), to
// see what the dialog showed then.
class BoxObserver
{
public:
    explicit BoxObserver(std::function<void()> atBox)
    {
        Current() = std::move(atBox);
        s_next = ui::SetMessageBoxHook(&Hook);
    }
    ~BoxObserver()
    {
        ui::SetMessageBoxHook(s_next);
        Current() = nullptr;
    }
    BoxObserver(const BoxObserver &) = delete;
    BoxObserver &operator=(const BoxObserver &) = delete;

private:
    static std::function<void()> &Current()
    {
        static std::function<void()> current;
        return current;
    }
    static int Hook(HWND owner, const std::wstring &text, const std::wstring &caption, UINT type)
    {
        if (Current())
            Current()();
        return s_next(owner, text, caption, type);
    }
    static ui::MessageBoxHook s_next;
};
ui::MessageBoxHook BoxObserver::s_next = nullptr;

// A row that no refresh would list: while it is there, the list has not been refreshed.
const wchar_t kMarker[] = L"marker";

// Records the progress the worker posts to the progress dialog, as the dialog's loop takes it.
std::vector<LPARAM> g_progress;
LRESULT CALLBACK ProgressHook(int code, WPARAM wParam, LPARAM lParam)
{
    const MSG *msg = reinterpret_cast<const MSG *>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && msg->message == WM_INSTALL_PROGRESS && msg->wParam == 1)
        g_progress.push_back(msg->lParam);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

class Installer : public ::testing::Test
{
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        m_record = std::wstring(temp) + L"devcon-record-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(m_record.c_str(), nullptr);
        ClearRecord();
        SetEnvironmentVariableW(L"DEVCON_RECORD", m_record.c_str());
        SetEnvironmentVariableW(L"DEVCON_EXIT", nullptr);
        SetEnvironmentVariableW(L"DEVCON_DELAY", nullptr);
        m_workFoldersBefore = WorkFolders();
        g_progress.clear();
    }
    void TearDown() override
    {
        ClearRecord();
        RemoveDirectoryW(m_record.c_str());
        SetEnvironmentVariableW(L"DEVCON_RECORD", nullptr);
        SetEnvironmentVariableW(L"DEVCON_DELAY", nullptr);
        EXPECT_EQ(m_workFoldersBefore, WorkFolders()) << "every work folder is removed";
    }
    void ClearRecord()
    {
        for (const wchar_t *file : {L"module.txt", L"cmdline.txt", L"cwd.txt", L"inf.txt"})
            DeleteFileW((m_record + L"\\" + file).c_str());
    }
    std::wstring Recorded(const wchar_t *file) { return ReadUtf16(m_record + L"\\" + file); }

    // Runs the main dialog with the script's steps; the last step must end it.
    void RunMainDialog(std::vector<Script::Step> steps)
    {
        Script script(std::move(steps));
        HHOOK hook = SetWindowsHookExW(WH_GETMESSAGE, &ProgressHook, nullptr, GetCurrentThreadId());
        guitest::ModalWatchdog watchdog(30000);
        m_dialog.DoModal(nullptr);
        UnhookWindowsHookEx(hook);
        EXPECT_FALSE(watchdog.Fired()) << "stopped after " << script.Done() << " steps";
    }
    // A step that ends the main dialog once cond holds.
    static Script::Step Close(std::function<bool()> cond = nullptr)
    {
        return {L"Virtual Port Manager", std::move(cond), [](HWND d) { PostClick(d, IDCANCEL); }};
    }
    void AddMarkerRow() { m_dialog.GetList().InsertItem(m_dialog.GetList().GetItemCount(), kMarker); }
    bool HasMarkerRow()
    {
        for (const std::wstring &row : Rows()) {
            if (row.compare(0, wcslen(kMarker), kMarker) == 0)
                return true;
        }
        return false;
    }
    std::vector<std::wstring> Rows()
    {
        std::vector<std::wstring> rows;
        ui::CListViewCtrl &list = m_dialog.GetList();
        for (int i = 0; i < list.GetItemCount(); ++i)
            rows.push_back(list.GetItemText(i, 0) + L"|" + list.GetItemText(i, 1));
        return rows;
    }

    std::wstring m_record;
    std::vector<std::wstring> m_workFoldersBefore;
    CMainDlg m_dialog;
};

// The package folder for this machine: x86 in a 32-bit prefix, amd64 in a 64-bit one.
const wchar_t *NativeArchFolder()
{
    SYSTEM_INFO info = {};
    GetNativeSystemInfo(&info);
    return info.wProcessorArchitecture == 9 ? L"amd64" : info.wProcessorArchitecture == 6 ? L"ia64" : L"x86";
}

// The install's progress over the program's own package as its reader lists it: for every item
// i of count whose name holds the architecture's folder, (i + 1) * 50 / count; then 80 once
// the tool has run, 90 and 100.
std::vector<LPARAM> ExpectedInstallProgress()
{
    const wchar_t *arch = NativeArchFolder();
    DWORD size = 0;
    const void *package = LoadPackage(&size);
    EXPECT_NE(nullptr, package);
    CArchiveReader reader;
    reader.Open(package, size);
    const uint32_t count = reader.GetItemCount();
    EXPECT_GT(count, 6u) << "the test package: two folders, each with the tool, INF and more";
    std::vector<LPARAM> values;
    for (uint32_t i = 0; i < count; ++i) {
        std::wstring name;
        reader.GetItemName(i, name);
        if (name.find(arch) != std::wstring::npos)
            values.push_back(static_cast<LPARAM>((i + 1) * 50 / count));
    }
    reader.Close();
    values.insert(values.end(), {80, 90, 100});
    return values;
}

// The busy window goes first: the program starts its thread once, over its first dialog.
// --- The busy window ------------------------------------------------------------------------------

TEST_F(Installer, BusyWindowWaitsHiddenOverTheDialog)
{
    RECT dialog = {}, busy = {};
    bool visible = true;
    RunMainDialog({{L"Virtual Port Manager", [] { return WaitWindow() != nullptr; }, [&](HWND d) {
                        GetWindowRect(d, &dialog);
                        GetWindowRect(WaitWindow(), &busy);
                        visible = IsWindowVisible(WaitWindow()) != FALSE;
                        PostClick(d, IDCANCEL);
                    }}});
    EXPECT_FALSE(visible);
    // Shrunk by whole halves of the difference on each side: 100 x 80, one more where the
    // difference is odd.
    const int width = dialog.right - dialog.left, height = dialog.bottom - dialog.top;
    EXPECT_EQ(width - (width - 100) / 2 * 2, busy.right - busy.left);
    EXPECT_EQ(height - (height - 80) / 2 * 2, busy.bottom - busy.top);
    EXPECT_NEAR((dialog.left + dialog.right) / 2, (busy.left + busy.right) / 2, 1);
    EXPECT_EQ(0, WaitStep()) << "nothing starts its timer";
}

// --- The list --------------------------------------------------------------------------------------

TEST_F(Installer, ListShowsThePortsOfTheVirtualPortDevices)
{
    std::vector<std::wstring> empty, listed, columns;
    DWORD extended = 0;
    {
        RunMainDialog({{L"Virtual Port Manager", nullptr, [&](HWND d) {
                            empty = Rows();
                            HWND header = ListView_GetHeader(m_dialog.GetList().m_hWnd);
                            for (int i = 0; i < Header_GetItemCount(header); ++i)
                                columns.push_back(m_dialog.GetList().GetColumnHeading(i));
                            extended = m_dialog.GetList().GetExtendedListViewStyle();
                            PostClick(d, IDCANCEL);
                        }}});
    }
    EXPECT_TRUE(empty.empty());
    EXPECT_EQ((std::vector<std::wstring>{L"Name", L"Type"}), columns);
    EXPECT_EQ(static_cast<DWORD>(LVS_EX_FULLROWSELECT), extended);

    VirtualPorts ports;
    ports.Add(L"COM7");
    ports.Add(nullptr);              // no PortName: not listed
    ports.Add(L"COM1234567");        // 10 characters: not listed
    ports.Add(L"LPT2");
    RunMainDialog({{L"Virtual Port Manager", nullptr, [&](HWND d) { listed = Rows(); PostClick(d, IDCANCEL); }}});
    EXPECT_EQ((std::vector<std::wstring>{L"COM7|USB", L"LPT2|USB"}), listed);
}

// --- Install and removal ------------------------------------------------------------------------------

TEST_F(Installer, InstallRunsTheToolOnThePatchedInfAndReports)
{
    struct Row
    {
        const char *name;
        int radio;              // IDC_SERIAL or IDC_PARALLEL
        const wchar_t *exitCode;
        const wchar_t *message;
        UINT icon;
    };
    const Row rows[] = {
        {"serial", IDC_SERIAL, L"0", L"Port installation is successful!", MB_ICONINFORMATION},
        {"parallel", IDC_PARALLEL, L"0", L"Port installation is successful!", MB_ICONINFORMATION},
        {"the tool fails", IDC_SERIAL, L"5", L"Fail to install the port!", MB_ICONERROR},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        ClearRecord();
        g_progress.clear();
        SetEnvironmentVariableW(L"DEVCON_EXIT", row.exitCode);
        guitest::MessageBoxRecorder boxes;
        RunMainDialog({
            {L"Virtual Port Manager", nullptr, [](HWND d) { PostClick(d, IDC_INSTALL); }},
            {L"Select Port Type", nullptr, [&](HWND d) {
                 CheckRadioButton(d, IDC_SERIAL, IDC_PARALLEL, row.radio);
                 PostClick(d, IDOK);
             }},
            Close([&] { return !boxes.boxes.empty(); }),
        });
        ASSERT_EQ(1u, boxes.boxes.size());
        EXPECT_EQ(row.message, boxes.boxes[0].text);
        EXPECT_EQ(L"installer_gui_tests", boxes.boxes[0].caption) << "the program's name";
        EXPECT_EQ(static_cast<UINT>(MB_OK | row.icon), boxes.boxes[0].type);

        // "<work folder>\x86\devcon" install Quorvallent.inf DOZ\Quorvallent, run in x86 (amd64
        // on a 64-bit system).
        const std::wstring cwd = Recorded(L"cwd.txt");
        EXPECT_EQ(L"\"" + cwd + L"\\devcon\" install Quorvallent.inf DOZ\\Quorvallent", Recorded(L"cmdline.txt"));
        const std::wstring archFolder = std::wstring(L"\\") + NativeArchFolder();
        ASSERT_GT(cwd.size(), archFolder.size());
        EXPECT_EQ(archFolder, cwd.substr(cwd.size() - archFolder.size()));
        EXPECT_EQ(0u, cwd.find(m_record.substr(0, m_record.rfind(L'\\') + 1) + L"vp")) << Narrow(cwd);

        // The INF the tool saw has the chosen port type's lines switched on, the others not.
        const std::string inf = ReadBytes(m_record + L"\\inf.txt");
        const bool serial = row.radio == IDC_SERIAL;
        const struct { const char *line; bool serialLine; } lines[] = {
            {"HKR,,EnumPropPages32,,\"MsPorts.dll,SerialPortPropPageProvider\"", true},
            {"HKR,,PortSubClass,1,00", false},
            {"HKR,,EnumPropPages32,,\"MsPorts.dll,ParallelPortPropPageProvider\"", false},
            {"HKR,,DeviceType,0x00010001,0x0000001B ;serial", true},
            {"HKR,,DeviceType,0x00010001,0x00000016 ;parallel", false},
        };
        for (const auto &l : lines) {
            const bool on = l.serialLine == serial;
            EXPECT_NE(std::string::npos, inf.find(std::string(on ? "\n " : "\n;") + l.line)) << l.line;
        }

        // Progress: one value per item of the architecture, by (i + 1) * 50 / count, then 80,
        // 90 and 100 (80 only when the tool ran).
        EXPECT_EQ(ExpectedInstallProgress(), g_progress);
        ASSERT_GE(g_progress.size(), 3u);
        EXPECT_EQ((std::vector<LPARAM>{80, 90, 100}),
                  std::vector<LPARAM>(g_progress.end() - 3, g_progress.end()));
        EXPECT_TRUE(std::is_sorted(g_progress.begin(), g_progress.end()));
        EXPECT_LE(g_progress[g_progress.size() - 4], 50);
    }
}

TEST_F(Installer, InstallIsRefusedOrCancelledBeforeAnythingRuns)
{
    // Cancel in the port type dialog.
    {
        guitest::MessageBoxRecorder boxes;
        RunMainDialog({
            {L"Virtual Port Manager", nullptr, [](HWND d) { PostClick(d, IDC_INSTALL); }},
            {L"Select Port Type", nullptr, [](HWND d) { PostClick(d, IDCANCEL); }},
            Close([] { return !FindWindowW(L"#32770", L"Select Port Type"); }),
        });
        EXPECT_TRUE(boxes.boxes.empty());
        EXPECT_EQ(L"<missing>", Recorded(L"cmdline.txt"));
    }
    // A port is listed already.
    VirtualPorts ports;
    ports.Add(L"COM9");
    guitest::MessageBoxRecorder boxes;
    RunMainDialog({
        {L"Virtual Port Manager", nullptr, [](HWND d) { PostClick(d, IDC_INSTALL); }},
        Close([&] { return !boxes.boxes.empty(); }),
    });
    ASSERT_EQ(1u, boxes.boxes.size());
    EXPECT_EQ(L"The port exists!", boxes.boxes[0].text);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION), boxes.boxes[0].type);
    EXPECT_EQ(L"<missing>", Recorded(L"cmdline.txt"));
}

TEST_F(Installer, UninstallRunsOnlyTheToolForTheSelectedPort)
{
    VirtualPorts ports;
    ports.Add(L"COM9");
    const struct { const char *name; bool select; const wchar_t *exitCode; std::vector<std::wstring> messages; } rows[] = {
        {"nothing selected", false, L"0", {L"Please select one port first!"}},
        {"the tool succeeds", true, L"0", {L"Port uninstall is successful!"}},
        {"the tool fails", true, L"2", {L"Fail to uninstall the port!"}},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        ClearRecord();
        SetEnvironmentVariableW(L"DEVCON_EXIT", row.exitCode);
        guitest::MessageBoxRecorder boxes;
        RunMainDialog({
            {L"Virtual Port Manager", nullptr, [&](HWND d) {
                 if (row.select)
                     m_dialog.GetList().SetItemState(0, LVIS_SELECTED, LVIS_SELECTED);
                 PostClick(d, IDC_UNINSTALL);
             }},
            Close([&] { return !boxes.boxes.empty(); }),
        });
        std::vector<std::wstring> messages;
        for (const auto &b : boxes.boxes)
            messages.push_back(b.text);
        EXPECT_EQ(row.messages, messages);
        if (!row.select) {
            EXPECT_EQ(L"<missing>", Recorded(L"cmdline.txt"));
            continue;
        }
        const std::wstring cwd = Recorded(L"cwd.txt");
        EXPECT_EQ(L"\"" + cwd + L"\\devcon\" remove DOZ\\Quorvallent", Recorded(L"cmdline.txt"));
        EXPECT_EQ("<missing>", ReadBytes(m_record + L"\\inf.txt")) << "only the tool is extracted";
    }
}

TEST_F(Installer, ProgressDialogStaysUpWhileTheToolRuns)
{
    // The tool takes its time; meanwhile every way of ending a dialog is tried on the progress
    // dialog. It must stay, and the outcome is the tool's exit code.
    const struct { const char *name; const wchar_t *exitCode; const wchar_t *message; UINT icon; } rows[] = {
        // name              exit code  message                                 icon
        {"the tool succeeds", L"0", L"Port installation is successful!", MB_ICONINFORMATION},
        {"the tool fails", L"3", L"Fail to install the port!", MB_ICONERROR},
    };
    SetEnvironmentVariableW(L"DEVCON_DELAY", L"1500");
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        ClearRecord();
        g_progress.clear();
        SetEnvironmentVariableW(L"DEVCON_EXIT", row.exitCode);
        guitest::MessageBoxRecorder boxes;
        HWND progress = nullptr;
        DWORD triedAt = 0;
        bool upAfterTries = false, mainDisabled = false;
        LONG style = 0, exStyle = 0;
        RunMainDialog({
            {L"Virtual Port Manager", nullptr, [](HWND d) { PostClick(d, IDC_INSTALL); }},
            {L"Select Port Type", nullptr, [](HWND d) { PostClick(d, IDOK); }},
            // Once the tool has started (it records its command line first).
            {nullptr, [&] { return Recorded(L"cmdline.txt") != L"<missing>"; }, [&](HWND d) {
                 progress = d;
                 style = GetWindowLongW(d, GWL_STYLE);
                 exStyle = GetWindowLongW(d, GWL_EXSTYLE);
                 PostMessageW(d, WM_KEYDOWN, VK_ESCAPE, 0);
                 PostMessageW(d, WM_KEYUP, VK_ESCAPE, 0);
                 PostMessageW(d, WM_KEYDOWN, VK_RETURN, 0);
                 PostMessageW(d, WM_KEYUP, VK_RETURN, 0);
                 PostMessageW(d, WM_COMMAND, IDCANCEL, 0);
                 PostMessageW(d, WM_COMMAND, IDOK, 0);
                 PostMessageW(d, WM_CLOSE, 0, 0);
                 PostMessageW(d, WM_SYSCOMMAND, SC_CLOSE, 0);
                 triedAt = GetTickCount();
             }},
            // Well after the tries were taken, and still within the tool's run.
            {L"Virtual Port Manager", [&] { return GetTickCount() - triedAt >= 300; }, [&](HWND) {
                 upAfterTries = IsWindow(progress) && IsWindowVisible(progress) && ProgressDialog() == progress;
                 mainDisabled = !IsWindowEnabled(m_dialog.m_hWnd);
             }},
            Close([&] { return !boxes.boxes.empty(); }),
        });
        EXPECT_TRUE(upAfterTries) << "Esc, Enter, IDOK, IDCANCEL, WM_CLOSE or SC_CLOSE ended the progress dialog";
        EXPECT_TRUE(mainDisabled) << "the main dialog takes no second install meanwhile";
        // A popup with a thin border and the tool-window style: no caption, no modal frame.
        EXPECT_EQ(WS_BORDER, style & (WS_CAPTION | WS_DLGFRAME | WS_THICKFRAME | WS_SYSMENU | WS_BORDER)) << std::hex << style;
        EXPECT_TRUE(style & WS_POPUP);
        EXPECT_EQ(WS_EX_TOOLWINDOW, exStyle & (WS_EX_TOOLWINDOW | WS_EX_DLGMODALFRAME)) << std::hex << exStyle;
        ASSERT_EQ(1u, boxes.boxes.size());
        EXPECT_EQ(row.message, boxes.boxes[0].text);
        EXPECT_EQ(static_cast<UINT>(MB_OK | row.icon), boxes.boxes[0].type);
        EXPECT_EQ(ExpectedInstallProgress(), g_progress);
    }
}

TEST_F(Installer, UninstallMessagesTheirIconsAndTheRefresh)
{
    // The list holds a row that no refresh lists: seen at the message box, the list had not
    // been refreshed yet; gone afterwards, it was refreshed at some point.
    VirtualPorts ports;
    ports.Add(L"COM9");
    const struct
    {
        const char *name;
        bool select;
        const wchar_t *exitCode;
        const wchar_t *message;
        UINT icon;
        bool refreshedBeforeBox;
        bool refreshedAfterAll;
    } rows[] = {
        // name               select exit  message                             icon                refreshed: before box, at all
        {"nothing selected", false, L"0", L"Please select one port first!", MB_ICONEXCLAMATION, false, false},
        {"the tool fails", true, L"2", L"Fail to uninstall the port!", MB_ICONERROR, false, true},
        {"the tool succeeds", true, L"0", L"Port uninstall is successful!", MB_ICONINFORMATION, true, true},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        ClearRecord();
        SetEnvironmentVariableW(L"DEVCON_EXIT", row.exitCode);
        guitest::MessageBoxRecorder boxes;
        std::vector<bool> markerAtBox;
        BoxObserver observer([&] { markerAtBox.push_back(HasMarkerRow()); });
        bool markerAfter = false;
        RunMainDialog({
            {L"Virtual Port Manager", nullptr, [&](HWND d) {
                 if (row.select)
                     m_dialog.GetList().SetItemState(0, LVIS_SELECTED, LVIS_SELECTED);
                 AddMarkerRow();
                 PostClick(d, IDC_UNINSTALL);
             }},
            Close([&] {
                if (boxes.boxes.empty())
                    return false;
                markerAfter = HasMarkerRow();
                return true;
            }),
        });
        ASSERT_EQ(1u, boxes.boxes.size());
        EXPECT_EQ(row.message, boxes.boxes[0].text);
        EXPECT_EQ(static_cast<UINT>(MB_OK | row.icon), boxes.boxes[0].type);
        EXPECT_EQ(L"installer_gui_tests", boxes.boxes[0].caption);
        ASSERT_EQ(1u, markerAtBox.size());
        EXPECT_EQ(!row.refreshedBeforeBox, markerAtBox[0]) << "refreshed before the message";
        EXPECT_EQ(!row.refreshedAfterAll, markerAfter) << "refreshed at all";
    }
}

// --- A package with an item too long for MAX_PATH -----------------------------------------------------

// The archives of tests/installer/make_test_archives.py.
std::wstring TestArchive(const wchar_t *name)
{
    std::wstring folder;
    for (const char *c = TEST_ARCHIVES; *c; ++c)
        folder += *c == '/' ? L'\\' : static_cast<wchar_t>(*c);
    return folder + L"\\" + name;
}

// Every file and folder below folder, relative, sorted.
void ListTree(const std::wstring &folder, const std::wstring &prefix, std::vector<std::wstring> &out)
{
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..")
            continue;
        out.push_back(prefix + name);
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ListTree(folder + L"\\" + name, prefix + name + L"\\", out);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    std::sort(out.begin(), out.end());
}

// The installer's trace lines, from whichever thread.
std::mutex g_traceLock;
std::vector<std::wstring> g_traceLines;
void RecordTrace(const wchar_t *line)
{
    std::lock_guard<std::mutex> hold(g_traceLock);
    g_traceLines.push_back(line);
}
bool TracedStartingWith(const std::wstring &start)
{
    std::lock_guard<std::mutex> hold(g_traceLock);
    for (const std::wstring &line : g_traceLines) {
        if (line.compare(0, start.size(), start) == 0)
            return true;
    }
    return false;
}

// Run from a current folder holding files of its own, install and removal where an item's path
// in the work folder would not fit MAX_PATH: a package whose architecture folder holds a tool two
// folders of 200 characters deep, or the program's own package under a temporary folder of 240
// characters. The item is refused, the tool is not run, the program reports the failure, no
// work folder stays and the current folder keeps every file. (Before, a folder path past
// MAX_PATH made the clean-up delete the current folder's files under Wine.)
TEST_F(Installer, AnItemTooLongForItsPathInstallsAndRemovesNothing)
{
    const std::string deepPackage = ReadBytes(TestArchive(L"farpath.7z"));
    ASSERT_NE("<missing>", deepPackage);

    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring current = std::wstring(temp) + L"current-folder-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(current.c_str(), nullptr);
    CreateDirectoryW((current + L"\\receipts").c_str(), nullptr);
    for (const wchar_t *file : {L"\\shop.ini", L"\\receipts\\0001.txt"}) {
        HANDLE h = CreateFileW((current + file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, h);
        CloseHandle(h);
    }
    std::vector<std::wstring> before;
    ListTree(current, L"", before);
    ASSERT_EQ(3u, before.size());
    wchar_t previous[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(current.c_str()));
    const TraceSink previousSink = SetTraceSink(&RecordTrace);

    // 240 characters: GetTempFileName still takes it (at most MAX_PATH - 14), and the work
    // folder's "x86\devcon.exe" comes to 266 or so.
    const std::wstring shared(temp, wcslen(temp) - 1);
    const std::wstring longTemp = shared + L"\\" + std::wstring(240 - shared.size() - 1, L'l');
    ASSERT_TRUE(CreateDirectoryW(longTemp.c_str(), nullptr));

    const struct
    {
        const char *name;
        bool removal;
        bool deep;              // the deep package, else the program's own in the long folder
        const wchar_t *message;
    } rows[] = {
        // name                      removal deep   message
        {"install, deep item", false, true, L"Fail to install the port!"},
        {"removal, deep item", true, true, L"Fail to uninstall the port!"},
        {"install, long temporary folder", false, false, L"Fail to install the port!"},
        {"removal, long temporary folder", true, false, L"Fail to uninstall the port!"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        if (row.deep)
            m_dialog.UsePackage(deepPackage.data(), static_cast<DWORD>(deepPackage.size()));
        else
            m_dialog.UsePackage(nullptr, 0);
        SetEnvironmentVariableW(L"TMP", row.deep ? shared.c_str() : longTemp.c_str());
        SetEnvironmentVariableW(L"TEMP", row.deep ? shared.c_str() : longTemp.c_str());
        const std::vector<std::wstring> workFoldersBefore = WorkFolders();
        ClearRecord();
        {
            std::lock_guard<std::mutex> hold(g_traceLock);
            g_traceLines.clear();
        }
        // Removal needs a selected port; install refuses while one is listed.
        VirtualPorts ports;
        if (row.removal)
            ports.Add(L"COM9");
        guitest::MessageBoxRecorder boxes;
        std::vector<std::wstring> workFoldersAtBox;
        BoxObserver observer([&] { workFoldersAtBox = WorkFolders(); });
        std::vector<Script::Step> steps = {{L"Virtual Port Manager", nullptr, [&](HWND d) {
                                                if (row.removal) {
                                                    m_dialog.GetList().SetItemState(0, LVIS_SELECTED, LVIS_SELECTED);
                                                    PostClick(d, IDC_UNINSTALL);
                                                } else {
                                                    PostClick(d, IDC_INSTALL);
                                                }
                                            }}};
        if (!row.removal)
            steps.push_back({L"Select Port Type", nullptr, [](HWND d) { PostClick(d, IDOK); }});
        steps.push_back(Close([&] { return !boxes.boxes.empty(); }));
        RunMainDialog(std::move(steps));
        const std::vector<std::wstring> workFoldersAfter = WorkFolders();
        SetEnvironmentVariableW(L"TMP", shared.c_str());
        SetEnvironmentVariableW(L"TEMP", shared.c_str());
        ASSERT_EQ(1u, boxes.boxes.size());
        EXPECT_EQ(row.message, boxes.boxes[0].text);
        EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONERROR), boxes.boxes[0].type);
        EXPECT_TRUE(TracedStartingWith(L"skip item, path of ")) << "the long item is refused";
        EXPECT_FALSE(TracedStartingWith(L"start to ")) << "the tool ran";
        EXPECT_FALSE(TracedStartingWith(L"CreateProcess fail")) << "the tool was tried";
        EXPECT_FALSE(TracedStartingWith(L"work folder left"));
        EXPECT_EQ(L"<missing>", Recorded(L"cmdline.txt"));
        EXPECT_EQ(workFoldersBefore, workFoldersAfter) << "a work folder stays in the temporary folder";
        if (!row.removal) {
            // The install's worker has removed its work folder before the failure is shown.
            EXPECT_EQ(workFoldersBefore, workFoldersAtBox);
        }
        std::vector<std::wstring> after;
        ListTree(current, L"", after);
        EXPECT_EQ(before, after) << "the current folder lost or gained files";
    }

    m_dialog.UsePackage(nullptr, 0);
    EXPECT_TRUE(RemoveDirectoryW(longTemp.c_str())) << "the long temporary folder holds something";
    SetTraceSink(previousSink);
    SetCurrentDirectoryW(previous);
    DeleteFileW((current + L"\\receipts\\0001.txt").c_str());
    DeleteFileW((current + L"\\shop.ini").c_str());
    RemoveDirectoryW((current + L"\\receipts").c_str());
    RemoveDirectoryW(current.c_str());
}

// --- Renaming ---------------------------------------------------------------------------------------

class Rename : public Installer
{
protected:
    void SetUp() override
    {
        Installer::SetUp();
        SaveMap(L"HARDWARE\\DEVICEMAP\\SERIALCOMM", m_serial);
        SaveMap(L"HARDWARE\\DEVICEMAP\\PARALLEL PORTS", m_parallel);
        m_previous = SetChangeStateFn(&ChangeState);
        s_changes = 0;
        s_changeResult = TRUE;
    }
    void TearDown() override
    {
        SetChangeStateFn(m_previous);
        RestoreMap(L"HARDWARE\\DEVICEMAP\\SERIALCOMM", m_serial);
        RestoreMap(L"HARDWARE\\DEVICEMAP\\PARALLEL PORTS", m_parallel);
        Installer::TearDown();
    }
    using Map = std::vector<std::pair<std::wstring, std::wstring>>;
    static void SaveMap(const wchar_t *path, Map &map)
    {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
            return;
        wchar_t name[256], data[256];
        for (DWORD i = 0;; ++i) {
            DWORD chars = 256, bytes = sizeof(data) - 2;
            if (RegEnumValueW(key, i, name, &chars, nullptr, nullptr, reinterpret_cast<BYTE *>(data), &bytes) != ERROR_SUCCESS)
                break;
            data[bytes / 2] = 0;
            map.emplace_back(name, data);
        }
        RegCloseKey(key);
    }
    static void SetMap(const wchar_t *path, const Map &map)
    {
        SHDeleteKeyW(HKEY_LOCAL_MACHINE, path);
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr);
        for (const auto &v : map)
            RegSetValueExW(key, v.first.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE *>(v.second.c_str()),
                           static_cast<DWORD>((v.second.size() + 1) * 2));
        RegCloseKey(key);
    }
    static void RestoreMap(const wchar_t *path, const Map &map) { SetMap(path, map); }

    static LONG FailingWrite(HKEY, const std::wstring &) { return ERROR_ACCESS_DENIED; }

    static BOOL ChangeState(HDEVINFO, SP_DEVINFO_DATA *)
    {
        ++s_changes;
        if (!s_changeResult)
            SetLastError(ERROR_ACCESS_DENIED);
        return s_changeResult;
    }

    // Opens the rename dialog on the first row; pick chooses the entry (null: cancel);
    // whileOpen runs while the rename dialog is open. The list holds a marker row (kMarker)
    // until it is refreshed.
    std::vector<std::wstring> RenameFirst(const wchar_t *pick, guitest::MessageBoxRecorder &boxes,
                                          std::function<void()> whileOpen = nullptr)
    {
        std::vector<std::wstring> offered;
        bool closed = false;
        RunMainDialog({
            {L"Virtual Port Manager", nullptr, [&](HWND d) {
                 m_dialog.GetList().SetItemState(0, LVIS_SELECTED, LVIS_SELECTED);
                 AddMarkerRow();
                 PostClick(d, IDC_CHGPORT);
             }},
            {L"Change Port Number", nullptr, [&](HWND d) {
                 if (whileOpen)
                     whileOpen();
                 HWND combo = GetDlgItem(d, IDC_NEW_NAME);
                 for (LRESULT i = 0; i < SendMessageW(combo, CB_GETCOUNT, 0, 0); ++i) {
                     wchar_t text[32] = {};
                     SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
                     offered.push_back(text);
                 }
                 if (pick) {
                     SendMessageW(combo, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(pick));
                     PostClick(d, IDOK);
                 } else {
                     PostClick(d, IDCANCEL);
                 }
                 closed = true;
             }},
            {L"Virtual Port Manager", [&] { return closed && !FindWindowW(L"#32770", L"Change Port Number"); },
             [&](HWND d) {
                 m_rowsAfter = Rows();
                 PostClick(d, IDCANCEL);
             }},
        });
        (void)boxes;
        return offered;
    }

    Map m_serial, m_parallel;
    std::vector<std::wstring> m_rowsAfter;   // the list once the rename dialog has closed
    ChangeStateFn m_previous = nullptr;
    static int s_changes;
    static BOOL s_changeResult;
};

int Rename::s_changes = 0;
BOOL Rename::s_changeResult = TRUE;

TEST_F(Rename, OffersTheFreeNamesAndRenamesTheDevice)
{
    SetMap(L"HARDWARE\\DEVICEMAP\\SERIALCOMM", {{L"\\Device\\Serial0", L"COM1"}, {L"\\Device\\Serial1", L"COM2"},
                                                 {L"Zulkor0", L"COM3"}});
    VirtualPorts ports;
    ports.Add(L"COM3", L"Virtual Port");
    guitest::MessageBoxRecorder boxes;
    std::vector<std::wstring> offered = RenameFirst(L"COM5", boxes);
    ASSERT_EQ(253u, offered.size());
    EXPECT_EQ(L"COM4", offered.front());
    EXPECT_EQ(L"COM256", offered.back());
    EXPECT_EQ(L"COM5", ports.PortName(0));
    EXPECT_EQ(L"Virtual Port (COM5)", ports.FriendlyName(0));
    EXPECT_EQ(1, s_changes);
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ((std::vector<std::wstring>{L"COM5|USB"}), m_rowsAfter) << "the list was refreshed";
}

TEST_F(Rename, AFailedRestartIsReportedAndTheNameStays)
{
    SetMap(L"HARDWARE\\DEVICEMAP\\SERIALCOMM", {});
    VirtualPorts ports;
    ports.Add(L"COM3", L"Virtual Port");
    s_changeResult = FALSE;
    guitest::MessageBoxRecorder boxes;
    RenameFirst(L"COM8", boxes);
    ASSERT_EQ(1u, boxes.boxes.size());
    EXPECT_EQ(L"ChangeState fails: 5\n", boxes.boxes[0].text);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION), boxes.boxes[0].type);
    EXPECT_EQ(L"COM8", ports.PortName(0));
    EXPECT_EQ(L"Virtual Port (COM8)", ports.FriendlyName(0));
}

TEST_F(Rename, WhichDeviceIsRenamedAndWhatItIsCalled)
{
    SetMap(L"HARDWARE\\DEVICEMAP\\SERIALCOMM", {{L"Zulkor0", L"COM3"}});
    const std::wstring marker = std::wstring(kMarker) + L"|";
    const struct
    {
        const char *name;
        std::vector<const wchar_t *> descriptions;   // one device each, all named COM3
        int setup;                                   // 0 none, 1 the device is renamed behind the dialog, 2 the write fails
        std::vector<std::wstring> portNames;         // afterwards
        std::vector<std::wstring> friendlyNames;
        int restarts;
        std::vector<std::wstring> rowsAfter;
    } rows[] = {
        // The buffer still holds the old name when the description cannot be read.
        {"no description", {nullptr}, 0, {L"COM5"}, {L"COM3 (COM5)"}, 1, {L"COM5|USB"}},
        // Only the first device of the name, in enumeration (and list) order.
        {"two devices of the name", {L"Virtual Port", L"Virtual Port"}, 0, {L"COM5", L"COM3"},
         {L"Virtual Port (COM5)", L"<none>"}, 1, {L"COM5|USB", L"COM3|USB"}},
        // The list is not refreshed: it still shows the stale name and the marker.
        {"no device of the old name", {L"Virtual Port"}, 1, {L"COM4"}, {L"<none>"}, 0,
         {L"COM3|USB", marker}},
        {"the PortName write fails", {L"Virtual Port"}, 2, {L"COM3"}, {L"<none>"}, 0, {L"COM3|USB", marker}},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        s_changes = 0;
        VirtualPorts ports;
        for (const wchar_t *description : row.descriptions)
            ports.Add(L"COM3", description);
        WritePortNameFn previousWrite = SetWritePortNameFn(row.setup == 2 ? &FailingWrite : nullptr);
        guitest::MessageBoxRecorder boxes;
        RenameFirst(L"COM5", boxes, [&] {
            if (row.setup == 1)
                ports.SetPortName(0, L"COM4");
        });
        SetWritePortNameFn(previousWrite);
        EXPECT_TRUE(boxes.boxes.empty());
        EXPECT_EQ(row.restarts, s_changes);
        EXPECT_EQ(row.rowsAfter, m_rowsAfter);
        std::vector<std::wstring> names, friendly;
        for (size_t i = 0; i < row.descriptions.size(); ++i) {
            names.push_back(ports.PortName(i));
            friendly.push_back(ports.FriendlyName(i));
        }
        if (row.setup == 0 && names.size() == 2 && names[0] != L"COM5") {
            // Enumeration found the second device first: the list says which one is first.
            std::swap(names[0], names[1]);
            std::swap(friendly[0], friendly[1]);
        }
        EXPECT_EQ(row.portNames, names);
        EXPECT_EQ(row.friendlyNames, friendly);
    }
}

TEST_F(Rename, FullOrUnknownKindsOfferNothingAndChangeNothing)
{
    const struct { const char *name; const wchar_t *port; } rows[] = {
        {"every LPT name in use", L"LPT2"},
        {"neither COM nor LPT", L"USB001"},
    };
    SetMap(L"HARDWARE\\DEVICEMAP\\PARALLEL PORTS", {{L"\\Device\\Parallel0", L"\\DosDevices\\LPT1"},
                                                    {L"\\Device\\Parallel1", L"\\DosDevices\\LPT2"},
                                                    {L"\\Device\\Parallel2", L"\\DosDevices\\LPT3"}});
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        VirtualPorts ports;
        ports.Add(row.port);
        guitest::MessageBoxRecorder boxes;
        std::vector<std::wstring> offered = RenameFirst(L"", boxes);
        EXPECT_TRUE(offered.empty());
        EXPECT_EQ(row.port, ports.PortName(0));
        EXPECT_EQ(0, s_changes);
    }

    // LPT with one name free.
    SetMap(L"HARDWARE\\DEVICEMAP\\PARALLEL PORTS", {{L"\\Device\\Parallel0", L"\\DosDevices\\LPT1"}});
    VirtualPorts ports;
    ports.Add(L"LPT1");
    guitest::MessageBoxRecorder boxes;
    EXPECT_EQ((std::vector<std::wstring>{L"LPT2", L"LPT3"}), RenameFirst(nullptr, boxes));
    EXPECT_EQ(L"LPT1", ports.PortName(0)) << "cancelled";
}

// --- Resources ---------------------------------------------------------------------------------

const WORD kEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
const WORD kChinese = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);

BOOL CALLBACK AddLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR out)
{
    reinterpret_cast<std::vector<WORD> *>(out)->push_back(language);
    return TRUE;
}

std::vector<WORD> ResourceLanguages(LPCWSTR type, UINT id)
{
    std::vector<WORD> languages;
    EnumResourceLanguagesW(GetModuleHandleW(nullptr), type, MAKEINTRESOURCEW(id), &AddLanguage,
                           reinterpret_cast<LONG_PTR>(&languages));
    std::sort(languages.begin(), languages.end());
    return languages;
}

const BYTE *LoadResourceOf(LPCWSTR type, UINT id, WORD language, DWORD *size = nullptr)
{
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC info = FindResourceExW(module, type, MAKEINTRESOURCEW(id), language);
    if (!info)
        return nullptr;
    if (size)
        *size = SizeofResource(module, info);
    return static_cast<const BYTE *>(LockResource(LoadResource(module, info)));
}

// A dialog resource (the extended template windres writes) as text, one line per part:
//   dialog <cx>x<cy> style <hex> ex <hex> font <points> "<caption>"
//   <id> <class> <x>,<y>,<cx>,<cy> "<text>"
struct Template
{
    DWORD style = 0, exStyle = 0;
    std::wstring head;
    std::vector<std::wstring> controls;
};

std::wstring SzOrOrd(const WORD *&p)
{
    std::wstring text;
    if (*p == 0xFFFF) {
        text = L"#" + std::to_wstring(p[1]);
        p += 2;
        return text;
    }
    while (*p)
        text += static_cast<wchar_t>(*p++);
    ++p;
    return text;
}

// A control's class as the system reads it: an atom or a name in any letter case.
std::wstring ClassName(const std::wstring &stored)
{
    if (stored == L"#128")
        return L"button";
    if (stored == L"#130")
        return L"static";
    if (stored == L"#133")
        return L"combobox";
    std::wstring lower = stored;
    for (wchar_t &c : lower)
        c = static_cast<wchar_t>(towlower(c));
    return lower;
}

Template ReadTemplate(UINT id, WORD language)
{
    Template t;
    const BYTE *data = LoadResourceOf(RT_DIALOG, id, language);
    if (!data)
        return t;
    const WORD *p = reinterpret_cast<const WORD *>(data);
    if (p[0] != 1 || p[1] != 0xFFFF) {
        t.head = L"not an extended template";
        return t;
    }
    const DWORD *d = reinterpret_cast<const DWORD *>(p + 2);
    t.exStyle = d[1];
    t.style = d[2];
    p = reinterpret_cast<const WORD *>(d + 3);
    const WORD count = *p++;
    const short *place = reinterpret_cast<const short *>(p);
    const short cx = place[2], cy = place[3];
    p += 4;
    SzOrOrd(p);   // menu
    SzOrOrd(p);   // class
    const std::wstring caption = SzOrOrd(p);
    WORD points = 0;
    if (t.style & DS_SETFONT) {
        points = *p;
        p += 3;   // points, weight, italic and charset
        SzOrOrd(p);
    }
    t.head = L"dialog " + std::to_wstring(cx) + L"x" + std::to_wstring(cy) + L" font " + std::to_wstring(points) +
             L" \"" + caption + L"\"";
    for (WORD i = 0; i < count; ++i) {
        p = reinterpret_cast<const WORD *>((reinterpret_cast<UINT_PTR>(p) + 3) & ~static_cast<UINT_PTR>(3));
        const DWORD *item = reinterpret_cast<const DWORD *>(p);
        const short *box = reinterpret_cast<const short *>(item + 3);
        const int controlId = static_cast<int>(*reinterpret_cast<const DWORD *>(box + 4));
        p = reinterpret_cast<const WORD *>(box + 6);
        const std::wstring cls = ClassName(SzOrOrd(p));
        const std::wstring text = SzOrOrd(p);
        const WORD extra = *p++;
        p = reinterpret_cast<const WORD *>(reinterpret_cast<const BYTE *>(p) + extra);
        t.controls.push_back(std::to_wstring(controlId) + L" " + cls + L" " + std::to_wstring(box[0]) + L"," +
                             std::to_wstring(box[1]) + L"," + std::to_wstring(box[2]) + L"," +
                             std::to_wstring(box[3]) + L" \"" + text + L"\"");
    }
    return t;
}

// One string of a string table in one language, or "<missing>".
std::wstring ReadString(UINT id, WORD language)
{
    DWORD size = 0;
    const BYTE *block = LoadResourceOf(RT_STRING, id / 16 + 1, language, &size);
    if (!block)
        return L"<missing>";
    const WORD *p = reinterpret_cast<const WORD *>(block);
    for (UINT i = 0; i < id % 16; ++i)
        p += 1 + *p;
    return std::wstring(reinterpret_cast<const wchar_t *>(p + 1), *p);
}

TEST(Resources, DialogsInBothLanguagesAsSpecified)
{
    const struct
    {
        UINT id;
        WORD language;
        const wchar_t *head;
        std::vector<std::wstring> controls;
    } rows[] = {
        // dialog, language, "dialog <size> font <points> <caption>",
        //   controls as "<id> <class> <x>,<y>,<cx>,<cy> <text>"
        {IDD_MAIN, kChinese, L"dialog 234x142 font 10 \"虚拟端口管理器\"",
         {L"-1 static 7,7,80,8 \"已安装的虚拟端口：\"", L"1000 syslistview32 7,22,150,98 \"\"",
          L"1001 button 172,22,50,14 \"刷新\"", L"1002 button 172,42,50,14 \"安装\"",
          L"1003 button 172,62,50,14 \"卸载\"", L"1008 button 172,82,50,14 \"更换端口号\""}},
        {IDD_PORTTYPE, kChinese, L"dialog 188x98 font 9 \"选择端口类型\"",
         {L"1005 button 34,7,48,10 \"虚拟串口\"", L"1006 button 106,7,48,10 \"虚拟并口\"",
          L"1 button 34,77,50,14 \"确定\"", L"2 button 106,77,50,14 \"取消\""}},
        {IDD_CHGPORT, kChinese, L"dialog 186x90 font 9 \"更换端口号\"",
         {L"-1 static 34,22,28,8 \"端口名：\"", L"1009 combobox 74,20,48,100 \"\"",
          L"1 button 34,69,50,14 \"确定\"", L"2 button 102,69,50,14 \"取消\""}},
        {IDD_MAIN, kEnglish, L"dialog 234x142 font 10 \"Virtual Port Manager\"",
         {L"-1 static 7,7,80,8 \"Installed Virtual Ports:\"", L"1000 syslistview32 7,22,150,98 \"\"",
          L"1001 button 172,22,50,14 \"Refresh\"", L"1002 button 172,42,50,14 \"Install\"",
          L"1003 button 172,62,50,14 \"Uninstall\"", L"1008 button 172,82,50,14 \"Chg. Port No.\""}},
        {IDD_PORTTYPE, kEnglish, L"dialog 188x98 font 9 \"Select Port Type\"",
         {L"1005 button 34,7,71,10 \"Virtual Serial Port\"", L"1006 button 106,7,76,10 \"Virtual Parallel Port\"",
          L"1 button 34,77,50,14 \"Ok\"", L"2 button 106,77,50,14 \"Cancel\""}},
        {IDD_CHGPORT, kEnglish, L"dialog 186x90 font 9 \"Change Port Number\"",
         {L"-1 static 34,22,36,8 \"Port Name:\"", L"1009 combobox 74,20,48,100 \"\"",
          L"1 button 34,69,50,14 \"Ok\"", L"2 button 102,69,50,14 \"Cancel\""}},
        // The progress dialog has no text and exists once, in the Chinese set.
        {IDD_WAIT, kChinese, L"dialog 160x80 font 8 \"\"", {L"1007 msctls_progress32 7,32,146,14 \"\""}},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(testing::Message() << "dialog " << row.id << " language " << row.language);
        const Template t = ReadTemplate(row.id, row.language);
        EXPECT_EQ(row.head, t.head) << Narrow(t.head);
        EXPECT_EQ(row.controls, t.controls);
    }
    EXPECT_EQ((std::vector<WORD>{kEnglish, kChinese}), ResourceLanguages(RT_DIALOG, IDD_MAIN));
    EXPECT_EQ((std::vector<WORD>{kEnglish, kChinese}), ResourceLanguages(RT_DIALOG, IDD_PORTTYPE));
    EXPECT_EQ((std::vector<WORD>{kEnglish, kChinese}), ResourceLanguages(RT_DIALOG, IDD_CHGPORT));
    EXPECT_EQ((std::vector<WORD>{kChinese}), ResourceLanguages(RT_DIALOG, IDD_WAIT));

    // Styles: the progress dialog is a popup with a thin border and the tool-window style, and
    // no modal frame; the others have a caption, system menu and modal frame.
    const Template wait = ReadTemplate(IDD_WAIT, kChinese);
    EXPECT_EQ(static_cast<DWORD>(DS_SETFONT | WS_POPUP | WS_BORDER), wait.style) << std::hex << wait.style;
    EXPECT_EQ(static_cast<DWORD>(WS_EX_TOOLWINDOW), wait.exStyle) << std::hex << wait.exStyle;
    for (UINT id : {IDD_MAIN, IDD_PORTTYPE, IDD_CHGPORT}) {
        for (WORD language : {kEnglish, kChinese}) {
            const DWORD style = ReadTemplate(id, language).style;
            EXPECT_EQ(static_cast<DWORD>(DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU), style)
                << id << " " << language << " " << std::hex << style;
        }
    }
}

TEST(Resources, StringsInBothLanguagesAsSpecified)
{
    const struct
    {
        UINT id;
        const wchar_t *english;
        const wchar_t *chinese;
    } rows[] = {
        // id      English                               Chinese
        {40000, L"Warning", L"警告"},
        {40001, L"Error", L"错误"},
        {40002, L"The port exists!", L"端口已经存在！"},
        {40003, L"There is no any port!", L"没有任何端口！"},
        {40004, L"Please select one port first!", L"请先选择一个端口！"},
        {40005, L"Fail to install the port!", L"端口安装失败！"},
        {40006, L"Fail to uninstall the port!", L"端口卸载失败！"},
        {40007, L"Name", L"名称"},
        {40008, L"Port installation is successful!", L"端口安装成功！"},
        {40009, L"Port uninstall is successful!", L"端口卸载成功！"},
        {40010, L"Type", L"类型"},
    };
    for (const auto &row : rows) {
        EXPECT_EQ(row.english, ReadString(row.id, kEnglish)) << row.id;
        EXPECT_EQ(row.chinese, ReadString(row.id, kChinese)) << row.id;
    }
    EXPECT_EQ((std::vector<WORD>{kEnglish, kChinese}), ResourceLanguages(RT_STRING, 40000 / 16 + 1));
}

// --- The program -----------------------------------------------------------------------------------

TEST(Program, StartsWithItsDialogAndEndsWhenItCloses)
{
    std::wstring exe = PELKRANE_EXE;
    std::replace(exe.begin(), exe.end(), L'/', L'\\');
    std::wstring command = L"\"" + exe + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
    HWND window = nullptr;
    for (int i = 0; i < 300 && !window; ++i) {
        Sleep(50);
        HWND found = FindWindowW(L"#32770", L"Virtual Port Manager");
        DWORD owner = 0;
        GetWindowThreadProcessId(found, &owner);
        if (found && owner == process.dwProcessId)
            window = found;
    }
    EXPECT_NE(nullptr, window);
    if (window)
        PostMessageW(window, WM_CLOSE, 0, 0);
    else
        TerminateProcess(process.hProcess, 99);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.hProcess, 30000));
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    EXPECT_EQ(0u, code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

} // namespace
