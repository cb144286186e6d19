// The device commands of the setup utility driven through their dialogs on the real frame:
// controls set and buttons clicked from inside each modal loop, message boxes recorded, and
// the registry read back after every scenario.
#include <windows.h>
#include <commctrl.h>
#include <shlwapi.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "DeviceTree.h"
#include "MainFrm.h"
#include "gui_test_util.h"
#include "opos_setup.h"
#include "setup_test_util.h"
#include "strings.h"

namespace {

using setuptest::SetDword;
using setuptest::SetString;
using setuptest::ValueNames;

const std::wstring kRoot = L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\";
const std::wstring kPrinters = kRoot + L"POSPrinter";
const std::wstring kDrawers = kRoot + L"CashDrawer";
const std::wstring kServerKey = std::wstring(L"CLSID\\") + kServiceObjectClsid + L"\\InprocServer32";

// --- Registry -------------------------------------------------------------------------------------



// "absent", "sz:<text>" or "dword:<number>": one comparable text per value.
std::wstring Value(const std::wstring &path, const wchar_t *name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return L"no key";
    BYTE data[2048] = {};
    DWORD bytes = sizeof(data) - 2, type = 0;
    LONG rc = RegQueryValueExW(key, name, nullptr, &type, data, &bytes);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS)
        return L"absent";
    if (type == REG_DWORD)
        return L"dword:" + std::to_wstring(*reinterpret_cast<DWORD *>(data));
    if (type == REG_SZ)
        return L"sz:" + std::wstring(reinterpret_cast<wchar_t *>(data));
    return L"type " + std::to_wstring(type);
}

// Every value of an HKLM key (name, type and data bytes) and the names of its subkeys, in
// registry order: equal snapshots mean an unchanged key.
std::vector<std::wstring> Snapshot(const std::wstring &path)
{
    std::vector<std::wstring> entries;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return {L"no key"};
    wchar_t name[256];
    BYTE data[4096];
    for (DWORD i = 0;; ++i) {
        DWORD chars = 256, bytes = sizeof(data), type = 0;
        if (RegEnumValueW(key, i, name, &chars, nullptr, &type, data, &bytes) != ERROR_SUCCESS)
            break;
        std::wstring entry = L"value " + std::wstring(name) + L" type " + std::to_wstring(type) + L":";
        for (DWORD b = 0; b < bytes; ++b)
            entry += L" " + std::to_wstring(data[b]);
        entries.push_back(entry);
    }
    for (DWORD i = 0;; ++i) {
        DWORD chars = 256;
        if (RegEnumKeyExW(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        entries.push_back(L"subkey " + std::wstring(name));
    }
    RegCloseKey(key);
    return entries;
}

bool KeyExists(const std::wstring &path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}


void DeleteTestEntries(const std::wstring &classPath)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, classPath.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return;
    std::vector<std::wstring> subkeys;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD chars = 256;
        if (RegEnumKeyExW(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        subkeys.push_back(name);
    }
    for (const auto &subkey : subkeys)
        if (_wcsnicmp(subkey.c_str(), L"DlgTest", 7) == 0)
            SHDeleteKeyW(key, subkey.c_str());
    for (const auto &value : ValueNames(classPath))
        if (_wcsnicmp(value.c_str(), L"DlgTest", 7) == 0)
            RegDeleteValueW(key, value.c_str());
    RegCloseKey(key);
}

// --- The catalogue the add device dialog reads ---------------------------------------------------

const char kCatalogue[] = R"(<?xml version="1.0" encoding="utf-8"?>
<catalogue>
  <device type="POSPrinter" model="DlgTest Serial" soname="Test.Serial.SO">
    <param port="none" name="DeviceDesc" value="serial model"/>
    <param port="none" name="GroupID" value="DLGS"/>
    <param port="none" name="OutputBuf" type="dword" value="0x1000"/>
    <param port="serial" name="Port" value="COM3"/>
    <param port="serial" name="Baudrate" type="dword" value="6"/>
    <param port="serial" name="BaudrateSel" value="6,7,10"/>
    <param port="parallel" name="Port" value="LPT2"/>
    <param port="usb" name="UsbOnly" value="x"/>
  </device>
  <device type="POSPrinter" model="DlgTest Alone" soname="Test.Alone.SO">
    <param port="none" name="DeviceDesc" value="no port kind"/>
  </device>
  <device type="CashDrawer" model="DlgTest Drawer" soname="Test.Drawer.SO">
    <param port="ethernet" name="Port" value="10.0.0.9"/>
  </device>
</catalogue>
)";

// --- Dialog driving -------------------------------------------------------------------------------

void Click(HWND dialog, int id)
{
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// Selects the entry with exactly this text and tells the dialog, as a user's choice would.
bool Choose(HWND dialog, int id, const wchar_t *text)
{
    HWND combo = GetDlgItem(dialog, id);
    LRESULT index = SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(text));
    if (index == CB_ERR)
        return false;
    SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
    return true;
}

std::vector<std::wstring> Entries(HWND dialog, int id)
{
    HWND combo = GetDlgItem(dialog, id);
    std::vector<std::wstring> entries;
    for (LRESULT i = 0; i < SendMessageW(combo, CB_GETCOUNT, 0, 0); ++i) {
        wchar_t text[256] = {};
        SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        entries.push_back(text);
    }
    return entries;
}

std::wstring Selected(HWND dialog, int id)
{
    HWND combo = GetDlgItem(dialog, id);
    LRESULT index = SendMessageW(combo, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR)
        return L"<none>";
    wchar_t text[256] = {};
    SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
    return text;
}

std::wstring Text(HWND dialog, int id) { return ui::GetWindowString(GetDlgItem(dialog, id)); }
void SetText(HWND dialog, int id, const std::wstring &text) { SetDlgItemTextW(dialog, id, text.c_str()); }

std::string Narrow(const std::wstring &text)
{
    std::string out;
    for (wchar_t c : text)
        out += c < 128 ? static_cast<char>(c) : '?';
    return out;
}

class Dialogs : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // A folder of its own with the test catalogue as config.xml, as the current directory.
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        m_folder = std::wstring(temp) + L"brenvik-dialogs-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(m_folder.c_str(), nullptr);
        GetCurrentDirectoryW(MAX_PATH, temp);
        m_savedDirectory = temp;
        SetCurrentDirectoryW(m_folder.c_str());
        WriteCatalogue(kCatalogue);

        DeleteTestEntries(kPrinters);
        DeleteTestEntries(kDrawers);
        m_savedServer = ReadRegString(HKEY_CLASSES_ROOT, kServerKey, nullptr);
        ASSERT_TRUE(ui::Module().AddMessageLoop(&m_loop));
    }
    void TearDown() override
    {
        if (m_frame.IsWindow())
            m_frame.DestroyWindow();
        guitest::PumpMessages();
        ui::Module().RemoveMessageLoop();
        DeleteTestEntries(kPrinters);
        DeleteTestEntries(kDrawers);
        SetServer(m_savedServer);
        SetCurrentDirectoryW(m_savedDirectory.c_str());
        DeleteFileW((m_folder + L"\\config.xml").c_str());
        RemoveDirectoryW(m_folder.c_str());
    }

    void WriteCatalogue(const char *text)
    {
        FILE *file = _wfopen((m_folder + L"\\config.xml").c_str(), L"wb");
        ASSERT_NE(nullptr, file);
        fputs(text, file);
        fclose(file);
    }
    // The service object's registration as GetServicePath reads it; empty removes it.
    static void SetServer(const std::wstring &path)
    {
        if (path.empty()) {
            RegDeleteKeyW(HKEY_CLASSES_ROOT, kServerKey.c_str());
            return;
        }
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_CLASSES_ROOT, kServerKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
        RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE *>(path.c_str()),
                       static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }

    // The frame over the registry as it is now.
    void OpenFrame()
    {
        ASSERT_TRUE(m_frame.CreateEx());
        guitest::PumpMessages();
    }
    HTREEITEM Find(const std::wstring &path)
    {
        int i = DeviceItemMap.FindVal(path);
        if (i >= 0)
            return DeviceItemMap.GetKeyAt(i);
        i = ClassItemMap.FindVal(path);
        return i >= 0 ? ClassItemMap.GetKeyAt(i) : nullptr;
    }
    void Select(const std::wstring &path)
    {
        HTREEITEM item = Find(path);
        ASSERT_NE(nullptr, item) << Narrow(path);
        m_frame.GetTree().SelectItem(item);
    }
    void SelectRow(const std::wstring &name)
    {
        ui::CListViewCtrl &list = m_frame.GetList();
        for (int i = 0; i < list.GetItemCount(); ++i)
            if (list.GetItemText(i, 0) == name)
                list.SetItemState(i, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    }

    // Sends command to the frame; drive runs inside the modal loop of the dialog captioned
    // caption (looked for every 30 ms: the dialog may take a while to initialise) and must end
    // it. False when no such dialog came up.
    bool Run(WORD command, const wchar_t *caption, const std::function<void(HWND)> &drive)
    {
        return WhileOpen(caption, drive, [&] { m_frame.SendMessage(WM_COMMAND, MAKEWPARAM(command, 0), 0); });
    }
    // The same for the command that a right click gives: in the tree on the item of clicked,
    // or in the list when clicked is null (on its selected row, or below the rows when none
    // is selected), with key typed into the menu that opens.
    bool RunFromContextMenu(const wchar_t *clicked, wchar_t key, const wchar_t *caption,
                            const std::function<void(HWND)> &drive)
    {
        return WhileOpen(caption, drive, [&] {
            HWND source = m_frame.GetList().m_hWnd;
            if (clicked) {
                source = m_frame.GetTree().m_hWnd;
                setuptest::PointAtTreeItem(source, Find(clicked));
            } else {
                setuptest::PointAtListRow(source, m_frame.GetList().GetNextItem(-1, LVNI_SELECTED));
            }
            bool open = false;
            guitest::Deferred choose(100, [&] {
                HWND menuWindow = FindWindowW(L"#32768", nullptr);
                open = menuWindow && IsWindowVisible(menuWindow);
                if (open)
                    PostMessageW(menuWindow, WM_CHAR, key, 1);
            });
            setuptest::RightClick(m_frame.m_hWnd, source);
            EXPECT_TRUE(open) << "the context menu opened";
        });
    }
    // trigger raises what opens the dialog; what it posts runs before the watchdog gives up.
    bool WhileOpen(const wchar_t *caption, const std::function<void(HWND)> &drive,
                   const std::function<void()> &trigger)
    {
        Poll poll{caption, &drive, false, 0};
        Poll::Current() = &poll;
        UINT_PTR timer = SetTimer(nullptr, 0, 30, &Poll::Tick);
        {
            guitest::ModalWatchdog watchdog;
            trigger();
            guitest::PumpMessages();
            EXPECT_FALSE(watchdog.Fired()) << "the dialog was still open";
        }
        KillTimer(nullptr, timer);
        Poll::Current() = nullptr;
        guitest::PumpMessages();
        return poll.seen;
    }
    struct Poll
    {
        const wchar_t *caption;
        const std::function<void(HWND)> *drive;
        bool seen;
        int ticks;
        static Poll *&Current()
        {
            static Poll *current = nullptr;
            return current;
        }
        static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD)
        {
            Poll *poll = Current();
            if (!poll || poll->seen || ++poll->ticks > 100)
                return;
            HWND dialog = FindWindowW(L"#32770", poll->caption);
            if (!dialog || !IsWindowVisible(dialog))
                return;
            poll->seen = true;
            (*poll->drive)(dialog);
        }
    };

    std::wstring m_folder;
    std::wstring m_savedDirectory;
    std::wstring m_savedServer;
    ui::CMessageLoop m_loop;
    CMainFrame m_frame;
};

// --- Add New Device -------------------------------------------------------------------------------

TEST_F(Dialogs, AddDeviceWritesTheKeyOfTheChosenPortKind)
{
    const std::wstring serialKey = kPrinters + L"\\DlgTest Serial";
    struct Row
    {
        const char *name;
        const wchar_t *port;
        bool serverRegistered;
        const wchar_t *logicalName;
        std::vector<std::pair<const wchar_t *, std::wstring>> values;
    };
    const std::wstring server = L"C:\\Program Files\\Test\\Malvistra.dll";
    const Row rows[] = {
        {"serial with a logical name", L"Serial", true, L"DlgTestFront",
         {{nullptr, L"sz:Test.Serial.SO"}, {L"DeviceDesc", L"sz:serial model"}, {L"GroupID", L"sz:DLGS"},
          {L"OutputBuf", L"dword:4096"}, {L"Port", L"sz:COM3"}, {L"Baudrate", L"dword:6"},
          {L"BaudrateSel", L"sz:6,7,10"}, {L"UsbOnly", L"absent"}, {L"Service", L"sz:" + server}}},
        {"parallel", L"Parallel", true, L"",
         {{L"Port", L"sz:LPT2"}, {L"Baudrate", L"absent"}, {L"BaudrateSel", L"absent"},
          {L"UsbOnly", L"absent"}, {L"OutputBuf", L"dword:4096"}}},
        {"usb, service object not registered", L"USB", false, L"",
         {{L"Port", L"absent"}, {L"UsbOnly", L"sz:x"}, {L"Service", L"absent"}, {nullptr, L"sz:Test.Serial.SO"}}},
    };
    OpenFrame();
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        DeleteTestEntries(kPrinters);
        SetServer(row.serverRegistered ? server : std::wstring());
        m_frame.ReloadTree();
        Select(L"POSPrinter");
        guitest::MessageBoxRecorder boxes;
        std::vector<std::wstring> models, ports;
        std::wstring description;
        ASSERT_TRUE(Run(ID_EDIT_ADDDEVICE, L"Add New Device", [&](HWND dialog) {
            models = Entries(dialog, IDC_ADD_MODEL);
            ASSERT_TRUE(Choose(dialog, IDC_ADD_MODEL, L"DlgTest Serial"));
            ports = Entries(dialog, IDC_ADD_PORT);
            description = Text(dialog, IDC_ADD_DESCRIPTION);
            ASSERT_TRUE(Choose(dialog, IDC_ADD_PORT, row.port));
            SetText(dialog, IDC_ADD_LDN, row.logicalName);
            Click(dialog, IDOK);
        }));
        EXPECT_EQ((std::vector<std::wstring>{L"DlgTest Alone", L"DlgTest Serial"}), models) << "sorted, this class only";
        EXPECT_EQ((std::vector<std::wstring>{L"Serial", L"Parallel", L"USB"}), ports);
        EXPECT_EQ(L"serial model", description);
        EXPECT_TRUE(boxes.boxes.empty());
        for (const auto &v : row.values)
            EXPECT_EQ(v.second, Value(serialKey, v.first)) << Narrow(v.first ? v.first : L"(default)");
        if (*row.logicalName) {
            EXPECT_EQ(L"sz:DlgTest Serial", Value(kPrinters, row.logicalName));
        }
        EXPECT_NE(nullptr, Find(L"POSPrinter\\DlgTest Serial")) << "the tree was reloaded";
    }
}

TEST_F(Dialogs, AddDeviceRefusalsKeepTheDialogOpen)
{
    OpenFrame();
    Select(L"POSPrinter");
    guitest::MessageBoxRecorder boxes;
    ASSERT_TRUE(Run(ID_EDIT_ADDDEVICE, L"Add New Device", [&](HWND dialog) {
        Click(dialog, IDOK);                                   // no model
        ASSERT_TRUE(Choose(dialog, IDC_ADD_MODEL, L"DlgTest Alone"));
        EXPECT_TRUE(Entries(dialog, IDC_ADD_PORT).empty());
        Click(dialog, IDOK);                                   // a model without a port kind
        EXPECT_TRUE(IsWindowVisible(dialog));
        Click(dialog, IDCANCEL);
    }));
    ASSERT_EQ(2u, boxes.boxes.size());
    EXPECT_EQ(L"Please select a device!", boxes.boxes[0].text);
    EXPECT_EQ(L"Warning", boxes.boxes[0].caption);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION), boxes.boxes[0].type);
    EXPECT_EQ(L"Please select a port!", boxes.boxes[1].text);
    EXPECT_FALSE(KeyExists(kPrinters + L"\\DlgTest Alone"));

    // Without a catalogue the list is empty and OK asks for a device.
    DeleteFileW((m_folder + L"\\config.xml").c_str());
    boxes.boxes.clear();
    ASSERT_TRUE(Run(ID_EDIT_ADDDEVICE, L"Add New Device", [&](HWND dialog) {
        EXPECT_TRUE(Entries(dialog, IDC_ADD_MODEL).empty());
        Click(dialog, IDOK);
        Click(dialog, IDCANCEL);
    }));
    ASSERT_EQ(1u, boxes.boxes.size());
    EXPECT_EQ(L"Please select a device!", boxes.boxes[0].text);
}

TEST_F(Dialogs, AddingAnExistingModelAsksBeforeReplacingIt)
{
    // The existing key under another letter case counts too: the registry ignores case.
    const struct { const char *name; const wchar_t *existing; int answer; bool replaced; } rows[] = {
        {"No keeps the key", L"DlgTest Serial", IDNO, false},
        {"Yes replaces it", L"DlgTest Serial", IDYES, true},
        {"other letter case, No", L"dlgtest SERIAL", IDNO, false},
        {"other letter case, Yes", L"dlgtest SERIAL", IDYES, true},
    };
    OpenFrame();
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        DeleteTestEntries(kPrinters);
        const std::wstring existing = kPrinters + L"\\" + row.existing;
        SetDword(existing, L"Old", 1);
        SetString(existing, L"Port", L"COM9");
        m_frame.ReloadTree();
        Select(L"POSPrinter");
        guitest::MessageBoxRecorder boxes;
        boxes.answers = {row.answer};
        ASSERT_TRUE(Run(ID_EDIT_ADDDEVICE, L"Add New Device", [&](HWND dialog) {
            ASSERT_TRUE(Choose(dialog, IDC_ADD_MODEL, L"DlgTest Serial"));
            Click(dialog, IDOK);
            if (IsWindowVisible(dialog) && !row.replaced)
                Click(dialog, IDCANCEL);
        }));
        ASSERT_EQ(1u, boxes.boxes.size());
        EXPECT_EQ(L"Device exists, to replace it?", boxes.boxes[0].text);
        EXPECT_EQ(L"DlgTest Serial", boxes.boxes[0].caption);
        EXPECT_EQ(static_cast<UINT>(MB_YESNO | MB_ICONQUESTION), boxes.boxes[0].type);
        EXPECT_EQ(row.replaced ? L"absent" : L"dword:1", Value(existing, L"Old"));
        EXPECT_EQ(row.replaced ? L"sz:COM3" : L"sz:COM9", Value(existing, L"Port"));
    }
}

TEST_F(Dialogs, AddDeviceInitialisationLeavesTheFocusToTheSystem)
{
    // Initialisation answers FALSE, so the dialog manager sets no focus of its own; the
    // activation of the shown dialog puts it on the first tab stop, the model list. Sent again
    // with the focus elsewhere, initialisation answers FALSE and leaves the focus there.
    OpenFrame();
    Select(L"POSPrinter");
    HWND focusShown = nullptr, focusAfter = nullptr, models = nullptr, cancel = nullptr;
    LRESULT answer = -1;
    ASSERT_TRUE(Run(ID_EDIT_ADDDEVICE, L"Add New Device", [&](HWND dialog) {
        focusShown = GetFocus();
        models = GetDlgItem(dialog, IDC_ADD_MODEL);
        cancel = GetDlgItem(dialog, IDCANCEL);
        SetFocus(cancel);
        answer = SendMessageW(dialog, WM_INITDIALOG, 0, 0);
        focusAfter = GetFocus();
        Click(dialog, IDCANCEL);
    }));
    EXPECT_EQ(FALSE, answer);
    EXPECT_EQ(models, focusShown);
    EXPECT_EQ(cancel, focusAfter);
}

TEST_F(Dialogs, ModelsThatCannotNameADeviceKeyAreNotOffered)
{
    // An empty model would stand for the class key itself and delete it with its logical
    // device names; a backslash would reach into another key. The class key with its names
    // and devices stays byte for byte as it was.
    const char catalogue[] = R"(<catalogue>
  <device type="CashDrawer" model="" soname="Test.Empty.SO">
    <param port="serial" name="DeviceDesc" value="empty model"/>
  </device>
  <device type="CashDrawer" soname="Test.NoModel.SO">
    <param port="serial" name="DeviceDesc" value="no model"/>
  </device>
  <device type="CashDrawer" model="DlgTest Drawer\Inner" soname="Test.Inner.SO">
    <param port="serial" name="Port" value="COM1"/>
  </device>
  <device type="CashDrawer" model="DlgTest Fine" soname="Test.Fine.SO">
    <param port="serial" name="Port" value="COM1"/>
  </device>
</catalogue>
)";
    WriteCatalogue(catalogue);
    const struct { const char *what; bool withDevice; } rows[] = {
        // class key holds      with a device key below it
        {"names only",          false},
        {"names and a device",  true},
    };
    OpenFrame();
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        DeleteTestEntries(kDrawers);
        SetString(kDrawers, L"DlgTestDrawerName", L"DlgTest Drawer");
        SetDword(kDrawers, L"DlgTestNumber", 7);
        if (row.withDevice)
            SetString(kDrawers + L"\\DlgTest Drawer", L"Port", L"COM2");
        m_frame.ReloadTree();
        const std::vector<std::wstring> before = Snapshot(kDrawers);
        Select(L"CashDrawer");
        guitest::MessageBoxRecorder boxes;
        std::vector<std::wstring> models;
        ASSERT_TRUE(Run(ID_EDIT_ADDDEVICE, L"Add New Device", [&](HWND dialog) {
            models = Entries(dialog, IDC_ADD_MODEL);
            Click(dialog, IDOK);
            Click(dialog, IDCANCEL);
        }));
        EXPECT_EQ(std::vector<std::wstring>{L"DlgTest Fine"}, models);
        ASSERT_EQ(1u, boxes.boxes.size());
        EXPECT_EQ(L"Please select a device!", boxes.boxes[0].text);
        EXPECT_EQ(before, Snapshot(kDrawers));
    }
}

TEST_F(Dialogs, ALogicalNameOfAnotherDeviceMovesOnlyAfterAYes)
{
    // "DlgTestTaken" refers to another device. Typed again (in any letter case, with blanks
    // around it) for a new device, it moves after the question is answered Yes, spelled as
    // typed; No keeps the dialog open and writes nothing. A name that already refers to the
    // model's device key moves nowhere: no question.
    const std::wstring question =
        L"Logical Device Name \"DlgTestTaken\" has been defined to refer to \"DlgTest Other\".\n"
        L"Do you want to replace it?";
    const struct { const char *what; const wchar_t *typed; const wchar_t *refersTo; int answer; bool asked;
                   const wchar_t *after; } rows[] = {
        // case                          typed                 stored data            answer  asked  name after (nullptr: as before)
        {"same spelling, Yes",           L"DlgTestTaken",      L"DlgTest Other",      IDYES,  true,  L"DlgTestTaken"},
        {"other letter case, Yes",       L" dlgtestTAKEN\t",   L"DlgTest Other",      IDYES,  true,  L"dlgtestTAKEN"},
        {"same spelling, No",            L"DlgTestTaken",      L"DlgTest Other",      IDNO,   true,  nullptr},
        {"other letter case, No",        L"dlgtestTAKEN",      L"DlgTest Other",      IDNO,   true,  nullptr},
        {"refers to the model already",  L"DLGTESTTAKEN",      L"dlgtest serial",     IDNO,   false, L"DLGTESTTAKEN"},
    };
    OpenFrame();
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        DeleteTestEntries(kPrinters);
        SetString(kPrinters + L"\\DlgTest Other", L"Port", L"COM2");
        SetString(kPrinters, L"DlgTestTaken", row.refersTo);
        m_frame.ReloadTree();
        Select(L"POSPrinter");
        guitest::MessageBoxRecorder boxes(row.answer);
        ASSERT_TRUE(Run(ID_EDIT_ADDDEVICE, L"Add New Device", [&](HWND dialog) {
            ASSERT_TRUE(Choose(dialog, IDC_ADD_MODEL, L"DlgTest Serial"));
            SetText(dialog, IDC_ADD_LDN, row.typed);
            Click(dialog, IDOK);
            if (IsWindow(dialog) && IsWindowVisible(dialog))
                Click(dialog, IDCANCEL);
        }));
        if (row.asked) {
            ASSERT_EQ(1u, boxes.boxes.size());
            EXPECT_EQ(question, boxes.boxes[0].text);
            EXPECT_EQ(L"DlgTest Serial", boxes.boxes[0].caption);
            EXPECT_EQ(static_cast<UINT>(MB_YESNO | MB_ICONQUESTION), boxes.boxes[0].type);
        } else {
            EXPECT_TRUE(boxes.boxes.empty());
        }
        std::vector<std::wstring> names;
        for (const std::wstring &name : ValueNames(kPrinters))
            if (_wcsicmp(name.c_str(), L"DlgTestTaken") == 0)
                names.push_back(name);
        if (row.after) {
            EXPECT_EQ(std::vector<std::wstring>{row.after}, names) << "one value, spelled as typed";
            EXPECT_EQ(L"sz:DlgTest Serial", Value(kPrinters, L"DlgTestTaken"));
            EXPECT_TRUE(KeyExists(kPrinters + L"\\DlgTest Serial"));
        } else {
            EXPECT_EQ(std::vector<std::wstring>{L"DlgTestTaken"}, names);
            EXPECT_EQ(L"sz:" + std::wstring(row.refersTo), Value(kPrinters, L"DlgTestTaken"));
            EXPECT_FALSE(KeyExists(kPrinters + L"\\DlgTest Serial")) << "nothing was written";
        }
        EXPECT_TRUE(KeyExists(kPrinters + L"\\DlgTest Other")) << "the other device stays";
    }
}

TEST_F(Dialogs, AddDeviceHoldsTheRuleOfLogicalNames)
{
    // The name field: empty gives no name; blanks around a name go; only blanks, or more than
    // 16 characters once trimmed, are refused with the dialog left open and nothing written.
    const std::wstring invalid = L"Logical device name is invalid!";
    const struct { const char *what; std::wstring typed; const wchar_t *written; } rows[] = {
        // case                 typed                                written (nullptr: refused, L"": no name)
        {"empty",               L"",                                 L""},
        {"blanks only",         L"  ",                               nullptr},
        {"blanks around",       L" DlgTestSp ",                      L"DlgTestSp"},
        {"16 characters",       L"  DlgTest_16_chars ",              L"DlgTest_16_chars"},
        {"17 characters",       L"DlgTest_17_chars_",                nullptr},
        {"300 characters",      L"DlgTest" + std::wstring(293, L'x'), nullptr},
    };
    OpenFrame();
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        DeleteTestEntries(kPrinters);
        m_frame.ReloadTree();
        Select(L"POSPrinter");
        const std::vector<std::wstring> before = ValueNames(kPrinters);
        guitest::MessageBoxRecorder boxes;
        bool stayedOpen = false;
        ASSERT_TRUE(Run(ID_EDIT_ADDDEVICE, L"Add New Device", [&](HWND dialog) {
            ASSERT_TRUE(Choose(dialog, IDC_ADD_MODEL, L"DlgTest Serial"));
            SetText(dialog, IDC_ADD_LDN, row.typed);
            Click(dialog, IDOK);
            stayedOpen = IsWindow(dialog) && IsWindowVisible(dialog);
            if (stayedOpen)
                Click(dialog, IDCANCEL);
        }));
        std::vector<std::wstring> added;
        for (const std::wstring &name : ValueNames(kPrinters))
            if (std::find(before.begin(), before.end(), name) == before.end())
                added.push_back(name);
        if (!row.written) {
            EXPECT_TRUE(stayedOpen);
            ASSERT_EQ(1u, boxes.boxes.size());
            EXPECT_EQ(invalid, boxes.boxes[0].text);
            EXPECT_EQ(L"Error", boxes.boxes[0].caption);
            EXPECT_FALSE(KeyExists(kPrinters + L"\\DlgTest Serial"));
            EXPECT_TRUE(added.empty());
        } else {
            EXPECT_FALSE(stayedOpen);
            EXPECT_TRUE(boxes.boxes.empty());
            EXPECT_TRUE(KeyExists(kPrinters + L"\\DlgTest Serial"));
            EXPECT_EQ(*row.written ? std::vector<std::wstring>{row.written} : std::vector<std::wstring>{}, added);
            if (*row.written) {
                EXPECT_EQ(L"sz:DlgTest Serial", Value(kPrinters, row.written));
            }
        }
    }
}

// --- Port details and port range ------------------------------------------------------------------

class PortDialogs : public Dialogs
{
protected:
    const std::wstring serial = kPrinters + L"\\DlgTest Serial";
    const std::wstring parallel = kPrinters + L"\\DlgTest Parallel";
    const std::wstring usb = kPrinters + L"\\DlgTest Usb";

    void SetUp() override
    {
        Dialogs::SetUp();
        SetString(serial, L"GroupID", L"DLGS");
        SetString(serial, L"Port", L"com2");
        const struct { const wchar_t *sel; const wchar_t *list; const wchar_t *value; DWORD index; } lines[] = {
            {L"BaudrateSel", L"6,7,10", L"Baudrate", 7},
            {L"BitLengthSel", L"0,1", L"BitLength", 1},
            {L"ParitySel", L"0 1 2", L"Parity", 0},
            {L"StopSel", L"0,1,2", L"Stop", 1},
            {L"HandShakeSel", L"0,1", L"HandShake", 1},
        };
        for (const auto &l : lines) {
            SetString(serial, l.sel, l.list);
            SetDword(serial, l.value, l.index);
        }
        SetString(serial, L"XonXoffSel", L"1");
        SetDword(serial, L"XonXoff", 0);
        SetDword(serial, L"OutputBuf", 0);
        SetDword(serial, L"Timeout", 0);
        SetDword(serial, L"InputBuf", 2048);
        SetString(parallel, L"GroupID", L"DLGP");
        SetString(parallel, L"Port", L"LPT1");
        SetDword(parallel, L"Baudrate", 3);
        SetString(usb, L"GroupID", L"DLGU");
        SetString(usb, L"Port", L"COM5");
        OpenFrame();
    }
    bool PortDetails(const std::wstring &device, const std::function<void(HWND)> &drive)
    {
        Select(L"POSPrinter\\" + device);
        return Run(ID_EDIT_COMMSETTINGS, L"Port Details", drive);
    }
};

TEST_F(PortDialogs, SerialSettingsShowAndStoreIndexes)
{
    std::vector<std::wstring> baud, handshake, stop, ports;
    std::wstring shown[6];
    bool lineEnabled = false, inputBufEnabled = true;
    ASSERT_TRUE(PortDetails(L"DlgTest Serial", [&](HWND dialog) {
        baud = Entries(dialog, IDC_PORT_BAUDRATE);
        handshake = Entries(dialog, IDC_PORT_HANDSHAKE);
        stop = Entries(dialog, IDC_PORT_STOPBIT);
        ports = Entries(dialog, IDC_PORT_NAME);
        shown[0] = Selected(dialog, IDC_PORT_BAUDRATE);
        shown[1] = Selected(dialog, IDC_PORT_NAME);
        shown[2] = Selected(dialog, IDC_PORT_HANDSHAKE);
        shown[3] = Text(dialog, IDC_PORT_OUTPUTBUF);
        shown[4] = Text(dialog, IDC_PORT_TIMEOUT);
        shown[5] = Text(dialog, IDC_PORT_INPUTBUF);
        lineEnabled = IsWindowEnabled(GetDlgItem(dialog, IDC_PORT_BAUDRATE));
        inputBufEnabled = IsWindowEnabled(GetDlgItem(dialog, IDC_PORT_INPUTBUF));
        EXPECT_TRUE(Choose(dialog, IDC_PORT_BAUDRATE, L"115200 bps"));
        EXPECT_TRUE(Choose(dialog, IDC_PORT_HANDSHAKE, L"XON/XOFF"));
        EXPECT_TRUE(Choose(dialog, IDC_PORT_PARITY, L"Odd"));
        SetText(dialog, IDC_PORT_OUTPUTBUF, L"512");
        Click(dialog, IDOK);
    }));
    EXPECT_EQ((std::vector<std::wstring>{L"9600 bps", L"19200 bps", L"115200 bps"}), baud);
    EXPECT_EQ((std::vector<std::wstring>{L"Disable", L"RTS/CTS", L"XON/XOFF"}), handshake);
    EXPECT_EQ((std::vector<std::wstring>{L"", L"1 bit", L"2 bits"}), stop);
    ASSERT_EQ(11u, ports.size());
    EXPECT_EQ(L"None", ports[0]);
    EXPECT_EQ(L"COM10", ports[10]);
    EXPECT_EQ(L"19200 bps", shown[0]);
    EXPECT_EQ(L"COM2", shown[1]) << "found without regard to case";
    EXPECT_EQ(L"RTS/CTS", shown[2]);
    EXPECT_EQ(L"", shown[3]) << "OutputBuf 0 shows empty";
    EXPECT_EQ(L"0", shown[4]);
    EXPECT_EQ(L"2048", shown[5]);
    EXPECT_TRUE(lineEnabled);
    EXPECT_FALSE(inputBufEnabled);

    const struct { const wchar_t *name; const wchar_t *value; } stored[] = {
        {L"Port", L"sz:com2"}, {L"Baudrate", L"dword:10"}, {L"BitLength", L"dword:1"},
        {L"Parity", L"dword:2"}, {L"Stop", L"dword:1"}, {L"HandShake", L"dword:0"},
        {L"XonXoff", L"dword:1"}, {L"OutputBuf", L"dword:512"}, {L"Timeout", L"dword:0"},
        {L"InputBuf", L"dword:2048"}, {L"InputSleep", L"absent"},
    };
    for (const auto &s : stored)
        EXPECT_EQ(s.value, Value(serial, s.name)) << Narrow(s.name);

    // Reopened, XON/XOFF is the handshake shown.
    std::wstring again;
    ASSERT_TRUE(PortDetails(L"DlgTest Serial", [&](HWND dialog) {
        again = Selected(dialog, IDC_PORT_HANDSHAKE);
        Click(dialog, IDCANCEL);
    }));
    EXPECT_EQ(L"XON/XOFF", again);
}

TEST_F(PortDialogs, WhatIsNotChosenIsKept)
{
    struct Row
    {
        const char *name;
        std::wstring device;
        std::function<void(HWND)> change;
        std::vector<std::pair<std::wstring, std::wstring>> expected;   // (key path + value) -> value
    };
    const Row rows[] = {
        {"Cancel writes nothing", L"DlgTest Serial",
         [](HWND d) { Choose(d, IDC_PORT_BAUDRATE, L"9600 bps"); SetText(d, IDC_PORT_TIMEOUT, L"77"); Click(d, IDCANCEL); },
         {{L"Baudrate", L"dword:7"}, {L"Timeout", L"dword:0"}}},
        {"a port beyond the range stays", L"DlgTest Serial",
         [](HWND d) { Click(d, IDOK); },
         {{L"Port", L"sz:COM17"}, {L"Baudrate", L"dword:7"}}},
        {"an emptied baud list writes no baud rate", L"DlgTest Serial",
         [](HWND d) { SendDlgItemMessageW(d, IDC_PORT_BAUDRATE, CB_SETCURSEL, static_cast<WPARAM>(-1), 0); Click(d, IDOK); },
         {{L"Baudrate", L"dword:7"}, {L"BitLength", L"dword:1"}}},
        {"None stores an empty port", L"DlgTest Serial",
         [](HWND d) { Choose(d, IDC_PORT_NAME, L"None"); Click(d, IDOK); },
         {{L"Port", L"sz:"}}},
        {"OutputBuf 0 leaves the key's value, Timeout 0 is stored", L"DlgTest Serial",
         [](HWND d) { SetText(d, IDC_PORT_OUTPUTBUF, L"0"); SetText(d, IDC_PORT_TIMEOUT, L"0"); Click(d, IDOK); },
         {{L"OutputBuf", L"dword:0"}, {L"Timeout", L"dword:0"}}},
        {"parallel: LPT ports, no line settings", L"DlgTest Parallel",
         [](HWND d) { Choose(d, IDC_PORT_NAME, L"LPT3"); SetText(d, IDC_PORT_TIMEOUT, L"250"); Click(d, IDOK); },
         {{L"Port", L"sz:LPT3"}, {L"Baudrate", L"dword:3"}, {L"HandShake", L"absent"}, {L"Timeout", L"dword:250"}}},
        {"usb keeps its port", L"DlgTest Usb",
         [](HWND d) { Click(d, IDOK); },
         {{L"Port", L"sz:COM5"}, {L"Baudrate", L"absent"}, {L"XonXoff", L"absent"}}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        if (std::string(row.name) == "a port beyond the range stays")
            SetString(serial, L"Port", L"COM17");
        ASSERT_TRUE(PortDetails(row.device, row.change));
        for (const auto &e : row.expected)
            EXPECT_EQ(e.second, Value(kPrinters + L"\\" + row.device, e.first.c_str())) << Narrow(e.first);
    }
}

TEST_F(PortDialogs, AnUntouchedOKKeepsStoredPortsAndHandshakes)
{
    // A stored port is chosen only by an entry of exactly its name (letter case ignored), and
    // an XonXoff other than 0 or 1 chooses no handshake. OK without a change leaves the whole
    // key as it was, byte for byte; a handshake chosen is written with XonXoff 0.
    const struct { const char *what; const wchar_t *port; DWORD xonXoff; const wchar_t *portShown;
                   const wchar_t *handShakeShown; const wchar_t *choose; const wchar_t *handShake, *xonXoffAfter; } rows[] = {
        // case                 Port       XonXoff      port shown  handshake shown  choose      HandShake after  XonXoff after (nullptr: key unchanged)
        {"COM",                 L"COM",    0,           L"<none>",  L"RTS/CTS",      nullptr,    nullptr,         nullptr},
        {"N",                   L"N",      0,           L"<none>",  L"RTS/CTS",      nullptr,    nullptr,         nullptr},
        {"None as a name",      L"None",   0,           L"<none>",  L"RTS/CTS",      nullptr,    nullptr,         nullptr},
        {"com2",                L"com2",   0,           L"COM2",    L"RTS/CTS",      nullptr,    nullptr,         nullptr},
        {"LPT1 on serial",      L"LPT1",   0,           L"<none>",  L"RTS/CTS",      nullptr,    nullptr,         nullptr},
        {"XON/XOFF over RTS/CTS", L"COM1", 1,           L"COM1",    L"XON/XOFF",     nullptr,    nullptr,         nullptr},
        {"XonXoff 7",           L"COM1",   7,           L"COM1",    L"<none>",       nullptr,    nullptr,         nullptr},
        {"XonXoff 0xFFFFFFFF",  L"COM1",   0xFFFFFFFF,  L"COM1",    L"<none>",       nullptr,    nullptr,         nullptr},
        {"XonXoff 7, Disable",  L"COM1",   7,           L"COM1",    L"<none>",       L"Disable", L"dword:0",      L"dword:0"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        SetString(serial, L"Port", row.port);
        SetDword(serial, L"XonXoff", row.xonXoff);
        const std::vector<std::wstring> before = Snapshot(serial);
        std::wstring portShown, handShakeShown;
        ASSERT_TRUE(PortDetails(L"DlgTest Serial", [&](HWND dialog) {
            portShown = Selected(dialog, IDC_PORT_NAME);
            handShakeShown = Selected(dialog, IDC_PORT_HANDSHAKE);
            if (row.choose) {
                EXPECT_TRUE(Choose(dialog, IDC_PORT_HANDSHAKE, row.choose));
            }
            Click(dialog, IDOK);
        }));
        EXPECT_EQ(row.portShown, portShown);
        EXPECT_EQ(row.handShakeShown, handShakeShown);
        EXPECT_EQ(L"sz:" + std::wstring(row.port), Value(serial, L"Port"));
        if (row.xonXoffAfter) {
            EXPECT_EQ(row.handShake, Value(serial, L"HandShake"));
            EXPECT_EQ(row.xonXoffAfter, Value(serial, L"XonXoff"));
        } else {
            EXPECT_EQ(before, Snapshot(serial));
        }
    }
}

TEST_F(PortDialogs, OKKeepsAStoredPortTheDialogCannotRead)
{
    // A Port longer than the dialog reads leaves the port list without a selection, and OK
    // with nothing changed keeps its bytes; an empty or absent Port still shows "None".
    const struct { const char *name; const wchar_t *port; const wchar_t *shown; const wchar_t *stored; } rows[] = {
        // name            Port (nullptr: none)        shown       after OK (nullptr: unchanged)
        {"19 characters", L"COM1234567890123456",     L"<none>",  nullptr},
        {"empty",         L"",                        L"None",    L"sz:"},
        {"absent",        nullptr,                    L"None",    L"sz:"},
    };
    auto portEntry = [&] {
        for (const std::wstring &entry : Snapshot(serial))
            if (entry.compare(0, 11, L"value Port ") == 0)
                return entry;
        return std::wstring();
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        SHDeleteValueW(HKEY_LOCAL_MACHINE, serial.c_str(), L"Port");
        if (row.port)
            SetString(serial, L"Port", row.port);
        const std::wstring before = portEntry();
        std::wstring shown;
        ASSERT_TRUE(PortDetails(L"DlgTest Serial", [&](HWND dialog) {
            shown = Selected(dialog, IDC_PORT_NAME);
            Click(dialog, IDOK);
        }));
        EXPECT_EQ(row.shown, shown);
        if (row.stored) {
            EXPECT_EQ(row.stored, Value(serial, L"Port"));
        } else {
            EXPECT_FALSE(before.empty());
            EXPECT_EQ(before, portEntry()) << "byte for byte";
        }
    }
}

TEST_F(PortDialogs, PortRangeChecksBothNumbersAndLimitsThePortList)
{
    // Each row types both numbers and presses OK once.
    const struct { const wchar_t *com, *lpt; bool accepted; int focus; } rows[] = {
        {L"11", L"3", false, IDC_RANGE_COM},
        {L"0", L"3", false, IDC_RANGE_COM},
        {L"-2", L"3", false, IDC_RANGE_COM},
        {L"x", L"9", false, IDC_RANGE_COM},   // both wrong: the COM number first
        {L"10", L"4", false, IDC_RANGE_LPT},
        {L"10", L"0", false, IDC_RANGE_LPT},
        {L"10", L"3", true, 0},
        {L"4", L"1", true, 0},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(Narrow(std::wstring(row.com) + L"/" + row.lpt));
        guitest::MessageBoxRecorder boxes;
        int focus = 0;
        ASSERT_TRUE(Run(ID_OPTION_PORTRANGE, L"Port range", [&](HWND dialog) {
            SetText(dialog, IDC_RANGE_COM, row.com);
            SetText(dialog, IDC_RANGE_LPT, row.lpt);
            Click(dialog, IDOK);
            focus = GetDlgCtrlID(GetFocus());
            if (!row.accepted)
                Click(dialog, IDCANCEL);
        }));
        if (row.accepted) {
            EXPECT_TRUE(boxes.boxes.empty());
            EXPECT_EQ(_wtoi(row.com), m_frame.GetHighestComPort());
            EXPECT_EQ(_wtoi(row.lpt), m_frame.GetHighestLptPort());
        } else {
            ASSERT_EQ(1u, boxes.boxes.size());
            EXPECT_EQ(L"The number is out of range!", boxes.boxes[0].text);
            EXPECT_EQ(L"Warning", boxes.boxes[0].caption);
            EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION), boxes.boxes[0].type);
            EXPECT_EQ(row.focus, focus);
        }
    }

    // The default buttons, then Cancel: the frame keeps 4 and 1.
    std::wstring com, lpt;
    ASSERT_TRUE(Run(ID_OPTION_PORTRANGE, L"Port range", [&](HWND dialog) {
        EXPECT_EQ(L"4", Text(dialog, IDC_RANGE_COM));
        Click(dialog, IDC_RANGE_COM_DEFAULT);
        Click(dialog, IDC_RANGE_LPT_DEFAULT);
        com = Text(dialog, IDC_RANGE_COM);
        lpt = Text(dialog, IDC_RANGE_LPT);
        Click(dialog, IDCANCEL);
    }));
    EXPECT_EQ(L"10", com);
    EXPECT_EQ(L"1", lpt);
    EXPECT_EQ(4, m_frame.GetHighestComPort());

    std::vector<std::wstring> serialPorts, parallelPorts;
    ASSERT_TRUE(PortDetails(L"DlgTest Serial", [&](HWND d) { serialPorts = Entries(d, IDC_PORT_NAME); Click(d, IDCANCEL); }));
    ASSERT_TRUE(PortDetails(L"DlgTest Parallel", [&](HWND d) { parallelPorts = Entries(d, IDC_PORT_NAME); Click(d, IDCANCEL); }));
    EXPECT_EQ((std::vector<std::wstring>{L"None", L"COM1", L"COM2", L"COM3", L"COM4"}), serialPorts);
    EXPECT_EQ((std::vector<std::wstring>{L"None", L"LPT1"}), parallelPorts);
}

// --- Logical device names -------------------------------------------------------------------------

class NameDialogs : public Dialogs
{
protected:
    void SetUp() override
    {
        Dialogs::SetUp();
        SetUpNames();
        OpenFrame();
    }
    // Two devices; Alpha with two names, Beta with one, and a name whose data is Alpha's in
    // other letters.
    static void SetUpNames()
    {
        for (const wchar_t *device : {L"DlgTest Alpha", L"DlgTest Beta"})
            SetString(kPrinters + L"\\" + device, L"DeviceDesc", device);
        SetString(kPrinters, L"DlgTestFront", L"DlgTest Alpha");
        SetString(kPrinters, L"DlgTestBack", L"DlgTest Alpha");
        SetString(kPrinters, L"DlgTestOther", L"DlgTest Beta");
        SetString(kPrinters, L"DlgTestCase", L"dlgtest alpha");
    }
    std::vector<std::wstring> TestNames()
    {
        std::vector<std::wstring> names;
        for (const auto &n : ValueNames(kPrinters))
            if (n.compare(0, 7, L"DlgTest") == 0)
                names.push_back(n + L"=" + Value(kPrinters, n.c_str()).substr(3));
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(NameDialogs, AddLdnChecksTheNameAndWritesOneValue)
{
    // Names are trimmed of blanks first; the name written is the trimmed one.
    const std::wstring longName = L"DlgTest" + std::wstring(293, L'x');
    const struct { const wchar_t *name; const wchar_t *message; const wchar_t *written; } rows[] = {
        {L"DlgTest_16_chars", nullptr, L"DlgTest_16_chars"},
        {L"DlgTest_17_chars_", L"Logical device name is invalid!", nullptr},
        {longName.c_str(), L"Logical device name is invalid!", nullptr},
        {L"", L"Logical device name is invalid!", nullptr},
        {L"  ", L"Logical device name is invalid!", nullptr},
        {L" DlgTestSp\t", nullptr, L"DlgTestSp"},
        {L"dlgtestFRONT", L"The new name exists!", nullptr},
        {L"  DlgTestFront ", L"The new name exists!", nullptr},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(Narrow(row.name).substr(0, 40));
        Select(L"POSPrinter\\DlgTest Beta");
        guitest::MessageBoxRecorder boxes;
        std::vector<std::wstring> classes, devices;
        std::wstring device;
        ASSERT_TRUE(Run(ID_EDIT_ADDLDN, L"Add New LDN", [&](HWND dialog) {
            classes = Entries(dialog, IDC_LDN_CLASS);
            devices = Entries(dialog, IDC_LDN_DEVICE);
            device = Selected(dialog, IDC_LDN_DEVICE);
            SetText(dialog, IDC_LDN_NAME, row.name);
            Click(dialog, IDOK);
            if (row.message)
                Click(dialog, IDCANCEL);
        }));
        EXPECT_EQ((std::vector<std::wstring>{L"POSPrinter", L"CashDrawer"}), classes);
        EXPECT_NE(devices.end(), std::find(devices.begin(), devices.end(), L"DlgTest Alpha"));
        EXPECT_EQ(L"DlgTest Beta", device);
        if (row.message) {
            ASSERT_EQ(1u, boxes.boxes.size());
            EXPECT_EQ(row.message, boxes.boxes[0].text);
            EXPECT_EQ(L"Error", boxes.boxes[0].caption);
        } else {
            EXPECT_TRUE(boxes.boxes.empty());
            EXPECT_EQ(L"sz:DlgTest Beta", Value(kPrinters, row.written));
        }
    }
    EXPECT_EQ((std::vector<std::wstring>{L"DlgTestBack=DlgTest Alpha", L"DlgTestCase=dlgtest alpha",
                                         L"DlgTestFront=DlgTest Alpha", L"DlgTestOther=DlgTest Beta",
                                         L"DlgTestSp=DlgTest Beta", L"DlgTest_16_chars=DlgTest Beta"}), TestNames());
}

TEST_F(NameDialogs, AddLdnFromAClassPreselectsTheRowsDeviceElseItsLastAndNeedsOne)
{
    Select(L"POSPrinter");
    std::wstring device;
    ASSERT_TRUE(Run(ID_EDIT_ADDLDN, L"Add New LDN", [&](HWND dialog) {
        device = Selected(dialog, IDC_LDN_DEVICE);
        Click(dialog, IDCANCEL);
    }));
    std::wstring last;
    for (int i = 0; i < DeviceItemMap.GetSize(); ++i)
        if (DeviceItemMap.GetValueAt(i).compare(0, 11, L"POSPrinter\\") == 0)
            last = DeviceItemMap.GetValueAt(i).substr(11);
    EXPECT_EQ(last, device);

    // With a device row selected in the list, that device - also when another device's name
    // begins with it.
    SetString(kPrinters + L"\\DlgTest Alpha 2", L"DeviceDesc", L"second alpha");
    m_frame.ReloadTree();
    for (const wchar_t *rowName : {L"DlgTest Alpha", L"DlgTest Alpha 2", L"DlgTest Beta"}) {
        SCOPED_TRACE(Narrow(rowName));
        Select(L"POSPrinter");
        SelectRow(rowName);
        ASSERT_TRUE(Run(ID_EDIT_ADDLDN, L"Add New LDN", [&](HWND dialog) {
            device = Selected(dialog, IDC_LDN_DEVICE);
            Click(dialog, IDCANCEL);
        }));
        EXPECT_EQ(rowName, device);
    }

    // A class without devices: nothing to point at.
    if (m_frame.GetTree().GetChildItem(Find(L"CashDrawer")))
        GTEST_SKIP() << "the prefix holds cash drawers";
    Select(L"CashDrawer");
    guitest::MessageBoxRecorder boxes;
    ASSERT_TRUE(Run(ID_EDIT_ADDLDN, L"Add New LDN", [&](HWND dialog) {
        EXPECT_TRUE(Entries(dialog, IDC_LDN_DEVICE).empty());
        SetText(dialog, IDC_LDN_NAME, L"DlgTestNowhere");
        Click(dialog, IDOK);
        Click(dialog, IDCANCEL);
    }));
    ASSERT_EQ(1u, boxes.boxes.size());
    EXPECT_EQ(L"Please select a device!", boxes.boxes[0].text);
    const std::wstring nowhere = Value(kDrawers, L"DlgTestNowhere");
    EXPECT_TRUE(nowhere == L"absent" || nowhere == L"no key") << Narrow(nowhere);
}

TEST_F(NameDialogs, RenameThroughTheLabelEdit)
{
    const std::vector<std::wstring> unchanged = {L"DlgTestBack=DlgTest Alpha", L"DlgTestCase=dlgtest alpha",
                                                 L"DlgTestFront=DlgTest Alpha", L"DlgTestOther=DlgTest Beta"};
    const struct { const char *name; const wchar_t *newName; std::vector<int> answers; size_t boxes;
                   std::vector<std::wstring> after; WPARAM endKey = VK_RETURN; } rows[] = {
        {"to a new name", L"DlgTestRenamed", {}, 0,
         {L"DlgTestBack=DlgTest Alpha", L"DlgTestCase=dlgtest alpha", L"DlgTestOther=DlgTest Beta",
          L"DlgTestRenamed=DlgTest Alpha"}},
        {"to itself", L"DlgTestFront", {}, 0,
         unchanged},
        {"letter case only", L"DlgTestFRONT", {}, 0,
         {L"DlgTestBack=DlgTest Alpha", L"DlgTestCase=dlgtest alpha", L"DlgTestFRONT=DlgTest Alpha",
          L"DlgTestOther=DlgTest Beta"}},
        {"onto a name in use, No", L"DlgTestOther", {IDNO}, 1,
         unchanged},
        {"onto a name in use, Yes", L"DlgTestOther", {IDYES}, 1,
         {L"DlgTestBack=DlgTest Alpha", L"DlgTestCase=dlgtest alpha", L"DlgTestOther=DlgTest Alpha"}},
        {"too long", L"DlgTest_17_chars_", {}, 1,
         unchanged},
        {"blanks only", L"  ", {}, 1,
         unchanged},
        {"blanks around a new name", L" DlgTestSpaced ", {}, 0,
         {L"DlgTestBack=DlgTest Alpha", L"DlgTestCase=dlgtest alpha", L"DlgTestOther=DlgTest Beta",
          L"DlgTestSpaced=DlgTest Alpha"}},
        {"blanks around the same name", L"  DlgTestFront\t", {}, 0,
         unchanged},
        {"blanks around a name in use, other letters, No", L" dlgtestOTHER ", {IDNO}, 1,
         unchanged},
        {"blanks around a name in use, other letters, Yes", L" DlgTestOTHER ", {IDYES}, 1,
         {L"DlgTestBack=DlgTest Alpha", L"DlgTestCase=dlgtest alpha", L"DlgTestOTHER=DlgTest Alpha"}},
        {"Esc after typing a new name", L"DlgTestEscaped", {}, 0,
         unchanged, VK_ESCAPE},
        {"Esc after typing a name in use", L"DlgTestOther", {IDYES}, 0,
         unchanged, VK_ESCAPE},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        DeleteTestEntries(kPrinters);
        SetUpNames();
        m_frame.ReloadTree();
        Select(L"POSPrinter\\DlgTest Alpha");
        SelectRow(L"DlgTestFront");
        guitest::MessageBoxRecorder boxes;
        boxes.answers = row.answers;
        m_frame.SendMessage(WM_COMMAND, MAKEWPARAM(ID_EDIT_RENAMELDN, 0), 0);
        HWND edit = m_frame.GetList().GetEditControl();
        ASSERT_NE(nullptr, edit) << "F2 starts the label edit";
        SetWindowTextW(edit, row.newName);
        SendMessageW(edit, WM_KEYDOWN, row.endKey, 0);
        guitest::PumpMessages();
        EXPECT_EQ(nullptr, m_frame.GetList().GetEditControl()) << "the edit ended";
        if (row.endKey == VK_ESCAPE) {
            ui::CListViewCtrl &list = m_frame.GetList();
            std::vector<std::wstring> shown;
            for (int i = 0; i < list.GetItemCount(); ++i)
                shown.push_back(list.GetItemText(i, 0));
            EXPECT_NE(shown.end(), std::find(shown.begin(), shown.end(), L"DlgTestFront")) << "the row keeps its name";
            EXPECT_EQ(shown.end(), std::find(shown.begin(), shown.end(), row.newName));
        }
        EXPECT_EQ(row.boxes, boxes.boxes.size());
        if (std::string(row.name).find("in use") != std::string::npos && !boxes.boxes.empty()) {
            EXPECT_EQ(L"Logical Device Name \"DlgTestOther\" has been defined to refer to \"DlgTest Beta\".\n"
                      L"Do you want to replace it?", boxes.boxes[0].text);
            EXPECT_EQ(L"DlgTestFront", boxes.boxes[0].caption);
            EXPECT_EQ(static_cast<UINT>(MB_YESNO | MB_ICONQUESTION), boxes.boxes[0].type);
        }
        EXPECT_EQ(row.after, TestNames());
    }
}

TEST_F(NameDialogs, EditingALabelUnderAClassIsCancelled)
{
    Select(L"POSPrinter");
    SelectRow(L"DlgTest Alpha");
    m_frame.SendMessage(WM_COMMAND, MAKEWPARAM(ID_EDIT_RENAMELDN, 0), 0);
    guitest::PumpMessages();
    EXPECT_EQ(nullptr, m_frame.GetList().GetEditControl());
}

TEST_F(NameDialogs, DeleteRemovesExactlyTheChosenName)
{
    Select(L"POSPrinter\\DlgTest Alpha");
    SelectRow(L"DlgTestBack");
    guitest::MessageBoxRecorder boxes;
    m_frame.SendMessage(WM_COMMAND, MAKEWPARAM(ID_NAME_DELETELDN, 0), 0);
    EXPECT_TRUE(boxes.boxes.empty()) << "no question";
    EXPECT_EQ((std::vector<std::wstring>{L"DlgTestCase=dlgtest alpha", L"DlgTestFront=DlgTest Alpha",
                                         L"DlgTestOther=DlgTest Beta"}), TestNames());
}

// --- Deleting a device, properties ------------------------------------------------------------------

TEST_F(NameDialogs, DeletingADeviceTakesItsNamesAlong)
{
    const struct { const char *name; bool fromList; int answer; bool deleted; } rows[] = {
        {"No keeps everything", false, IDNO, false},
        {"from the tree", false, IDYES, true},
        {"from the list under the class", true, IDYES, true},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        DeleteTestEntries(kPrinters);
        SetUpNames();
        m_frame.ReloadTree();
        if (row.fromList) {
            Select(L"POSPrinter");
            SelectRow(L"DlgTest Alpha");
        } else {
            Select(L"POSPrinter\\DlgTest Alpha");
        }
        guitest::MessageBoxRecorder boxes;
        boxes.answers = {row.answer};
        m_frame.SendMessage(WM_COMMAND, MAKEWPARAM(ID_DEVICE_DELETE, 0), 0);
        ASSERT_EQ(1u, boxes.boxes.size());
        EXPECT_EQ(L"Are you sure you want to delete this?", boxes.boxes[0].text);
        EXPECT_EQ(L"POSPrinter\\DlgTest Alpha", boxes.boxes[0].caption);
        EXPECT_EQ(row.deleted, !KeyExists(kPrinters + L"\\DlgTest Alpha"));
        if (row.deleted) {
            // Both names of Alpha go; Beta's and the one differing in case stay.
            EXPECT_EQ((std::vector<std::wstring>{L"DlgTestCase=dlgtest alpha", L"DlgTestOther=DlgTest Beta"}), TestNames());
            EXPECT_EQ(nullptr, Find(L"POSPrinter\\DlgTest Alpha"));
        } else {
            EXPECT_EQ(4u, TestNames().size());
        }
    }
}

TEST_F(NameDialogs, DeletingADeviceWithSubkeysFailsAndKeepsItsNames)
{
    SetString(kPrinters + L"\\DlgTest Alpha\\Sub", L"x", L"y");
    Select(L"POSPrinter\\DlgTest Alpha");
    guitest::MessageBoxRecorder boxes;
    boxes.answers = {IDYES};
    m_frame.SendMessage(WM_COMMAND, MAKEWPARAM(ID_DEVICE_DELETE, 0), 0);
    ASSERT_EQ(2u, boxes.boxes.size());
    EXPECT_EQ(0u, boxes.boxes[1].text.find(L"Fails to delete device! [")) << Narrow(boxes.boxes[1].text);
    EXPECT_EQ(L"Error", boxes.boxes[1].caption);
    EXPECT_TRUE(KeyExists(kPrinters + L"\\DlgTest Alpha"));
    EXPECT_EQ(4u, TestNames().size()) << "names are removed only with the device";

    // Nothing selected: the warning.
    m_frame.GetTree().SelectItem(nullptr);
    boxes.boxes.clear();
    m_frame.SendMessage(WM_COMMAND, MAKEWPARAM(ID_DEVICE_DELETE, 0), 0);
    ASSERT_EQ(1u, boxes.boxes.size());
    EXPECT_EQ(L"Please select a device!", boxes.boxes[0].text);
}

TEST_F(NameDialogs, PropertyShowsSixValuesOfTheDevice)
{
    const std::wstring alpha = kPrinters + L"\\DlgTest Alpha";
    SetString(alpha, nullptr, L"Test.Alpha.SO");
    SetString(alpha, L"DeviceName", L"Alpha name");
    SetString(alpha, L"Description", L"Alpha description");
    const std::wstring longService = L"C:\\" + std::wstring(256, L's');   // 259 characters
    SetString(alpha, L"Service", longService);
    SetDword(alpha, L"Version", 3);   // not text: shown empty

    Select(L"POSPrinter\\DlgTest Alpha");
    std::wstring shown[6];
    ASSERT_TRUE(Run(ID_FILE_PROPERTY, L"Property", [&](HWND sheet) {
        HWND page = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
        const int ids[] = {IDC_DETAIL_DEVICENAME, IDC_DETAIL_DEVICEDESC, IDC_DETAIL_SERVICE,
                           IDC_DETAIL_DESCRIPTION, IDC_DETAIL_VERSION, IDC_DETAIL_SONAME};
        for (int i = 0; i < 6; ++i)
            shown[i] = Text(page, ids[i]);
        // Every control of the page lies whole within the page as the sheet sized it.
        RECT client = {};
        GetClientRect(page, &client);
        for (HWND child = GetWindow(page, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            RECT r = {};
            GetWindowRect(child, &r);
            MapWindowPoints(nullptr, page, reinterpret_cast<POINT *>(&r), 2);
            EXPECT_TRUE(r.left >= client.left && r.top >= client.top && r.right <= client.right &&
                        r.bottom <= client.bottom)
                << "control " << GetDlgCtrlID(child) << " at " << r.left << "," << r.top << "-" << r.right << ","
                << r.bottom << " in " << client.right << "x" << client.bottom;
        }
        PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
    }));
    EXPECT_EQ(L"Alpha name", shown[0]);
    EXPECT_EQ(L"DlgTest Alpha", shown[1]);
    EXPECT_EQ(longService, shown[2]);
    EXPECT_EQ(L"Alpha description", shown[3]);
    EXPECT_EQ(L"", shown[4]);
    EXPECT_EQ(L"Test.Alpha.SO", shown[5]);

    // A class, or nothing, selected: no sheet, and the warning.
    for (const wchar_t *selected : {L"POSPrinter", static_cast<const wchar_t *>(nullptr)}) {
        if (selected)
            Select(selected);
        else
            m_frame.GetTree().SelectItem(nullptr);
        guitest::MessageBoxRecorder boxes;
        EXPECT_FALSE(Run(ID_FILE_PROPERTY, L"Property", [](HWND sheet) { PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0); }));
        ASSERT_EQ(1u, boxes.boxes.size());
        EXPECT_EQ(L"Please select a device!", boxes.boxes[0].text);
        EXPECT_EQ(L"Warning", boxes.boxes[0].caption);
    }
}

// --- Interactive health check ----------------------------------------------------------------------

// Plays the POSPrinter control object: registered in this process under the stand-in's class
// id (class objects of the process come before the registry), it records every member call.
class RecordingControl final : public IDispatch
{
public:
    struct Script
    {
        long openResult = 0;
        long claimResult = 0;
        long extended = 0;
        const wchar_t *unknownMember = nullptr;   // GetIDsOfNames refuses this name
        const wchar_t *failingMember = nullptr;   // Invoke answers failure for this one
        HRESULT failure = S_OK;
    };
    RecordingControl(const Script &script, std::vector<std::wstring> &calls) : m_script(script), m_calls(calls) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **object) override
    {
        if (riid == IID_IUnknown || riid == IID_IDispatch) {
            *object = static_cast<IDispatch *>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        ULONG refs = --m_refs;
        if (!refs)
            delete this;
        return refs;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT *count) override { *count = 0; return S_OK; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo **) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR *names, UINT, LCID, DISPID *ids) override
    {
        if (m_script.unknownMember && _wcsicmp(names[0], m_script.unknownMember) == 0)
            return DISP_E_UNKNOWNNAME;
        for (size_t i = 0; i < kMembers.size(); ++i) {
            if (_wcsicmp(names[0], kMembers[i]) == 0) {
                ids[0] = static_cast<DISPID>(i + 1);
                return S_OK;
            }
        }
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS *params,
                                     VARIANT *result, EXCEPINFO *, UINT *) override
    {
        std::wstring call = kMembers[static_cast<size_t>(id - 1)];
        call += (flags & DISPATCH_PROPERTYPUT) ? L"=" : (flags & DISPATCH_PROPERTYGET) ? L"?" : L"(";
        for (UINT i = params->cArgs; i-- > 0;) {
            const VARIANT &arg = params->rgvarg[i];
            if (V_VT(&arg) == VT_BSTR)
                call += L"BSTR:" + std::wstring(V_BSTR(&arg));
            else if (V_VT(&arg) == VT_I4)
                call += L"I4:" + std::to_wstring(V_I4(&arg));
            else if (V_VT(&arg) == VT_I2)
                call += L"I2:" + std::to_wstring(V_I2(&arg));
            else
                call += L"VT" + std::to_wstring(V_VT(&arg));
        }
        if (call.back() == L'(' || call.find(L'(') != std::wstring::npos)
            call += L")";
        m_calls.push_back(call);
        if (m_script.failingMember && _wcsicmp(kMembers[static_cast<size_t>(id - 1)], m_script.failingMember) == 0)
            return m_script.failure;
        long answer = 0;
        if (call.compare(0, 5, L"Open(") == 0)
            answer = m_script.openResult;
        else if (call.compare(0, 12, L"ClaimDevice(") == 0)
            answer = m_script.claimResult;
        else if (call == L"ResultCodeExtended?")
            answer = m_script.extended;
        if (result) {
            V_VT(result) = VT_I4;
            V_I4(result) = answer;
        }
        return S_OK;
    }

private:
    static const std::vector<const wchar_t *> kMembers;
    Script m_script;
    std::vector<std::wstring> &m_calls;
    ULONG m_refs = 1;
};

const std::vector<const wchar_t *> RecordingControl::kMembers = {
    L"Open", L"ClaimDevice", L"DeviceEnabled", L"CheckHealth", L"ReleaseDevice", L"Close", L"ResultCodeExtended",
};

class RecordingFactory : public IClassFactory
{
public:
    RecordingControl::Script script;
    std::vector<std::wstring> calls;
    HRESULT createResult = S_OK;
    int created = 0;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **object) override
    {
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *object = static_cast<IClassFactory *>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown *outer, REFIID riid, void **object) override
    {
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        if (FAILED(createResult))
            return createResult;
        ++created;
        auto *control = new RecordingControl(script, calls);
        HRESULT hr = control->QueryInterface(riid, object);
        control->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

TEST_F(NameDialogs, HealthCheckCallsTheControlObjectInOrder)
{
    const std::wstring success[] = {
        L"Open(BSTR:DlgTest Alpha)", L"ClaimDevice(I4:0)", L"DeviceEnabled=I2:-1", L"CheckHealth(I4:3)",
        L"DeviceEnabled=I2:0", L"ReleaseDevice()", L"Close()",
    };
    struct Row
    {
        const char *name;
        RecordingControl::Script script;
        HRESULT createResult;
        std::vector<std::wstring> calls;
        const wchar_t *message;
    };
    const Row rows[] = {
        {"every step", {}, S_OK, std::vector<std::wstring>(std::begin(success), std::end(success)), nullptr},
        {"Open fails", {106, 0, 0, nullptr}, S_OK,
         {L"Open(BSTR:DlgTest Alpha)", L"ResultCodeExtended?"},
         L"Error occurred in calling the CheckHealth method:\n\nOpen = 106\nResultCodeExtended = 0"},
        {"ClaimDevice fails", {0, 102, 207, nullptr}, S_OK,
         {L"Open(BSTR:DlgTest Alpha)", L"ClaimDevice(I4:0)", L"ResultCodeExtended?", L"Close()"},
         L"Error occurred in calling the CheckHealth method:\n\nClaimDevice = 102\nResultCodeExtended = 207"},
        {"ClaimDevice cannot be called", {0, 0, 0, L"ClaimDevice"}, S_OK,
         {L"Open(BSTR:DlgTest Alpha)", L"Close()"},
         L"Error occurred in calling the CheckHealth method:\n\nClaimDevice could not be called [0x80020006]"},
        {"Open cannot be called", {0, 0, 0, L"Open"}, S_OK, {},
         L"Error occurred in calling the CheckHealth method:\n\nOpen could not be called [0x80020006]"},
        {"the object cannot be created", {}, E_OUTOFMEMORY, {},
         L"Can not create the control object \"OPOS.POSPrinter\"! [0x8007000E]"},
        // After a claim, a member that fails at the COM level is reported and what was done is
        // still undone: no disable without an enable, then release and close.
        {"DeviceEnabled missing", {0, 0, 0, L"DeviceEnabled"}, S_OK,
         {L"Open(BSTR:DlgTest Alpha)", L"ClaimDevice(I4:0)", L"ReleaseDevice()", L"Close()"},
         L"Error occurred in calling the CheckHealth method:\n\nDeviceEnabled could not be called [0x80020006]"},
        {"DeviceEnabled put fails", {0, 0, 0, nullptr, L"DeviceEnabled", DISP_E_TYPEMISMATCH}, S_OK,
         {L"Open(BSTR:DlgTest Alpha)", L"ClaimDevice(I4:0)", L"DeviceEnabled=I2:-1", L"ReleaseDevice()", L"Close()"},
         L"Error occurred in calling the CheckHealth method:\n\nDeviceEnabled could not be called [0x80020005]"},
        {"CheckHealth missing", {0, 0, 0, L"CheckHealth"}, S_OK,
         {L"Open(BSTR:DlgTest Alpha)", L"ClaimDevice(I4:0)", L"DeviceEnabled=I2:-1", L"DeviceEnabled=I2:0",
          L"ReleaseDevice()", L"Close()"},
         L"Error occurred in calling the CheckHealth method:\n\nCheckHealth could not be called [0x80020006]"},
        {"CheckHealth fails", {0, 0, 0, nullptr, L"CheckHealth", DISP_E_EXCEPTION}, S_OK,
         {L"Open(BSTR:DlgTest Alpha)", L"ClaimDevice(I4:0)", L"DeviceEnabled=I2:-1", L"CheckHealth(I4:3)",
          L"DeviceEnabled=I2:0", L"ReleaseDevice()", L"Close()"},
         L"Error occurred in calling the CheckHealth method:\n\nCheckHealth could not be called [0x80020009]"},
    };
    CLSID standIn = {};
    ASSERT_EQ(S_OK, CLSIDFromString(const_cast<LPOLESTR>(kStandInPrinterClsid), &standIn));
    ASSERT_EQ(S_OK, CLSIDFromProgID(L"OPOS.POSPrinter", &standIn)) << "the stand-in is registered";
    RecordingFactory factory;
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, CoRegisterClassObject(standIn, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie));
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        factory.script = row.script;
        factory.createResult = row.createResult;
        factory.calls.clear();
        Select(L"POSPrinter\\DlgTest Alpha");
        guitest::MessageBoxRecorder boxes;
        m_frame.SendMessage(WM_COMMAND, MAKEWPARAM(ID_TOOLS_CHECKHEALTH, 0), 0);
        EXPECT_EQ(row.calls, factory.calls);
        if (row.message) {
            ASSERT_EQ(1u, boxes.boxes.size());
            EXPECT_EQ(row.message, boxes.boxes[0].text);
            EXPECT_EQ(L"Error", boxes.boxes[0].caption);
            EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONERROR), boxes.boxes[0].type);
        } else {
            EXPECT_TRUE(boxes.boxes.empty());
        }
    }

    // A class selected: the warning, and no object.
    factory.createResult = S_OK;
    int created = factory.created;
    Select(L"POSPrinter");
    guitest::MessageBoxRecorder boxes;
    m_frame.SendMessage(WM_COMMAND, MAKEWPARAM(ID_TOOLS_CHECKHEALTH, 0), 0);
    ASSERT_EQ(1u, boxes.boxes.size());
    EXPECT_EQ(L"Please select a device!", boxes.boxes[0].text);
    EXPECT_EQ(created, factory.created);
    CoRevokeClassObject(cookie);
}

// --- Context menus ------------------------------------------------------------------------------

TEST_F(NameDialogs, ContextMenuCommandsActOnTheSelection)
{
    // A right click in the tree on clicked (nullptr: in the list, on the row given or below
    // the rows) with the tree's selection given, then the item's access key: the command runs
    // on what was clicked, with the items enabled as the menu resource has them. A device
    // clicked in the tree or in the list becomes the selection first; a class clicked leaves
    // it, and its Property shows the selected device only when it is of that class.
    SetString(kPrinters + L"\\DlgTest Alpha", L"DeviceName", L"Alpha name");
    SetString(kPrinters + L"\\DlgTest Beta", L"DeviceName", L"Beta name");
    auto healthCheckOf = [](const std::wstring &device) {
        return std::vector<std::wstring>{
            L"Open(BSTR:" + device + L")", L"ClaimDevice(I4:0)", L"DeviceEnabled=I2:-1", L"CheckHealth(I4:3)",
            L"DeviceEnabled=I2:0", L"ReleaseDevice()", L"Close()",
        };
    };
    const std::wstring deleteQuestion = L"Are you sure you want to delete this?";
    const std::wstring selectDevice = L"Please select a device!";
    const struct
    {
        const wchar_t *clicked;
        const wchar_t *selected;
        const wchar_t *row;                // list row selected, or nullptr
        wchar_t key;
        std::vector<std::wstring> boxes;   // text, caption, ...
        std::vector<std::wstring> calls;   // of the control object
        const wchar_t *sheetShows;         // DeviceName on the property sheet; nullptr: no sheet
    } rows[] = {
        // clicked                      selected                      row              key   boxes                                          calls        sheet
        {nullptr,                       L"POSPrinter",                L"DlgTest Alpha", L'd', {deleteQuestion, L"POSPrinter\\DlgTest Alpha"}, {},          nullptr},
        {nullptr,                       L"POSPrinter",                L"DlgTest Beta",  L'c', {},                                             healthCheckOf(L"DlgTest Beta"), nullptr},
        {L"POSPrinter\\DlgTest Beta",   L"POSPrinter\\DlgTest Alpha", nullptr,          L'd', {deleteQuestion, L"POSPrinter\\DlgTest Beta"},  {},          nullptr},
        {L"POSPrinter\\DlgTest Beta",   L"POSPrinter\\DlgTest Alpha", nullptr,          L'c', {},                                             healthCheckOf(L"DlgTest Beta"), nullptr},
        {L"POSPrinter\\DlgTest Alpha",  L"POSPrinter",                nullptr,          L'c', {},                                             healthCheckOf(L"DlgTest Alpha"), nullptr},
        {L"POSPrinter",                 L"POSPrinter\\DlgTest Alpha", nullptr,          L'r', {},                                             {},          L"Alpha name"},
        {L"CashDrawer",                 L"POSPrinter\\DlgTest Beta",  nullptr,          L'r', {selectDevice, L"Warning"},                     {},          nullptr},
        {L"POSPrinter",                 L"POSPrinter",                nullptr,          L'r', {selectDevice, L"Warning"},                     {},          nullptr},
        {nullptr,                       L"POSPrinter",                nullptr,          L'c', {selectDevice, L"Warning"},                     {},          nullptr},
    };
    CLSID standIn = {};
    ASSERT_EQ(S_OK, CLSIDFromProgID(L"OPOS.POSPrinter", &standIn)) << "the stand-in is registered";
    RecordingFactory factory;
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, CoRegisterClassObject(standIn, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie));
    for (const auto &row : rows) {
        SCOPED_TRACE(testing::Message() << (row.clicked ? "tree " + Narrow(row.clicked) : std::string("list"))
                     << ", " << Narrow(row.selected) << " selected, key " << static_cast<char>(row.key));
        factory.calls.clear();
        Select(row.selected);
        if (row.row)
            SelectRow(row.row);
        guitest::MessageBoxRecorder boxes(IDNO);
        std::wstring shown;
        const bool sheet = RunFromContextMenu(row.clicked, row.key, L"Property", [&](HWND sheetWindow) {
            HWND page = reinterpret_cast<HWND>(SendMessageW(sheetWindow, PSM_GETCURRENTPAGEHWND, 0, 0));
            shown = Text(page, IDC_DETAIL_DEVICENAME);
            PostMessageW(sheetWindow, PSM_PRESSBUTTON, PSBTN_OK, 0);
        });
        std::vector<std::wstring> texts;
        for (const auto &box : boxes.boxes) {
            texts.push_back(box.text);
            texts.push_back(box.caption);
        }
        EXPECT_EQ(row.boxes, texts);
        EXPECT_EQ(row.calls, factory.calls);
        EXPECT_EQ(row.sheetShows != nullptr, sheet);
        EXPECT_EQ(row.sheetShows ? row.sheetShows : L"", shown);
        EXPECT_TRUE(KeyExists(kPrinters + L"\\DlgTest Alpha")) << "every question was answered No";
        EXPECT_TRUE(KeyExists(kPrinters + L"\\DlgTest Beta")) << "every question was answered No";
    }
    CoRevokeClassObject(cookie);
}

TEST_F(NameDialogs, RightClickedDeviceIsTheOneChanged)
{
    // Beta right-clicked in the tree, with Alpha selected or, as right after the start, with
    // nothing selected: Delete (answered Yes) deletes Beta, Communication Settings opens and
    // stores Beta's port details. Alpha stays as it was.
    const std::wstring alphaKey = kPrinters + L"\\DlgTest Alpha", betaKey = kPrinters + L"\\DlgTest Beta";
    SetString(alphaKey, L"GroupID", L"DLGS");
    SetString(alphaKey, L"Port", L"COM1");
    const struct { const char *name; const wchar_t *selected; wchar_t key; bool deletes; } rows[] = {
        // name                          selected before              key    deletes
        {"Delete, Alpha selected",       L"POSPrinter\\DlgTest Alpha", L'd',  true},
        {"Delete, nothing selected",     nullptr,                      L'd',  true},
        {"Settings, Alpha selected",     L"POSPrinter\\DlgTest Alpha", L'o',  false},
        {"Settings, nothing selected",   nullptr,                      L'o',  false},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        // Beta as the fixture made it, again after a row deleted it.
        SetString(betaKey, L"DeviceDesc", L"DlgTest Beta");
        SetString(betaKey, L"GroupID", L"DLGS");
        SetString(betaKey, L"Port", L"COM1");
        SetString(kPrinters, L"DlgTestOther", L"DlgTest Beta");
        m_frame.ReloadTree();
        if (row.selected)
            Select(row.selected);
        const std::vector<std::wstring> alpha = Snapshot(alphaKey);
        guitest::MessageBoxRecorder boxes(IDYES);
        std::vector<std::wstring> listed;
        const bool opened = RunFromContextMenu(L"POSPrinter\\DlgTest Beta", row.key, L"Port Details", [&](HWND dialog) {
            ui::CListViewCtrl &list = m_frame.GetList();
            for (int i = 0; i < list.GetItemCount(); ++i)
                listed.push_back(list.GetItemText(i, 0));
            EXPECT_TRUE(Choose(dialog, IDC_PORT_NAME, L"COM4"));
            Click(dialog, IDOK);
        });
        EXPECT_EQ(!row.deletes, opened);
        if (row.deletes) {
            ASSERT_EQ(1u, boxes.boxes.size());
            EXPECT_EQ(L"POSPrinter\\DlgTest Beta", boxes.boxes[0].caption);
            EXPECT_FALSE(KeyExists(betaKey));
            EXPECT_EQ(L"absent", Value(kPrinters, L"DlgTestOther")) << "Beta's name goes with it";
        } else {
            EXPECT_TRUE(boxes.boxes.empty());
            EXPECT_EQ(std::vector<std::wstring>{L"DlgTestOther"}, listed) << "the list shows Beta's names";
            EXPECT_EQ(L"sz:COM4", Value(betaKey, L"Port"));
            EXPECT_EQ(Find(L"POSPrinter\\DlgTest Beta"), m_frame.GetTree().GetSelectedItem());
        }
        EXPECT_EQ(alpha, Snapshot(alphaKey));
    }
}

TEST_F(NameDialogs, ListRowMenuActsOnTheRowsDevice)
{
    // A class selected, a right click on the first or the last of its device rows: each
    // command of the Device menu runs for that row's device, which the registry shows after
    // OK (Add New LDN, Communication Settings), the control object is opened for (CheckHealth)
    // or the question names (Delete, answered No).
    for (const wchar_t *device : {L"DlgTest Alpha", L"DlgTest Beta"}) {
        SetString(kPrinters + L"\\" + device, L"GroupID", L"DLGS");
        SetString(kPrinters + L"\\" + device, L"Port", L"COM1");
    }
    m_frame.ReloadTree();
    Select(L"POSPrinter");
    std::vector<std::wstring> rows;
    for (int i = 0; i < m_frame.GetList().GetItemCount(); ++i) {
        const std::wstring name = m_frame.GetList().GetItemText(i, 0);
        if (name.compare(0, 7, L"DlgTest") == 0)
            rows.push_back(name);
    }
    ASSERT_EQ(2u, rows.size());
    const std::wstring ends[] = {rows.front(), rows.back()};

    CLSID standIn = {};
    ASSERT_EQ(S_OK, CLSIDFromProgID(L"OPOS.POSPrinter", &standIn));
    RecordingFactory factory;
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, CoRegisterClassObject(standIn, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie));
    enum Command { AddLdn, CommSettings, CheckHealth, Delete };
    const struct { Command command; wchar_t key; const wchar_t *caption; } commands[] = {
        {AddLdn, L'l', L"Add New LDN"},
        {CommSettings, L'o', L"Port Details"},
        {CheckHealth, L'c', nullptr},
        {Delete, L'd', nullptr},
    };
    for (const std::wstring &device : ends) {
        const std::wstring other = device == ends[0] ? ends[1] : ends[0];
        for (const auto &c : commands) {
            SCOPED_TRACE(testing::Message() << Narrow(device) << ", key " << static_cast<char>(c.key));
            DeleteTestEntries(kPrinters);
            SetUpNames();
            for (const std::wstring &d : {device, other}) {
                SetString(kPrinters + L"\\" + d, L"GroupID", L"DLGS");
                SetString(kPrinters + L"\\" + d, L"Port", L"COM1");
            }
            m_frame.ReloadTree();
            Select(L"POSPrinter");
            SelectRow(device);
            const std::vector<std::wstring> otherBefore = Snapshot(kPrinters + L"\\" + other);
            factory.calls.clear();
            guitest::MessageBoxRecorder boxes(IDNO);
            std::wstring preselected;
            const bool opened = RunFromContextMenu(nullptr, c.key, c.caption ? c.caption : L"-", [&](HWND dialog) {
                if (c.command == AddLdn) {
                    preselected = Selected(dialog, IDC_LDN_DEVICE);
                    SetText(dialog, IDC_LDN_NAME, L"DlgTestRow");
                } else {
                    EXPECT_TRUE(Choose(dialog, IDC_PORT_NAME, L"COM4"));
                }
                Click(dialog, IDOK);
            });
            EXPECT_EQ(c.caption != nullptr, opened);
            switch (c.command) {
            case AddLdn:
                EXPECT_EQ(device, preselected);
                EXPECT_EQ(L"sz:" + device, Value(kPrinters, L"DlgTestRow"));
                break;
            case CommSettings:
                EXPECT_EQ(L"sz:COM4", Value(kPrinters + L"\\" + device, L"Port"));
                break;
            case CheckHealth:
                ASSERT_FALSE(factory.calls.empty());
                EXPECT_EQ(L"Open(BSTR:" + device + L")", factory.calls[0]);
                EXPECT_TRUE(boxes.boxes.empty());
                break;
            case Delete:
                ASSERT_EQ(1u, boxes.boxes.size());
                EXPECT_EQ(L"POSPrinter\\" + device, boxes.boxes[0].caption);
                EXPECT_TRUE(KeyExists(kPrinters + L"\\" + device)) << "answered No";
                break;
            }
            EXPECT_EQ(otherBefore, Snapshot(kPrinters + L"\\" + other)) << "the other device is left alone";
        }
    }
    CoRevokeClassObject(cookie);
}

TEST_F(NameDialogs, ClassMenuAddsADeviceToTheClassClicked)
{
    // Add New Device from a class's menu offers that class's models and adds under it, with a
    // device of the other class selected and with nothing selected (as after a reload).
    const struct { const wchar_t *clicked; const wchar_t *selected; std::vector<std::wstring> models;
                   const wchar_t *model; const wchar_t *port; std::wstring key; } rows[] = {
        // clicked         selected (nullptr: none)       models offered                                     chosen               port        key written
        {L"POSPrinter",    L"CashDrawer\\DlgTest Till",   {L"DlgTest Alone", L"DlgTest Serial"},             L"DlgTest Serial",   L"Serial",  kPrinters + L"\\DlgTest Serial"},
        {L"POSPrinter",    nullptr,                       {L"DlgTest Alone", L"DlgTest Serial"},             L"DlgTest Serial",   L"Serial",  kPrinters + L"\\DlgTest Serial"},
        {L"CashDrawer",    L"POSPrinter\\DlgTest Alpha",  {L"DlgTest Drawer"},                               L"DlgTest Drawer",   L"Ethernet", kDrawers + L"\\DlgTest Drawer"},
        {L"CashDrawer",    nullptr,                       {L"DlgTest Drawer"},                               L"DlgTest Drawer",   L"Ethernet", kDrawers + L"\\DlgTest Drawer"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(testing::Message() << Narrow(row.clicked) << ", " << (row.selected ? Narrow(row.selected) : "nothing")
                     << " selected");
        DeleteTestEntries(kPrinters);
        DeleteTestEntries(kDrawers);
        SetUpNames();
        SetString(kDrawers + L"\\DlgTest Till", L"DeviceDesc", L"till");
        m_frame.ReloadTree();
        if (row.selected)
            Select(row.selected);
        guitest::MessageBoxRecorder boxes;
        std::vector<std::wstring> models;
        ASSERT_TRUE(RunFromContextMenu(row.clicked, L'n', L"Add New Device", [&](HWND dialog) {
            models = Entries(dialog, IDC_ADD_MODEL);
            ASSERT_TRUE(Choose(dialog, IDC_ADD_MODEL, row.model));
            ASSERT_TRUE(Choose(dialog, IDC_ADD_PORT, row.port));
            Click(dialog, IDOK);
        }));
        EXPECT_EQ(row.models, models);
        EXPECT_TRUE(boxes.boxes.empty());
        EXPECT_TRUE(KeyExists(row.key));
        const std::wstring otherClass = row.key.compare(0, kPrinters.size(), kPrinters) == 0 ? kDrawers : kPrinters;
        EXPECT_FALSE(KeyExists(otherClass + row.key.substr(row.key.rfind(L'\\'))));
    }
}

TEST_F(NameDialogs, ShiftF10AndTheMenuKeyOpenTheFocusedItemsMenu)
{
    // The key as it reaches the loop in the focused tree or list opens the menu of the focused
    // item at that item, and the command chosen acts on it as after a right click.
    SetString(kPrinters + L"\\DlgTest Beta", L"GroupID", L"DLGS");
    SetString(kPrinters + L"\\DlgTest Beta", L"Port", L"COM1");
    enum Where { InTree, InList };
    const struct { const char *what; Where where; UINT vk; bool shift; const wchar_t *selected; const wchar_t *row; } rows[] = {
        // case                                where    key       shift  tree selection                 list row
        {"Shift+F10 on a tree device",         InTree,  VK_F10,   true,  L"POSPrinter\\DlgTest Beta",  nullptr},
        {"menu key on a tree device",          InTree,  VK_APPS,  false, L"POSPrinter\\DlgTest Beta",  nullptr},
        {"Shift+F10 on a list row",            InList,  VK_F10,   true,  L"POSPrinter",                L"DlgTest Beta"},
        {"menu key on a list row",             InList,  VK_APPS,  false, L"POSPrinter",                L"DlgTest Beta"},
    };
    ui::CTreeViewCtrl &tree = m_frame.GetTree();
    ui::CListViewCtrl &list = m_frame.GetList();
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        SetString(kPrinters + L"\\DlgTest Beta", L"Port", L"COM1");
        m_frame.ReloadTree();
        Select(row.selected);
        HWND focus = row.where == InTree ? tree.m_hWnd : list.m_hWnd;
        if (row.row)
            SelectRow(row.row);
        SetFocus(focus);
        // Where the menu must appear: below the focused item's text.
        RECT item = {};
        if (row.where == InTree) {
            HTREEITEM selected = tree.GetSelectedItem();
            memcpy(&item, &selected, sizeof selected);
            ASSERT_TRUE(SendMessageW(tree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&item)));
        } else {
            item.left = LVIR_LABEL;
            ASSERT_TRUE(SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(list.GetNextItem(-1, LVNI_SELECTED)),
                                     reinterpret_cast<LPARAM>(&item)));
        }
        MapWindowPoints(focus, nullptr, reinterpret_cast<POINT *>(&item), 2);
        RECT menuRect = {};
        bool open = false, taken = false;
        const bool opened = WhileOpen(L"Port Details", [&](HWND dialog) {
            EXPECT_TRUE(Choose(dialog, IDC_PORT_NAME, L"COM6"));
            Click(dialog, IDOK);
        }, [&] {
            guitest::Deferred choose(100, [&] {
                HWND menuWindow = FindWindowW(L"#32768", nullptr);
                open = menuWindow && IsWindowVisible(menuWindow);
                if (open) {
                    GetWindowRect(menuWindow, &menuRect);
                    PostMessageW(menuWindow, WM_CHAR, L'o', 1);
                }
            });
            guitest::ModifierKeys keys(false, row.shift, false);
            MSG msg = {};
            msg.hwnd = focus;
            msg.message = row.vk == VK_F10 ? WM_SYSKEYDOWN : WM_KEYDOWN;
            msg.wParam = row.vk;
            msg.lParam = 1;
            taken = m_loop.PreTranslateMessage(&msg) != FALSE;
            msg.message = row.vk == VK_F10 ? WM_SYSKEYUP : WM_KEYUP;
            msg.lParam = static_cast<LPARAM>(0xC0000001);
            EXPECT_TRUE(m_loop.PreTranslateMessage(&msg)) << "its key-up is taken too";
        });
        EXPECT_TRUE(taken);
        EXPECT_TRUE(open);
        EXPECT_TRUE(opened);
        EXPECT_EQ(L"sz:COM6", Value(kPrinters + L"\\DlgTest Beta", L"Port"));
        EXPECT_NEAR(item.left, menuRect.left, 2);
        EXPECT_NEAR(item.bottom, menuRect.top, 2);
    }

    // A menu dismissed before its key came up (the menu took the key-up): the next F10 is
    // the system's again, down and up.
    Select(L"POSPrinter\\DlgTest Beta");
    SetFocus(tree);
    {
        guitest::Deferred dismiss(100, [] { EndMenu(); });
        guitest::ModifierKeys keys(false, true, false);
        MSG down = {tree.m_hWnd, WM_SYSKEYDOWN, VK_F10, 1, 0, {0, 0}};
        guitest::ModalWatchdog watchdog;
        EXPECT_TRUE(m_loop.PreTranslateMessage(&down));
    }
    guitest::PumpMessages();

    // Without Shift, F10 is no menu key here; a key in another window is not either.
    MSG msg = {};
    msg.hwnd = tree.m_hWnd;
    msg.message = WM_SYSKEYDOWN;
    msg.wParam = VK_F10;
    {
        guitest::ModifierKeys keys(false, false, false);
        EXPECT_FALSE(m_loop.PreTranslateMessage(&msg));
        msg.message = WM_SYSKEYUP;
        EXPECT_FALSE(m_loop.PreTranslateMessage(&msg));
        msg.hwnd = m_frame.m_hWnd;
        msg.message = WM_KEYDOWN;
        msg.wParam = VK_APPS;
        EXPECT_FALSE(m_loop.PreTranslateMessage(&msg));
    }
}

} // namespace
