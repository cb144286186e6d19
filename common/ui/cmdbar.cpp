#include "cmdbar.h"

#include "module.h"
#include "strings.h"

#include <algorithm>

namespace ui {

namespace {

// Buttons carry these ids, far from any command, so that a stray click notification from the
// toolbar cannot pass for a command.
const int kFirstButtonId = 0xFD00;

// The bar whose pop-up is open on this thread: the message filter hook has no other context.
thread_local CCommandBarCtrl *t_trackingBar = nullptr;

// The bars of this thread, and the one hook that watches the thread's queue for them.
thread_local std::vector<CCommandBarCtrl *> t_bars;
thread_local HHOOK t_getMessageHook = nullptr;

// The highlighted item of menu, -1 none.
int HighlightedItem(HMENU menu)
{
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        if (GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) & MF_HILITE)
            return i;
    }
    return -1;
}

} // namespace

const CCommandBarCtrl::Map CCommandBarCtrl::s_messageMap[] = {
    // message                handler
    Map::Message(WM_LBUTTONDOWN,   &CCommandBarCtrl::OnLButtonDown),
    Map::Message(WM_LBUTTONDBLCLK, &CCommandBarCtrl::OnLButtonDown),
    Map::Message(WM_KEYDOWN,       &CCommandBarCtrl::OnKeyDown),
    Map::Message(WM_CHAR,          &CCommandBarCtrl::OnChar),
    Map::Message(WM_SYSKEYDOWN,    &CCommandBarCtrl::OnSysKey),
    Map::Message(WM_KILLFOCUS,     &CCommandBarCtrl::OnKillFocus),
    Map::Message(WM_GETDLGCODE,    &CCommandBarCtrl::OnGetDlgCode),
    Map::Message(WM_DESTROY,       &CCommandBarCtrl::OnDestroy),
};

CCommandBarCtrl::~CCommandBarCtrl()
{
    if (m_hook)
        UnhookWindowsHookEx(m_hook);
    UnregisterKeyboardHook();
}

UINT CCommandBarCtrl::DropDownMessage()
{
    static const UINT message = RegisterWindowMessageW(L"SuiteUI.CommandBar.DropDown");
    return message;
}

BOOL CCommandBarCtrl::ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                           LRESULT &result)
{
    if (msg == DropDownMessage()) {
        BOOL handled = TRUE;
        result = OnDropDown(msg, wParam, lParam, handled);
        return TRUE;
    }
    return RouteMessage(this, s_messageMap, hwnd, msg, wParam, lParam, result);
}

HWND CCommandBarCtrl::Create(HWND owner, DWORD style, UINT id)
{
    if (m_hWnd || !owner)
        return nullptr;
    HWND bar = CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr, style | TBSTYLE_FLAT | TBSTYLE_LIST,
                               0, 0, 100, 100, owner, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)),
                               Module().GetModuleInstance(), nullptr);
    if (!bar)
        return nullptr;
    ::SendMessageW(bar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    // Text only: no room for images.
    ::SendMessageW(bar, TB_SETBITMAPSIZE, 0, MAKELPARAM(0, 0));
    if (!SubclassWindow(bar) ||
        !SetWindowSubclass(owner, &OwnerProc, reinterpret_cast<UINT_PTR>(this),
                           reinterpret_cast<DWORD_PTR>(this))) {
        ::DestroyWindow(bar);
        return nullptr;
    }
    m_owner = owner;
    RegisterKeyboardHook();
    return bar;
}

void CCommandBarCtrl::RegisterKeyboardHook()
{
    if (t_bars.empty())
        t_getMessageHook = SetWindowsHookExW(WH_GETMESSAGE, &GetMessageHook, nullptr, GetCurrentThreadId());
    t_bars.push_back(this);
}

void CCommandBarCtrl::UnregisterKeyboardHook()
{
    auto it = std::find(t_bars.begin(), t_bars.end(), this);
    if (it == t_bars.end())
        return;
    t_bars.erase(it);
    if (t_bars.empty() && t_getMessageHook) {
        UnhookWindowsHookEx(t_getMessageHook);
        t_getMessageHook = nullptr;
    }
}

bool CCommandBarCtrl::TakeAccessKey(MSG &msg)
{
    // Alt+letter reaches the focused control as WM_SYSCHAR; the system would look for the
    // letter in a menu bar the frame does not have.
    if (msg.message != WM_SYSCHAR || !(HIWORD(msg.lParam) & KF_ALTDOWN) || !m_owner)
        return false;
    if (!msg.hwnd || GetAncestor(msg.hwnd, GA_ROOT) != m_owner || !::IsWindowEnabled(m_owner))
        return false;
    const int index = FindAccessKey(static_cast<wchar_t>(msg.wParam));
    if (index < 0)
        return false;
    PostMessage(DropDownMessage(), static_cast<WPARAM>(index), TRUE);
    return true;
}

LRESULT CALLBACK CCommandBarCtrl::GetMessageHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION && wParam == PM_REMOVE) {
        MSG &msg = *reinterpret_cast<MSG *>(lParam);
        for (CCommandBarCtrl *bar : t_bars) {
            if (bar->TakeAccessKey(msg)) {
                msg.message = WM_NULL;   // consumed: nobody else sees the key
                break;
            }
        }
    }
    return CallNextHookEx(t_getMessageHook, code, wParam, lParam);
}

int CCommandBarCtrl::ButtonCount() const
{
    return static_cast<int>(SendMessage(TB_BUTTONCOUNT));
}

bool CCommandBarCtrl::AttachMenu(HMENU menu)
{
    if (!m_hWnd || !menu)
        return false;
    SetRedraw(false);
    for (int i = ButtonCount(); i-- > 0;)
        SendMessage(TB_DELETEBUTTON, static_cast<WPARAM>(i));
    m_menu.Reset(menu);
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        std::wstring text = GetMenuItemString(menu, i);
        TBBUTTON button = {};
        button.iBitmap = I_IMAGENONE;
        button.idCommand = kFirstButtonId + i;
        button.fsState = TBSTATE_ENABLED;
        button.fsStyle = BTNS_BUTTON | BTNS_AUTOSIZE;
        button.iString = reinterpret_cast<INT_PTR>(text.c_str());   // the toolbar keeps a copy
        SendMessage(TB_INSERTBUTTONW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&button));
    }
    SendMessage(TB_AUTOSIZE);
    SetRedraw(true);
    Invalidate();
    if (m_images)
        ApplyImages(menu, false);
    return true;
}

bool CCommandBarCtrl::LoadImages(UINT toolbarId)
{
    HINSTANCE resources = Module().GetResourceInstance();
    ToolBarLayout layout;
    if (!LoadToolBarLayout(resources, toolbarId, layout))
        return false;
    m_commandImages.clear();
    int image = 0;
    for (WORD item : layout.items) {
        if (item != 0)
            m_commandImages.emplace_back(item, image++);
    }
    m_images.Reset(LoadToolBarImages(resources, toolbarId, layout.width, layout.height, image));
    if (!m_images) {
        m_commandImages.clear();
        return false;
    }
    m_imageSize = {layout.width, layout.height};
    if (m_menu)
        ApplyImages(m_menu.Get(), false);
    return true;
}

int CCommandBarCtrl::GetImageIndex(UINT command) const
{
    for (const auto &entry : m_commandImages) {
        if (entry.first == command)
            return entry.second;
    }
    return -1;
}

void CCommandBarCtrl::ApplyImages(HMENU menu, bool popup)
{
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        MENUITEMINFOW info = {};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_ID | MIIM_SUBMENU | MIIM_FTYPE;
        if (!GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info))
            continue;
        if (info.hSubMenu) {
            ApplyImages(info.hSubMenu, true);
            continue;
        }
        if (!popup || (info.fType & MFT_SEPARATOR))
            continue;
        // The owner draws the image on request (WM_MEASUREITEM / WM_DRAWITEM), so it can show
        // the disabled look that the item's state asks for. Every command item of a pop-up gets
        // the request, one without an image included (it draws nothing): Wine's menu places
        // the shortcut column after the widest text counting the image column only for items
        // that have one, and so drew the shortcut of a long text without an image over it.
        info.fMask = MIIM_BITMAP;
        info.hbmpItem = HBMMENU_CALLBACK;
        SetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info);
    }
}

bool CCommandBarCtrl::IsOwnMenuItem(UINT command) const
{
    return m_menu && GetMenuState(m_menu.Get(), command, MF_BYCOMMAND) != static_cast<UINT>(-1);
}

bool CCommandBarCtrl::MeasureMenuItem(MEASUREITEMSTRUCT *item) const
{
    if (item->CtlType != ODT_MENU || !m_images || !IsOwnMenuItem(item->itemID))
        return false;
    item->itemWidth = static_cast<UINT>(m_imageSize.cx);
    item->itemHeight = static_cast<UINT>(m_imageSize.cy);
    return true;
}

bool CCommandBarCtrl::DrawMenuItem(const DRAWITEMSTRUCT *item) const
{
    if (item->CtlType != ODT_MENU || !m_images || !IsOwnMenuItem(item->itemID))
        return false;
    const int image = GetImageIndex(item->itemID);
    if (image < 0)
        return true;   // the image column stays empty
    const RECT &r = item->rcItem;
    const int x = r.left + ((r.right - r.left) - m_imageSize.cx) / 2;
    const int y = r.top + ((r.bottom - r.top) - m_imageSize.cy) / 2;
    if (item->itemState & (ODS_GRAYED | ODS_DISABLED)) {
        UniqueIcon icon(ImageList_GetIcon(m_images.Get(), image, ILD_TRANSPARENT));
        DrawStateW(item->hDC, nullptr, nullptr, reinterpret_cast<LPARAM>(icon.Get()), 0, x, y,
                   m_imageSize.cx, m_imageSize.cy, DST_ICON | DSS_DISABLED);
    } else {
        ImageList_Draw(m_images.Get(), image, item->hDC, x, y, ILD_TRANSPARENT);
    }
    return true;
}

int CCommandBarCtrl::FindAccessKey(wchar_t ch) const
{
    if (!m_menu || !ch)
        return -1;
    const wchar_t wanted = static_cast<wchar_t>(reinterpret_cast<UINT_PTR>(CharUpperW(
        reinterpret_cast<LPWSTR>(static_cast<UINT_PTR>(ch)))));
    const int count = GetMenuItemCount(m_menu.Get());
    for (int i = 0; i < count; ++i) {
        std::wstring text = GetMenuItemString(m_menu.Get(), i);
        for (size_t p = 0; p + 1 < text.size(); ++p) {
            if (text[p] != L'&')
                continue;
            if (text[p + 1] == L'&') {   // "&&" is a literal ampersand
                ++p;
                continue;
            }
            const wchar_t key = static_cast<wchar_t>(reinterpret_cast<UINT_PTR>(CharUpperW(
                reinterpret_cast<LPWSTR>(static_cast<UINT_PTR>(text[p + 1])))));
            if (key == wanted)
                return i;
            break;
        }
    }
    return -1;
}

bool CCommandBarCtrl::OnKeyMenu(wchar_t ch)
{
    if (!m_hWnd || !m_menu)
        return false;
    if (ch == 0) {
        if (m_keyboardMode)
            LeaveKeyboardMode(true);
        else
            EnterKeyboardMode();
        return true;
    }
    const int index = FindAccessKey(ch);
    if (index < 0)
        return false;
    // Opened once the owner's system command has returned: the menu loop then starts from a
    // quiet queue.
    PostMessage(DropDownMessage(), static_cast<WPARAM>(index), TRUE);
    return true;
}

LRESULT CCommandBarCtrl::OnDropDown(UINT, WPARAM wParam, LPARAM lParam, BOOL &)
{
    TrackPopup(static_cast<int>(wParam), lParam != 0);
    return 0;
}

void CCommandBarCtrl::EnterKeyboardMode()
{
    m_keyboardMode = true;
    HWND before = ::SetFocus(m_hWnd);
    m_focusBefore = before != m_hWnd ? before : m_focusBefore;
    SendMessage(TB_SETHOTITEM, 0);
}

void CCommandBarCtrl::LeaveKeyboardMode(bool restoreFocus)
{
    if (!m_keyboardMode)
        return;
    m_keyboardMode = false;
    SendMessage(TB_SETHOTITEM, static_cast<WPARAM>(-1));
    if (restoreFocus && ::GetFocus() == m_hWnd)
        ::SetFocus(m_focusBefore && ::IsWindow(m_focusBefore) ? m_focusBefore : m_owner);
    m_focusBefore = nullptr;
}

void CCommandBarCtrl::TrackPopup(int index, bool selectFirst)
{
    if (m_tracking >= 0)
        return;
    m_next = index;
    m_nextSelectFirst = selectFirst;
    while (m_next >= 0) {
        const int current = m_next;
        const bool first = m_nextSelectFirst;
        m_next = -1;
        HMENU popup = GetSubMenu(m_menu.Get(), current);
        if (!popup)
            break;
        RECT button = {};
        SendMessage(TB_GETITEMRECT, static_cast<WPARAM>(current), reinterpret_cast<LPARAM>(&button));
        ::MapWindowPoints(m_hWnd, nullptr, reinterpret_cast<POINT *>(&button), 2);

        // The toolbar sees no mouse moves while the menu holds the input: its hot item would
        // stay on the button where the pointer entered.
        SendMessage(TB_SETHOTITEM, static_cast<WPARAM>(current));
        SendMessage(TB_PRESSBUTTON, static_cast<WPARAM>(kFirstButtonId + current), MAKELPARAM(TRUE, 0));
        m_tracking = current;
        t_trackingBar = this;
        m_hook = SetWindowsHookExW(WH_MSGFILTER, &MenuFilterHook, nullptr, GetCurrentThreadId());
        // The menu loop takes keys from the queue, whatever window they are for: this one
        // highlights the first item as a keyboard user expects.
        if (first)
            PostMessage(WM_KEYDOWN, VK_DOWN, 0);

        TPMPARAMS params = {};
        params.cbSize = sizeof(params);
        params.rcExclude = button;
        TrackPopupMenuEx(popup, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_LEFTBUTTON | TPM_VERTICAL,
                         button.left, button.bottom, m_owner, &params);

        if (m_hook)
            UnhookWindowsHookEx(m_hook);
        m_hook = nullptr;
        t_trackingBar = nullptr;
        m_tracking = -1;
        if (m_hWnd)
            SendMessage(TB_PRESSBUTTON, static_cast<WPARAM>(kFirstButtonId + current), MAKELPARAM(FALSE, 0));
        if (!m_hWnd)
            return;   // a command closed the window
    }
    SendMessage(TB_SETHOTITEM, static_cast<WPARAM>(-1));
    LeaveKeyboardMode(true);
}

bool CCommandBarCtrl::OnMenuMessage(const MSG &msg)
{
    const int count = ButtonCount();
    switch (msg.message) {
    case WM_MOUSEMOVE: {
        POINT point = msg.pt;
        ::ScreenToClient(m_hWnd, &point);
        RECT client = {};
        GetClientRect(&client);
        if (!PtInRect(&client, point))
            return false;
        const int hit = static_cast<int>(SendMessage(TB_HITTEST, 0, reinterpret_cast<LPARAM>(&point)));
        if (hit >= 0 && hit < count && hit != m_tracking) {
            m_next = hit;
            m_nextSelectFirst = false;
            EndMenu();
            return true;
        }
        return false;
    }
    case WM_LBUTTONDOWN: {
        // A click on the open pop-up's own button closes it, without opening it again.
        POINT point = msg.pt;
        ::ScreenToClient(m_hWnd, &point);
        RECT client = {};
        GetClientRect(&client);
        if (PtInRect(&client, point) &&
            SendMessage(TB_HITTEST, 0, reinterpret_cast<LPARAM>(&point)) == m_tracking) {
            m_next = -1;
            EndMenu();
            return true;
        }
        return false;
    }
    case WM_KEYDOWN: {
        if (msg.wParam != VK_LEFT && msg.wParam != VK_RIGHT)
            return false;
        // Left and Right belong to the menu while they open or close a sub-menu.
        HMENU popup = GetSubMenu(m_menu.Get(), m_tracking);
        const int item = popup ? HighlightedItem(popup) : -1;
        HMENU sub = item >= 0 ? GetSubMenu(popup, item) : nullptr;
        if (sub && (msg.wParam == VK_RIGHT || HighlightedItem(sub) >= 0))
            return false;
        m_next = (m_tracking + (msg.wParam == VK_RIGHT ? 1 : count - 1)) % count;
        m_nextSelectFirst = true;
        EndMenu();
        return true;
    }
    default:
        return false;
    }
}

LRESULT CALLBACK CCommandBarCtrl::MenuFilterHook(int code, WPARAM wParam, LPARAM lParam)
{
    CCommandBarCtrl *bar = t_trackingBar;
    if (code == MSGF_MENU && bar && bar->OnMenuMessage(*reinterpret_cast<const MSG *>(lParam)))
        return TRUE;
    return CallNextHookEx(bar ? bar->m_hook : nullptr, code, wParam, lParam);
}

LRESULT CALLBACK CCommandBarCtrl::OwnerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                            UINT_PTR id, DWORD_PTR data)
{
    auto *bar = reinterpret_cast<CCommandBarCtrl *>(data);
    switch (msg) {
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_KEYMENU && bar->OnKeyMenu(static_cast<wchar_t>(lParam)))
            return 0;
        break;
    case WM_MEASUREITEM:
        if (bar->MeasureMenuItem(reinterpret_cast<MEASUREITEMSTRUCT *>(lParam)))
            return TRUE;
        break;
    case WM_DRAWITEM:
        if (bar->DrawMenuItem(reinterpret_cast<const DRAWITEMSTRUCT *>(lParam)))
            return TRUE;
        break;
    case WM_NCDESTROY:
        RemoveWindowSubclass(hwnd, &OwnerProc, id);
        break;
    default:
        break;
    }
    return DefSubclassProc(hwnd, msg, wParam, lParam);
}

LRESULT CCommandBarCtrl::OnLButtonDown(UINT, WPARAM, LPARAM lParam, BOOL &handled)
{
    POINT point = PointFromLParam(lParam);
    const int hit = static_cast<int>(SendMessage(TB_HITTEST, 0, reinterpret_cast<LPARAM>(&point)));
    if (hit < 0 || hit >= ButtonCount()) {
        handled = FALSE;
        return 0;
    }
    TrackPopup(hit, false);
    return 0;
}

LRESULT CCommandBarCtrl::OnKeyDown(UINT, WPARAM wParam, LPARAM, BOOL &)
{
    if (!m_keyboardMode)
        return 0;
    const int count = ButtonCount();
    int hot = static_cast<int>(SendMessage(TB_GETHOTITEM));
    switch (wParam) {
    case VK_LEFT:
    case VK_RIGHT:
        if (count > 0) {
            hot = (hot < 0 ? 0 : hot + (wParam == VK_RIGHT ? 1 : count - 1)) % count;
            SendMessage(TB_SETHOTITEM, static_cast<WPARAM>(hot));
        }
        break;
    case VK_DOWN:
    case VK_UP:
    case VK_RETURN:
    case VK_SPACE:
        if (hot >= 0)
            TrackPopup(hot, true);
        break;
    case VK_ESCAPE:
        LeaveKeyboardMode(true);
        break;
    default:
        break;
    }
    return 0;
}

LRESULT CCommandBarCtrl::OnChar(UINT, WPARAM wParam, LPARAM, BOOL &)
{
    if (!m_keyboardMode)
        return 0;
    // In keyboard mode the access keys work without Alt.
    const int index = FindAccessKey(static_cast<wchar_t>(wParam));
    if (index >= 0)
        TrackPopup(index, true);
    else
        MessageBeep(0);
    return 0;
}

LRESULT CCommandBarCtrl::OnSysKey(UINT, WPARAM wParam, LPARAM, BOOL &handled)
{
    // Alt or F10 again ends keyboard mode, as with a real menu bar.
    if (m_keyboardMode && (wParam == VK_MENU || wParam == VK_F10)) {
        LeaveKeyboardMode(true);
        return 0;
    }
    handled = FALSE;
    return 0;
}

LRESULT CCommandBarCtrl::OnKillFocus(UINT, WPARAM, LPARAM, BOOL &handled)
{
    if (m_tracking < 0)
        LeaveKeyboardMode(false);
    handled = FALSE;
    return 0;
}

LRESULT CCommandBarCtrl::OnGetDlgCode(UINT, WPARAM, LPARAM, BOOL &)
{
    return DLGC_WANTALLKEYS;
}

LRESULT CCommandBarCtrl::OnDestroy(UINT, WPARAM, LPARAM, BOOL &handled)
{
    UnregisterKeyboardHook();
    if (m_owner)
        RemoveWindowSubclass(m_owner, &OwnerProc, reinterpret_cast<UINT_PTR>(this));
    m_owner = nullptr;
    handled = FALSE;
    return 0;
}

} // namespace ui
