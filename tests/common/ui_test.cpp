// The UI layer against real windows under Wine: message maps routing to member handlers and
// through chains, subclassing, update-UI reaching menus and toolbars, the splitter and the
// pane container, dialog data exchange on a real dialog (modeless and modal), property sheets,
// the message loop's filters and idle handlers, string loading and the message box hook.
#include "cmdbar.h"
#include "controls.h"
#include "dialog.h"
#include "frame.h"
#include "module.h"
#include "pane.h"
#include "propsheet.h"
#include "splitter.h"
#include "strings.h"
#include "updateui.h"
#include "window.h"

#include "gui_test_util.h"
#include "ui_test_resource.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using guitest::MessageBoxRecorder;
using guitest::PumpMessages;

class UiEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_WIN95_CLASSES | ICC_COOL_CLASSES | ICC_BAR_CLASSES};
        InitCommonControlsEx(&controls);
    }
};
[[maybe_unused]] const auto *g_environment = ::testing::AddGlobalTestEnvironment(new UiEnvironment);

// --- Message maps -----------------------------------------------------------------------------

// A base part with its own map, reached through a chain entry.
class RecordingBase
{
public:
    std::vector<std::string> calls;

    BOOL ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT &result);

private:
    using Map = ui::MsgEntry<RecordingBase>;
    static const Map s_map[];

    LRESULT OnUser1(UINT, WPARAM, LPARAM, BOOL &) { calls.push_back("Base.OnUser1"); return 91; }
    LRESULT OnUser2(UINT, WPARAM, LPARAM, BOOL &) { calls.push_back("Base.OnUser2"); return 22; }
    LRESULT OnCommand101(WORD, WORD, HWND, BOOL &) { calls.push_back("Base.OnCommand101"); return 0; }
};

const RecordingBase::Map RecordingBase::s_map[] = {
    Map::Message(WM_USER + 1, &RecordingBase::OnUser1),
    Map::Message(WM_USER + 2, &RecordingBase::OnUser2),
    Map::Command(101, &RecordingBase::OnCommand101),
};

BOOL RecordingBase::ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT &result)
{
    return ui::RouteMessage(this, s_map, hwnd, msg, wParam, lParam, result);
}

class MapWindow : public ui::CWindowImpl<MapWindow>, public RecordingBase
{
public:
    std::vector<HWND> finalMessages;

    BOOL ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT &result) override;
    void OnFinalMessage(HWND hwnd) override { finalMessages.push_back(hwnd); }

private:
    using Map = ui::MsgEntry<MapWindow>;
    static const Map s_map[];

    LRESULT OnUser1(UINT, WPARAM, LPARAM, BOOL &) { calls.push_back("OnUser1"); return 11; }
    LRESULT OnDeclines(UINT, WPARAM, LPARAM, BOOL &handled)
    {
        calls.push_back("OnDeclines");
        handled = FALSE;
        return 99;
    }
    LRESULT OnUser3(UINT, WPARAM wParam, LPARAM, BOOL &)
    {
        calls.push_back("OnUser3");
        return 30 + static_cast<LRESULT>(wParam);
    }
    LRESULT OnCommand100(WORD, WORD, HWND, BOOL &) { calls.push_back("OnCommand100"); return 0; }
    LRESULT OnRange(WORD, WORD id, HWND, BOOL &) { calls.push_back("OnRange " + std::to_string(id)); return 0; }
    LRESULT OnEditChange(WORD code, WORD, HWND, BOOL &)
    {
        calls.push_back("OnEditChange " + std::to_string(code));
        return 0;
    }
    LRESULT OnAnyClick(int idCtrl, LPNMHDR, BOOL &) { calls.push_back("OnAnyClick " + std::to_string(idCtrl)); return 5; }
    LRESULT OnDblClk400(int, LPNMHDR, BOOL &) { calls.push_back("OnDblClk400"); return 6; }
};

const MapWindow::Map MapWindow::s_map[] = {
    // message, id or code                         handler
    Map::Message(WM_USER + 1,                      &MapWindow::OnUser1),
    Map::Message(WM_USER + 3,                      &MapWindow::OnDeclines),
    Map::Message(WM_USER + 3,                      &MapWindow::OnUser3),
    Map::Command(100,                              &MapWindow::OnCommand100),
    Map::CommandRange(200, 209,                    &MapWindow::OnRange),
    Map::CommandCode(300, EN_CHANGE,               &MapWindow::OnEditChange),
    Map::Notify(NM_CLICK,                          &MapWindow::OnAnyClick),
    Map::NotifyId(400, NM_DBLCLK,                  &MapWindow::OnDblClk400),
    Map::Chain<RecordingBase>(),
};

BOOL MapWindow::ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT &result)
{
    return ui::RouteMessage(this, s_map, hwnd, msg, wParam, lParam, result);
}

struct RouteCase
{
    const char *what;
    UINT msg;
    WPARAM wParam;
    UINT notifyId;      // WM_NOTIFY: idFrom and code below; otherwise unused
    UINT notifyCode;
    const char *expectedCalls;   // separated by '|', empty: no handler
    LRESULT expectedResult;
};

std::string Join(const std::vector<std::string> &calls)
{
    std::string out;
    for (const std::string &c : calls)
        out += (out.empty() ? "" : "|") + c;
    return out;
}

TEST(MessageMap, RoutesMessagesCommandsAndNotificationsInOrder)
{
    const RouteCase cases[] = {
        // what                          msg           wParam                         notify id, code     calls                        result
        {"message entry",                WM_USER + 1,  0,                             0, 0,               "OnUser1",                   11},
        {"declined entry falls through", WM_USER + 3,  4,                             0, 0,               "OnDeclines|OnUser3",        34},
        {"chained base map",             WM_USER + 2,  0,                             0, 0,               "Base.OnUser2",              22},
        {"command id",                   WM_COMMAND,   MAKEWPARAM(100, 0),            0, 0,               "OnCommand100",              0},
        {"command id from accelerator",  WM_COMMAND,   MAKEWPARAM(100, 1),            0, 0,               "OnCommand100",              0},
        {"chained base command",         WM_COMMAND,   MAKEWPARAM(101, 0),            0, 0,               "Base.OnCommand101",         0},
        {"range, first id",              WM_COMMAND,   MAKEWPARAM(200, 0),            0, 0,               "OnRange 200",               0},
        {"range, last id",               WM_COMMAND,   MAKEWPARAM(209, 0),            0, 0,               "OnRange 209",               0},
        {"just past the range",          WM_COMMAND,   MAKEWPARAM(210, 0),            0, 0,               "",                          0},
        {"control notification",         WM_COMMAND,   MAKEWPARAM(300, EN_CHANGE),    0, 0,               "OnEditChange 768",          0},
        {"other control notification",   WM_COMMAND,   MAKEWPARAM(300, EN_KILLFOCUS), 0, 0,               "",                          0},
        {"notify code, any sender",      WM_NOTIFY,    7,                             7, NM_CLICK,        "OnAnyClick 7",              5},
        {"notify code, other sender",    WM_NOTIFY,    8,                             8, NM_CLICK,        "OnAnyClick 8",              5},
        {"notify id and code",           WM_NOTIFY,    400,                           400, NM_DBLCLK,     "OnDblClk400",               6},
        {"notify code, wrong id",        WM_NOTIFY,    401,                           401, NM_DBLCLK,     "",                          0},
        {"no entry",                     WM_USER + 9,  0,                             0, 0,               "",                          0},
    };

    MapWindow window;
    ASSERT_TRUE(window.Create(nullptr, nullptr, L"map", WS_OVERLAPPEDWINDOW));
    for (const RouteCase &c : cases) {
        window.calls.clear();
        NMHDR header = {window.m_hWnd, c.notifyId, c.notifyCode};
        LPARAM lParam = c.msg == WM_NOTIFY ? reinterpret_cast<LPARAM>(&header) : 0;
        LRESULT result = window.SendMessage(c.msg, c.wParam, lParam);
        EXPECT_EQ(c.expectedCalls, Join(window.calls)) << "case: " << c.what;
        EXPECT_EQ(c.expectedResult, result) << "case: " << c.what;
    }
    window.DestroyWindow();
}

TEST(MessageMap, FinalMessageComesOnceWithTheHandleDetached)
{
    MapWindow window;
    HWND hwnd = window.Create(nullptr, nullptr, L"final", WS_OVERLAPPEDWINDOW);
    ASSERT_TRUE(hwnd);
    EXPECT_EQ(&window, ui::CWindowImplRoot::FromHandle(hwnd));
    window.DestroyWindow();
    ASSERT_EQ(1u, window.finalMessages.size());
    EXPECT_EQ(hwnd, window.finalMessages[0]);
    EXPECT_EQ(nullptr, window.m_hWnd);
    EXPECT_FALSE(IsWindow(hwnd));
    // The object can make a new window.
    EXPECT_TRUE(window.Create(nullptr, nullptr, L"again", WS_OVERLAPPEDWINDOW));
    window.DestroyWindow();
}

TEST(MessageMap, ObjectGoingFirstTakesItsWindowAlong)
{
    HWND hwnd = nullptr;
    {
        MapWindow window;
        hwnd = window.Create(nullptr, nullptr, L"early", WS_OVERLAPPEDWINDOW);
        ASSERT_TRUE(hwnd);
    }
    EXPECT_FALSE(IsWindow(hwnd));
}

// Digits typed into the edit box are eaten; everything else reaches the edit control.
class DigitFilter : public ui::CWindowImpl<DigitFilter>
{
public:
    BOOL ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT &result) override;

private:
    using Map = ui::MsgEntry<DigitFilter>;
    static const Map s_map[];
    LRESULT OnChar(UINT, WPARAM wParam, LPARAM, BOOL &handled)
    {
        if (wParam < L'0' || wParam > L'9')
            handled = FALSE;
        return 0;
    }
};
const DigitFilter::Map DigitFilter::s_map[] = {Map::Message(WM_CHAR, &DigitFilter::OnChar)};

BOOL DigitFilter::ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT &result)
{
    return ui::RouteMessage(this, s_map, hwnd, msg, wParam, lParam, result);
}

TEST(MessageMap, SubclassedControlKeepsItsOwnBehaviourForUnhandledMessages)
{
    HWND edit = CreateWindowExW(0, L"EDIT", L"", WS_POPUP, 0, 0, 100, 20, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(edit);
    DigitFilter filter;
    ASSERT_TRUE(filter.SubclassWindow(edit));
    EXPECT_FALSE(filter.SubclassWindow(edit)) << "a window is subclassed once";
    for (wchar_t c : std::wstring(L"a1b2"))
        SendMessageW(edit, WM_CHAR, c, 1);
    EXPECT_EQ(L"ab", ui::GetWindowString(edit));

    EXPECT_EQ(edit, filter.UnsubclassWindow());
    SendMessageW(edit, WM_CHAR, L'3', 1);
    EXPECT_EQ(L"ab3", ui::GetWindowString(edit));
    EXPECT_EQ(nullptr, ui::CWindowImplRoot::FromHandle(edit));
    DestroyWindow(edit);
}

// --- Strings and message boxes -----------------------------------------------------------------

TEST(Strings, LoadAndSplitAndFormat)
{
    struct Case
    {
        UINT id;
        int part;               // -1: the whole string
        const wchar_t *expected;
    };
    const Case cases[] = {
        // id                 part  expected
        {IDS_TEST_PLAIN,      -1,   L"Plain text"},
        {IDS_TEST_PARTS,      -1,   L"The prompt\nThe tip"},
        {IDS_TEST_PARTS,      0,    L"The prompt"},
        {IDS_TEST_PARTS,      1,    L"The tip"},
        {IDS_TEST_PARTS,      2,    L""},
        {IDS_TEST_NOTIP,      0,    L"Only a prompt"},
        {IDS_TEST_NOTIP,      1,    L""},
        {9999,                -1,   L""},
        {9999,                0,    L""},
    };
    for (const Case &c : cases) {
        std::wstring got = c.part < 0 ? ui::LoadStr(c.id) : ui::LoadStrPart(c.id, c.part);
        EXPECT_EQ(std::wstring(c.expected), got) << "id " << c.id << " part " << c.part;
    }

    EXPECT_EQ(L"COM3 has 4 items", ui::FormatRes(IDS_TEST_FORMAT, L"COM3", 4));
    // Longer than the first buffer: the text grows until it fits.
    std::wstring longText(1000, L'x');
    EXPECT_EQ(longText + L"|7", ui::Format(L"%ls|%d", longText.c_str(), 7));
}

TEST(MessageBoxHook, HookRecordsBoxesWithTheOwnersTitleAsDefaultCaption)
{
    HWND owner = CreateWindowExW(0, L"STATIC", L"Owner title", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(owner);
    HWND child = CreateWindowExW(0, L"STATIC", L"child", WS_CHILD, 0, 0, 5, 5, owner, nullptr, nullptr, nullptr);
    {
        MessageBoxRecorder recorder(IDNO);
        EXPECT_EQ(IDNO, ui::ShowMessageBox(child, L"Delete it?", L"", MB_YESNO | MB_ICONQUESTION));
        EXPECT_EQ(IDNO, ui::ShowMessageBox(owner, IDS_TEST_PLAIN, IDS_TEST_CAPTION, MB_OK));
        ASSERT_EQ(2u, recorder.boxes.size());
        EXPECT_EQ(child, recorder.boxes[0].owner);
        EXPECT_EQ(L"Delete it?", recorder.boxes[0].text);
        EXPECT_EQ(L"Owner title", recorder.boxes[0].caption) << "the top-level window's title";
        EXPECT_EQ(static_cast<UINT>(MB_YESNO | MB_ICONQUESTION), recorder.boxes[0].type);
        EXPECT_EQ(L"Plain text", recorder.boxes[1].text);
        EXPECT_EQ(L"Test caption", recorder.boxes[1].caption);
    }
    // The recorder put back what was there before.
    EXPECT_EQ(nullptr, ui::SetMessageBoxHook(nullptr));
    DestroyWindow(owner);
}

// --- Message loop ------------------------------------------------------------------------------

// On its first idle call it posts one more message and the end of the loop.
class CountingIdle : public ui::CIdleHandler
{
public:
    HWND target = nullptr;
    int calls = 0;
    BOOL OnIdle() override
    {
        if (++calls == 1) {
            PostMessageW(target, WM_USER + 6, 0, 0);
            PostQuitMessage(7);
        }
        return FALSE;
    }
};

class EatingFilter : public ui::CMessageFilter
{
public:
    UINT eats;
    int seen = 0;
    ui::CMessageLoop *removeFrom = nullptr;   // removes itself on its first call
    explicit EatingFilter(UINT message) : eats(message) {}
    BOOL PreTranslateMessage(MSG *msg) override
    {
        ++seen;
        if (removeFrom) {
            removeFrom->RemoveMessageFilter(this);
            removeFrom = nullptr;
        }
        return msg->message == eats;
    }
};

class CountingWindow : public ui::CWindowImpl<CountingWindow>
{
public:
    std::vector<UINT> received;
    BOOL ProcessWindowMessage(HWND, UINT msg, WPARAM, LPARAM, LRESULT &) override
    {
        if (msg >= WM_USER && msg < WM_USER + 100)
            received.push_back(msg);
        return FALSE;
    }
};

TEST(MessageLoop, FiltersConsumeMessagesAndTheLoopEndsWithTheQuitCode)
{
    CountingWindow window;
    ASSERT_TRUE(window.Create(nullptr, nullptr, L"loop", WS_OVERLAPPEDWINDOW));
    ui::CMessageLoop loop;
    EatingFilter eatsFive(WM_USER + 5);
    EatingFilter leavesEarly(0);
    leavesEarly.removeFrom = &loop;
    CountingIdle idle;
    idle.target = window;
    ASSERT_TRUE(loop.AddMessageFilter(&eatsFive));
    ASSERT_TRUE(loop.AddMessageFilter(&leavesEarly));
    EXPECT_FALSE(loop.AddMessageFilter(&eatsFive)) << "added twice";
    ASSERT_TRUE(loop.AddIdleHandler(&idle));

    window.PostMessage(WM_USER + 4);
    window.PostMessage(WM_USER + 5);
    EXPECT_EQ(7, guitest::RunWithTimeout(loop));

    // Idle time came once, when the first two messages were through.
    EXPECT_EQ((std::vector<UINT>{WM_USER + 4, WM_USER + 6}), window.received);
    EXPECT_EQ(1, idle.calls);
    EXPECT_EQ(1, leavesEarly.seen) << "removed itself while being called";
    EXPECT_EQ(3, eatsFive.seen);
    EXPECT_FALSE(loop.RemoveMessageFilter(&leavesEarly));
    EXPECT_TRUE(loop.RemoveIdleHandler(&idle));
    window.DestroyWindow();
}

TEST(Module, OneMessageLoopPerThread)
{
    ui::CMessageLoop loop;
    EXPECT_EQ(nullptr, ui::Module().GetMessageLoop());
    ASSERT_TRUE(ui::Module().AddMessageLoop(&loop));
    EXPECT_FALSE(ui::Module().AddMessageLoop(&loop));
    EXPECT_EQ(&loop, ui::Module().GetMessageLoop());
    EXPECT_EQ(nullptr, ui::Module().GetMessageLoop(GetCurrentThreadId() + 4));
    EXPECT_TRUE(ui::Module().RemoveMessageLoop());
    EXPECT_EQ(nullptr, ui::Module().GetMessageLoop());
}

// --- Update-UI ---------------------------------------------------------------------------------

enum : UINT { kBoth = 1001, kMenuOnly = 1002, kToolbarOnly = 1003, kUnmanaged = 1004 };

class UpdateWindow : public ui::CWindowImpl<UpdateWindow>, public ui::CUpdateUI<UpdateWindow>
{
public:
    static const ui::UpdateUIEntry *GetUpdateUIMap(size_t &count)
    {
        static const ui::UpdateUIEntry map[] = {
            {kBoth, ui::UPDUI_MENUPOPUP | ui::UPDUI_TOOLBAR},
            {kMenuOnly, ui::UPDUI_MENUPOPUP},
            {kToolbarOnly, ui::UPDUI_TOOLBAR},
        };
        count = 3;
        return map;
    }
    BOOL ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT &result) override
    {
        using Map = ui::MsgEntry<UpdateWindow>;
        static const Map map[] = {Map::Chain<ui::CUpdateUI<UpdateWindow>>()};
        return ui::RouteMessage(this, map, hwnd, msg, wParam, lParam, result);
    }
};

struct ItemState
{
    bool enabled;
    bool checked;
};

ItemState MenuState(HMENU menu, UINT id)
{
    UINT state = GetMenuState(menu, id, MF_BYCOMMAND);
    return {!(state & MF_GRAYED), (state & MF_CHECKED) != 0};
}

ItemState ButtonState(HWND toolbar, UINT id)
{
    return {SendMessageW(toolbar, TB_ISBUTTONENABLED, id, 0) != 0,
            SendMessageW(toolbar, TB_ISBUTTONCHECKED, id, 0) != 0};
}

class UpdateUITest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(window.Create(nullptr, nullptr, L"update", WS_OVERLAPPEDWINDOW));
        // The drop-down of the window's own menu bar, which the window destroys with itself.
        popup = CommandsPopup();
        HMENU bar = CreateMenu();
        AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), L"&Commands");
        SetMenu(window, bar);
        toolbar = CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 200, 30,
                                  window, nullptr, nullptr, nullptr);
        SendMessageW(toolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
        TBBUTTON buttons[4] = {};
        const UINT ids[4] = {kBoth, kMenuOnly, kToolbarOnly, kUnmanaged};
        for (int i = 0; i < 4; ++i) {
            buttons[i].iBitmap = I_IMAGENONE;
            buttons[i].idCommand = static_cast<int>(ids[i]);
            buttons[i].fsState = TBSTATE_ENABLED;
            buttons[i].fsStyle = BTNS_BUTTON;
        }
        SendMessageW(toolbar, TB_ADDBUTTONSW, 4, reinterpret_cast<LPARAM>(buttons));
        ASSERT_TRUE(window.UIAddToolBar(toolbar));
    }
    void TearDown() override { window.DestroyWindow(); }
    static HMENU CommandsPopup()
    {
        HMENU menu = CreatePopupMenu();
        AppendMenuW(menu, MF_STRING, kBoth, L"Both");
        AppendMenuW(menu, MF_STRING, kMenuOnly, L"Menu only");
        AppendMenuW(menu, MF_STRING, kToolbarOnly, L"Toolbar only");
        AppendMenuW(menu, MF_STRING | MF_GRAYED, kUnmanaged, L"Unmanaged");
        return menu;
    }
    void DropDown() { window.SendMessage(WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), 0); }

    UpdateWindow window;
    HMENU popup = nullptr;
    HWND toolbar = nullptr;
};

TEST_F(UpdateUITest, StatesReachMenusWhenTheyDropDownAndToolbarsWhenUpdated)
{
    EXPECT_FALSE(window.UIEnable(kUnmanaged, false)) << "no managed state";
    ASSERT_TRUE(window.UIEnable(kBoth, false));
    ASSERT_TRUE(window.UISetCheck(kMenuOnly, true));
    ASSERT_TRUE(window.UIEnable(kToolbarOnly, false));
    ASSERT_TRUE(window.UISetCheck(kToolbarOnly, true));

    // Before the menu drops down and before the idle update, nothing shows the states.
    EXPECT_TRUE(MenuState(popup, kBoth).enabled);
    EXPECT_TRUE(ButtonState(toolbar, kBoth).enabled);

    DropDown();
    window.UIUpdateToolBar();

    struct Row
    {
        UINT id;
        ItemState menu;
        ItemState button;
    };
    const Row rows[] = {
        // id              menu {enabled, checked}   toolbar {enabled, checked}
        {kBoth,            {false, false},           {false, false}},
        {kMenuOnly,        {true, true},             {true, false}},
        {kToolbarOnly,     {true, false},            {false, true}},
        {kUnmanaged,       {false, false},           {true, false}},   // as created
    };
    for (const Row &r : rows) {
        ItemState menu = MenuState(popup, r.id);
        ItemState button = ButtonState(toolbar, r.id);
        EXPECT_EQ(r.menu.enabled, menu.enabled) << "menu item " << r.id;
        EXPECT_EQ(r.menu.checked, menu.checked) << "menu item " << r.id;
        EXPECT_EQ(r.button.enabled, button.enabled) << "button " << r.id;
        EXPECT_EQ(r.button.checked, button.checked) << "button " << r.id;
    }

    // Changes show at the next drop-down and the next update, not before.
    window.UIEnable(kBoth, true);
    EXPECT_FALSE(ButtonState(toolbar, kBoth).enabled);
    EXPECT_FALSE(MenuState(popup, kBoth).enabled);
    DropDown();
    window.UIUpdateToolBar();
    EXPECT_TRUE(MenuState(popup, kBoth).enabled);
    EXPECT_TRUE(ButtonState(toolbar, kBoth).enabled);
}

TEST_F(UpdateUITest, ToolbarUpdatesCarryOnlyChangedStatesUnlessForced)
{
    window.UIEnable(kToolbarOnly, false);
    window.UIUpdateToolBar();
    ASSERT_FALSE(ButtonState(toolbar, kToolbarOnly).enabled);

    // Someone enables the button behind update-UI's back: an ordinary update leaves it, a
    // forced one restores the managed state.
    SendMessageW(toolbar, TB_ENABLEBUTTON, kToolbarOnly, MAKELPARAM(TRUE, 0));
    window.UIUpdateToolBar();
    EXPECT_TRUE(ButtonState(toolbar, kToolbarOnly).enabled);
    window.UIUpdateToolBar(true);
    EXPECT_FALSE(ButtonState(toolbar, kToolbarOnly).enabled);
}

TEST_F(UpdateUITest, WindowMenuIsLeftAlone)
{
    window.UIEnable(kBoth, false);
    window.SendMessage(WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), MAKELPARAM(0, TRUE));
    EXPECT_TRUE(MenuState(popup, kBoth).enabled);
}

TEST_F(UpdateUITest, StatesReachOnlyTheDropDownsOfTheOwnersMenus)
{
    // A command bar draws a menu in the menu bar's place: registered, its drop-downs are the
    // window's own. Any other pop-up the window owns while it is tracked is a context menu,
    // which shows what it was loaded with.
    HMENU nested = CommandsPopup();
    AppendMenuW(popup, MF_POPUP, reinterpret_cast<UINT_PTR>(nested), L"&More");
    ui::UniqueMenu commandBarMenu(CreateMenu());
    HMENU commandBarPopup = CommandsPopup();
    AppendMenuW(commandBarMenu.Get(), MF_POPUP, reinterpret_cast<UINT_PTR>(commandBarPopup), L"&Commands");
    ASSERT_TRUE(window.UIAddMenu(commandBarMenu.Get()));
    EXPECT_FALSE(window.UIAddMenu(commandBarMenu.Get())) << "registered once";
    ui::UniqueMenu contextMenu(CreatePopupMenu());   // a loaded context menu resource
    HMENU contextPopup = CommandsPopup();
    AppendMenuW(contextMenu.Get(), MF_POPUP, reinterpret_cast<UINT_PTR>(contextPopup), L"Class");
    ui::UniqueMenu loosePopup(CommandsPopup());

    ASSERT_TRUE(window.UIEnable(kBoth, false));
    ASSERT_TRUE(window.UISetCheck(kMenuOnly, true));
    ASSERT_TRUE(window.UIEnable(kMenuOnly, false));
    const struct
    {
        const char *what;
        HMENU menu;
        bool managed;   // the states reach it
    } rows[] = {
        // pop-up                             menu                  managed
        {"menu bar drop-down",                popup,                true},
        {"its sub-menu",                      nested,               true},
        {"command bar drop-down",             commandBarPopup,      true},
        {"context menu's sub-menu",           contextPopup,         false},
        {"context menu tracked by itself",    loosePopup.Get(),     false},
    };
    for (const auto &row : rows) {
        window.SendMessage(WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(row.menu), 0);
        const ItemState both = MenuState(row.menu, kBoth), menuOnly = MenuState(row.menu, kMenuOnly);
        EXPECT_EQ(!row.managed, both.enabled) << row.what;
        EXPECT_EQ(!row.managed, menuOnly.enabled) << row.what;
        EXPECT_EQ(row.managed, menuOnly.checked) << row.what;
        EXPECT_FALSE(MenuState(row.menu, kUnmanaged).enabled) << row.what << ": greyed as created";
    }
}

// --- Splitter and pane container ---------------------------------------------------------------

// Records the notifications and commands that reach it.
class ParentWindow : public ui::CWindowImpl<ParentWindow>
{
public:
    std::vector<std::pair<UINT, UINT>> received;   // message, code or id
    BOOL ProcessWindowMessage(HWND, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT &result) override
    {
        if (msg == WM_NOTIFY) {
            received.emplace_back(msg, reinterpret_cast<NMHDR *>(lParam)->code);
            result = 42;
            return TRUE;
        }
        if (msg == WM_COMMAND) {
            received.emplace_back(msg, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    }
};

RECT RectIn(HWND hwnd)
{
    return ui::CWindow(hwnd).GetRectInParent();
}

class SplitterTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        RECT frame = {0, 0, 800, 400};
        AdjustWindowRectEx(&frame, WS_OVERLAPPEDWINDOW, FALSE, 0);
        RECT place = {50, 50, 50 + frame.right - frame.left, 50 + frame.bottom - frame.top};
        ASSERT_TRUE(parent.Create(nullptr, &place, L"splitter", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN));
        RECT client = {};
        parent.GetClientRect(&client);
        ASSERT_TRUE(splitter.Create(parent, &client));
        left = CreateWindowExW(0, L"STATIC", L"left", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, splitter, nullptr, nullptr, nullptr);
        right = CreateWindowExW(0, L"STATIC", L"right", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, splitter, nullptr, nullptr, nullptr);
        splitter.SetSplitterPanes(left, right);
        bar = splitter.GetSplitterBarWidth();
        parent.ShowWindow(SW_SHOWNOACTIVATE);
    }
    void TearDown() override { parent.DestroyWindow(); }

    int Width() const
    {
        RECT r = {};
        GetClientRect(splitter, &r);
        return r.right;
    }
    void ExpectPanesAround(int pos, const char *what)
    {
        RECT l = RectIn(left);
        RECT r = RectIn(right);
        EXPECT_EQ(pos, splitter.GetSplitterPos()) << what;
        EXPECT_EQ(0, l.left) << what;
        EXPECT_EQ(pos, l.right) << what;
        EXPECT_EQ(pos + bar, r.left) << what;
        EXPECT_EQ(Width(), r.right) << what;
    }

    ParentWindow parent;
    ui::CSplitterWindow splitter;
    HWND left = nullptr;
    HWND right = nullptr;
    int bar = 0;
};

TEST_F(SplitterTest, PercentagesPlaceTheBarAndThePanesBesideIt)
{
    ASSERT_GT(bar, 0);
    ASSERT_EQ(800, Width());
    const int percents[] = {0, 25, 50, 80, 100};
    for (int pct : percents) {
        splitter.SetSplitterPosPct(pct);
        std::string what = "percent " + std::to_string(pct);
        ExpectPanesAround(MulDiv(pct, 800 - bar, 100), what.c_str());
        EXPECT_EQ(pct, splitter.GetSplitterPosPct()) << what;
    }
    splitter.SetSplitterPos();
    ExpectPanesAround((800 - bar) / 2, "middle");
}

TEST_F(SplitterTest, BarKeepsItsProportionWhenTheSplitterResizes)
{
    splitter.SetSplitterPosPct(25);
    splitter.SetWindowPos(nullptr, 0, 0, 400, 300, SWP_NOZORDER | SWP_NOMOVE);
    ExpectPanesAround(MulDiv(25, 400 - bar, 100), "after shrinking");
    splitter.SetWindowPos(nullptr, 0, 0, 1000, 300, SWP_NOZORDER | SWP_NOMOVE);
    ExpectPanesAround(MulDiv(25, 1000 - bar, 100), "after growing");
}

TEST_F(SplitterTest, PositionsStayInsideTheMinimumPaneSizes)
{
    splitter.SetMinPaneSize(50);
    const int cases[][2] = {
        // asked   placed
        {10,       50},
        {300,      300},
        {790,      800 - bar - 50},
    };
    for (const auto &c : cases) {
        splitter.SetSplitterPos(c[0]);
        EXPECT_EQ(c[1], splitter.GetSplitterPos()) << "asked " << c[0];
    }
}

TEST_F(SplitterTest, DraggingTheBarMovesIt)
{
    splitter.SetSplitterPos(200);
    const int y = 100;
    splitter.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(200 + 1, y));
    EXPECT_EQ(splitter.m_hWnd, GetCapture());
    splitter.SendMessage(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(330 + 1, y));
    ExpectPanesAround(330, "while dragging");
    splitter.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(330 + 1, y));
    EXPECT_EQ(nullptr, GetCapture());
    splitter.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(500, y));
    ExpectPanesAround(330, "after release");

    // A press beside the bar grabs nothing.
    splitter.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(100, y));
    splitter.SendMessage(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(150, y));
    ExpectPanesAround(330, "press beside the bar");
    splitter.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(150, y));
}

TEST_F(SplitterTest, PaneNotificationsReachTheParent)
{
    NMHDR header = {right, 5, static_cast<UINT>(NM_DBLCLK)};
    EXPECT_EQ(42, SendMessageW(splitter, WM_NOTIFY, 5, reinterpret_cast<LPARAM>(&header)));
    SendMessageW(splitter, WM_COMMAND, MAKEWPARAM(77, BN_CLICKED), reinterpret_cast<LPARAM>(left));
    ASSERT_EQ(2u, parent.received.size());
    EXPECT_EQ(std::make_pair(static_cast<UINT>(WM_NOTIFY), static_cast<UINT>(NM_DBLCLK)), parent.received[0]);
    EXPECT_EQ(std::make_pair(static_cast<UINT>(WM_COMMAND), 77u), parent.received[1]);
}

TEST(PaneContainer, CaptionAboveTheClientWhichFillsTheRest)
{
    ParentWindow parent;
    RECT place = {0, 0, 400, 300};
    ASSERT_TRUE(parent.Create(nullptr, &place, L"pane", WS_OVERLAPPEDWINDOW));
    ui::CPaneContainer pane;
    ASSERT_TRUE(pane.Create(parent, L"Device"));
    pane.SetWindowPos(nullptr, 0, 0, 300, 200, SWP_NOZORDER);
    HWND client = CreateWindowExW(0, WC_TREEVIEWW, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, pane, nullptr, nullptr, nullptr);
    pane.SetClient(client);

    EXPECT_EQ(L"Device", pane.GetTitle());
    EXPECT_EQ(L"Device", pane.GetWindowText());
    const int header = pane.GetHeaderHeight();
    EXPECT_GT(header, 10);
    EXPECT_LT(header, 40);
    RECT r = RectIn(client);
    EXPECT_EQ(0, r.left);
    EXPECT_EQ(header, r.top);
    EXPECT_EQ(300, r.right);
    EXPECT_EQ(200, r.bottom);

    pane.SetWindowPos(nullptr, 0, 0, 250, 150, SWP_NOZORDER);
    r = RectIn(client);
    EXPECT_EQ(250, r.right);
    EXPECT_EQ(150, r.bottom);

    // A client made elsewhere moves in.
    HWND other = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, parent, nullptr, nullptr, nullptr);
    pane.SetClient(other);
    EXPECT_EQ(pane.m_hWnd, GetParent(other));
    EXPECT_EQ(other, pane.GetClient());

    NMHDR note = {client, 3, static_cast<UINT>(TVN_SELCHANGEDW)};
    EXPECT_EQ(42, SendMessageW(pane, WM_NOTIFY, 3, reinterpret_cast<LPARAM>(&note)));
    ASSERT_EQ(1u, parent.received.size());
    EXPECT_EQ(static_cast<UINT>(TVN_SELCHANGEDW), parent.received[0].second);

    pane.SetTitle(L"Other");
    EXPECT_EQ(L"Other", pane.GetTitle());
    parent.DestroyWindow();
}

// --- Dialogs and data exchange -----------------------------------------------------------------

struct SerialModel
{
    std::wstring name;
    int port = 1;
    int parity = 0;       // 0 none, 1 odd, 2 even
    LPARAM baud = 9600;
    bool flow = false;

    bool operator==(const SerialModel &o) const
    {
        return name == o.name && port == o.port && parity == o.parity && baud == o.baud && flow == o.flow;
    }
};

std::ostream &operator<<(std::ostream &out, const SerialModel &m)
{
    std::string name(m.name.begin(), m.name.end());
    return out << "{" << name << ", port " << m.port << ", parity " << m.parity << ", baud "
               << m.baud << ", flow " << m.flow << "}";
}

struct BaudEntry
{
    LPARAM value;
    const wchar_t *label;
};
const BaudEntry kBauds[] = {{4800, L"4800 bps"}, {9600, L"9600 bps"}, {19200, L"19200 bps"}, {115200, L"115200 bps"}};

class CSerialDialog : public ui::CDialogImpl<CSerialDialog>
{
public:
    enum { IDD = IDD_TEST_DDX };
    explicit CSerialDialog(SerialModel &model) : m_model(model) {}

    void InitControls()
    {
        ui::CComboBox baud(GetDlgItem(IDC_BAUD));
        for (const BaudEntry &b : kBauds)
            baud.AddItem(b.label, b.value);
    }
    void InitValues()
    {
        Exchange(false);
    }
    bool StoreValues()
    {
        SerialModel edited = m_model;
        ui::DataExchange dx = Exchange(true, &edited);
        if (!dx.Ok()) {
            failure = dx.GetFailure();
            ui::ShowMessageBox(m_hWnd, ui::Format(L"Control %d holds no valid value.", dx.FailedId()));
            dx.FocusFailed();
            return false;
        }
        m_model = edited;
        return true;
    }

    ui::DataExchange::Failure failure = ui::DataExchange::kNone;

private:
    ui::DataExchange Exchange(bool save, SerialModel *target = nullptr)
    {
        SerialModel &m = target ? *target : m_model;
        ui::DataExchange dx(m_hWnd, save);
        dx.Text(IDC_NAME, m.name, 20)
          .Int(IDC_PORT, m.port, 1, 256)
          .Radio(IDC_PARITY_NONE, m.parity)
          .ComboData(IDC_BAUD, m.baud)
          .Check(IDC_FLOW, m.flow);
        return dx;
    }

    SerialModel &m_model;
};

TEST(DataExchange, ValuesRoundTripThroughTheControls)
{
    const SerialModel rows[] = {
        // name              port  parity  baud     flow
        {L"Receipt printer", 1,    0,      9600,    false},
        {L"",                256,  2,      115200,  true},
        {L"Drawer",          17,   1,      4800,    false},
    };
    for (const SerialModel &row : rows) {
        SerialModel model = row;
        CSerialDialog dialog(model);
        ASSERT_TRUE(dialog.Create(nullptr));
        // What the user sees.
        EXPECT_EQ(row.name, ui::GetWindowString(dialog.GetDlgItem(IDC_NAME))) << row;
        EXPECT_EQ(std::to_wstring(row.port), ui::GetWindowString(dialog.GetDlgItem(IDC_PORT))) << row;
        EXPECT_EQ(BST_CHECKED, SendMessageW(dialog.GetDlgItem(IDC_PARITY_NONE + row.parity), BM_GETCHECK, 0, 0)) << row;
        model = SerialModel{L"changed", 99, 1, 19200, !row.flow};
        ASSERT_TRUE(dialog.StoreValues()) << row;
        EXPECT_EQ(row, model);
        dialog.DestroyWindow();
    }
}

TEST(DataExchange, EditedTextIsParsedWithBlanksAllowed)
{
    SerialModel model;
    CSerialDialog dialog(model);
    ASSERT_TRUE(dialog.Create(nullptr));
    SetDlgItemTextW(dialog, IDC_PORT, L"  12 ");
    SetDlgItemTextW(dialog, IDC_NAME, L"Kitchen");
    SendMessageW(dialog.GetDlgItem(IDC_PARITY_NONE), BM_SETCHECK, BST_UNCHECKED, 0);
    SendMessageW(dialog.GetDlgItem(IDC_PARITY_EVEN), BM_SETCHECK, BST_CHECKED, 0);
    ASSERT_TRUE(dialog.StoreValues());
    EXPECT_EQ(12, model.port);
    EXPECT_EQ(L"Kitchen", model.name);
    EXPECT_EQ(2, model.parity);
    // The edit was limited to 20 characters.
    EXPECT_EQ(20, SendMessageW(dialog.GetDlgItem(IDC_NAME), EM_GETLIMITTEXT, 0, 0));
    dialog.DestroyWindow();
}

TEST(DataExchange, InvalidValuesKeepTheModelAndNameTheControl)
{
    struct Case
    {
        const char *what;
        const wchar_t *portText;
        bool clearRadios;
        bool clearCombo;
        int failedId;
        ui::DataExchange::Failure failure;
    };
    const Case cases[] = {
        // what              port text  no radio  no combo  failed control    failure
        {"letters",          L"x1",     false,    false,    IDC_PORT,         ui::DataExchange::kNotANumber},
        {"trailing junk",    L"12a",    false,    false,    IDC_PORT,         ui::DataExchange::kNotANumber},
        {"empty",            L"",       false,    false,    IDC_PORT,         ui::DataExchange::kNotANumber},
        {"below minimum",    L"0",      false,    false,    IDC_PORT,         ui::DataExchange::kOutOfRange},
        {"above maximum",    L"257",    false,    false,    IDC_PORT,         ui::DataExchange::kOutOfRange},
        {"huge",             L"99999999999", false, false,  IDC_PORT,         ui::DataExchange::kOutOfRange},
        {"no radio checked", L"5",      true,     false,    IDC_PARITY_NONE,  ui::DataExchange::kNoSelection},
        {"no baud chosen",   L"5",      false,    true,     IDC_BAUD,         ui::DataExchange::kNoSelection},
    };
    for (const Case &c : cases) {
        const SerialModel original{L"Printer", 3, 1, 19200, true};
        SerialModel model = original;
        CSerialDialog dialog(model);
        ASSERT_TRUE(dialog.Create(nullptr)) << c.what;
        dialog.ShowWindow(SW_SHOWNOACTIVATE);
        SetDlgItemTextW(dialog, IDC_PORT, c.portText);
        if (c.clearRadios)
            SendMessageW(dialog.GetDlgItem(IDC_PARITY_ODD), BM_SETCHECK, BST_UNCHECKED, 0);
        if (c.clearCombo)
            SendMessageW(dialog.GetDlgItem(IDC_BAUD), CB_SETCURSEL, static_cast<WPARAM>(-1), 0);

        MessageBoxRecorder boxes;
        // OK goes through StoreValues; the dialog stays.
        dialog.SendMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        EXPECT_TRUE(dialog.IsWindow()) << c.what;
        EXPECT_EQ(original, model) << c.what;
        EXPECT_EQ(c.failure, dialog.failure) << c.what;
        ASSERT_EQ(1u, boxes.boxes.size()) << c.what;
        EXPECT_EQ(ui::Format(L"Control %d holds no valid value.", c.failedId), boxes.boxes[0].text) << c.what;
        EXPECT_EQ(dialog.m_hWnd, boxes.boxes[0].owner) << c.what;
        HWND focus = GetFocus();
        EXPECT_EQ(dialog.GetDlgItem(c.failedId), focus) << c.what;
        dialog.DestroyWindow();
    }
}

TEST(Dialog, ModalDialogCentresOnItsParentAndEndsWithOK)
{
    ParentWindow parent;
    RECT place = {100, 80, 700, 580};
    ASSERT_TRUE(parent.Create(nullptr, &place, L"owner", WS_OVERLAPPEDWINDOW));
    parent.ShowWindow(SW_SHOW);
    SerialModel model{L"Old", 2, 0, 9600, false};
    CSerialDialog dialog(model);

    POINT dialogCentre = {};
    guitest::Deferred pressOK(50, [&] {
        HWND box = FindWindowW(L"#32770", L"DDX test");
        ASSERT_TRUE(box);
        RECT r = {};
        GetWindowRect(box, &r);
        dialogCentre = guitest::Centre(r);
        SetDlgItemTextW(box, IDC_PORT, L"77");
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    });
    {
        guitest::ModalWatchdog watchdog;
        EXPECT_EQ(IDOK, dialog.DoModal(parent));
        EXPECT_FALSE(watchdog.Fired());
    }
    EXPECT_EQ(77, model.port);
    EXPECT_EQ(L"Old", model.name);
    EXPECT_FALSE(dialog.IsWindow());

    RECT parentRect = {};
    parent.GetWindowRect(&parentRect);
    POINT parentCentre = guitest::Centre(parentRect);
    EXPECT_NEAR(parentCentre.x, dialogCentre.x, 1);
    EXPECT_NEAR(parentCentre.y, dialogCentre.y, 1);

    // Cancel (Esc) leaves the model alone.
    guitest::Deferred pressCancel(50, [] {
        HWND box = FindWindowW(L"#32770", L"DDX test");
        SetDlgItemTextW(box, IDC_PORT, L"5");
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    });
    {
        guitest::ModalWatchdog watchdog;
        EXPECT_EQ(IDCANCEL, dialog.DoModal(parent));
        EXPECT_FALSE(watchdog.Fired());
    }
    EXPECT_EQ(77, model.port);
    parent.DestroyWindow();
}

// --- Property sheets ---------------------------------------------------------------------------

class CValuePage : public ui::CPropertyPageImpl<CValuePage>
{
public:
    enum { IDD = IDD_TEST_PAGE };
    explicit CValuePage(int &value) : CPropertyPageImpl(L"Value"), m_value(value) {}

    void InitValues() { ui::DataExchange(m_hWnd, false).Int(IDC_PAGE_VALUE, m_value); }
    bool StoreValues()
    {
        ++stores;
        int edited = m_value;
        ui::DataExchange dx(m_hWnd, true);
        dx.Int(IDC_PAGE_VALUE, edited, 0, 100);
        if (!dx.Ok())
            return false;
        m_value = edited;
        return true;
    }
    int stores = 0;

private:
    int &m_value;
};

TEST(PropertySheets, PageValuesAreStoredWhenTheSheetApplies)
{
    ParentWindow parent;
    ASSERT_TRUE(parent.Create(nullptr, nullptr, L"sheet owner", WS_OVERLAPPEDWINDOW));
    int value = 5;
    CValuePage page(value);
    ui::CPropertySheet sheet(L"Settings", 0, PSH_NOAPPLYNOW);
    sheet.AddPage(page);
    EXPECT_EQ(1u, sheet.GetPageCount());

    std::wstring shown;
    guitest::Deferred editAndOK(100, [&] {
        HWND sheetWindow = FindWindowW(L"#32770", L"Settings");
        ASSERT_TRUE(sheetWindow);
        HWND pageWindow = reinterpret_cast<HWND>(SendMessageW(sheetWindow, PSM_GETCURRENTPAGEHWND, 0, 0));
        shown = ui::GetWindowString(GetDlgItem(pageWindow, IDC_PAGE_VALUE));
        SetDlgItemTextW(pageWindow, IDC_PAGE_VALUE, L"61");
        PostMessageW(sheetWindow, PSM_PRESSBUTTON, PSBTN_OK, 0);
    });
    guitest::ModalWatchdog watchdog;
    EXPECT_EQ(IDOK, sheet.DoModal(parent));
    EXPECT_FALSE(watchdog.Fired());
    EXPECT_EQ(L"5", shown);
    EXPECT_EQ(61, value);
    EXPECT_EQ(1, page.stores);
    parent.DestroyWindow();
}

TEST(PropertySheets, RefusedValuesKeepTheSheetOpen)
{
    ParentWindow parent;
    ASSERT_TRUE(parent.Create(nullptr, nullptr, L"sheet owner", WS_OVERLAPPEDWINDOW));
    int value = 5;
    CValuePage page(value);
    ui::CPropertySheet sheet(L"Settings", 0, PSH_NOAPPLYNOW);
    sheet.AddPage(page);

    bool stillOpen = false;
    std::optional<guitest::Deferred> lookAndCancel;
    guitest::Deferred editAndOK(100, [&] {
        HWND sheetWindow = FindWindowW(L"#32770", L"Settings");
        HWND pageWindow = reinterpret_cast<HWND>(SendMessageW(sheetWindow, PSM_GETCURRENTPAGEHWND, 0, 0));
        SetDlgItemTextW(pageWindow, IDC_PAGE_VALUE, L"500");
        SendMessageW(sheetWindow, PSM_PRESSBUTTON, PSBTN_OK, 0);
        lookAndCancel.emplace(50, [&, sheetWindow] {
            stillOpen = IsWindow(sheetWindow) && IsWindowVisible(sheetWindow);
            PostMessageW(sheetWindow, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
        });
    });
    guitest::ModalWatchdog watchdog;
    EXPECT_EQ(IDCANCEL, sheet.DoModal(parent));
    EXPECT_FALSE(watchdog.Fired());
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(5, value);
    EXPECT_GE(page.stores, 1);
    parent.DestroyWindow();
}

} // namespace
