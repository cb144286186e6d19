#include "updateui.h"

#include <commctrl.h>

#include <algorithm>

namespace ui {

namespace {

// Menus nest a few levels at most; the bound keeps a menu that holds itself from looping.
constexpr int kMaxMenuDepth = 8;

bool HoldsPopup(HMENU menu, HMENU popup, int depth)
{
    if (!menu || depth > kMaxMenuDepth)
        return false;
    const int count = ::GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        HMENU sub = ::GetSubMenu(menu, i);
        if (sub && (sub == popup || HoldsPopup(sub, popup, depth + 1)))
            return true;
    }
    return false;
}

} // namespace

CUpdateUIBase::CUpdateUIBase(const UpdateUIEntry *map, size_t count)
{
    m_states.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        State state;
        state.id = map[i].id;
        state.where = map[i].where;
        m_states.push_back(state);
    }
}

CUpdateUIBase::State *CUpdateUIBase::Find(UINT id)
{
    for (State &state : m_states) {
        if (state.id == id)
            return &state;
    }
    return nullptr;
}

const CUpdateUIBase::State *CUpdateUIBase::Find(UINT id) const
{
    return const_cast<CUpdateUIBase *>(this)->Find(id);
}

bool CUpdateUIBase::UIEnable(UINT id, bool enable)
{
    State *state = Find(id);
    if (!state)
        return false;
    if (state->enabled != enable) {
        state->enabled = enable;
        state->toolbarStale = true;
    }
    return true;
}

bool CUpdateUIBase::UISetCheck(UINT id, bool check)
{
    State *state = Find(id);
    if (!state)
        return false;
    if (state->checked != check) {
        state->checked = check;
        state->toolbarStale = true;
    }
    return true;
}

bool CUpdateUIBase::UIIsEnabled(UINT id) const
{
    const State *state = Find(id);
    return state && state->enabled;
}

bool CUpdateUIBase::UIIsChecked(UINT id) const
{
    const State *state = Find(id);
    return state && state->checked;
}

bool CUpdateUIBase::UIAddToolBar(HWND toolbar)
{
    if (!toolbar || std::find(m_toolbars.begin(), m_toolbars.end(), toolbar) != m_toolbars.end())
        return false;
    m_toolbars.push_back(toolbar);
    m_toolbarsStale = true;
    return true;
}

bool CUpdateUIBase::UIAddMenuBar(HWND window)
{
    if (!window || std::find(m_menuBars.begin(), m_menuBars.end(), window) != m_menuBars.end())
        return false;
    m_menuBars.push_back(window);
    return true;
}

bool CUpdateUIBase::UIAddMenu(HMENU menu)
{
    if (!menu || std::find(m_menus.begin(), m_menus.end(), menu) != m_menus.end())
        return false;
    m_menus.push_back(menu);
    return true;
}

bool CUpdateUIBase::UIOwnsPopup(HWND owner, HMENU popup) const
{
    if (!popup)
        return false;
    if (owner && HoldsPopup(::GetMenu(owner), popup, 0))
        return true;
    for (HMENU menu : m_menus) {
        if (::IsMenu(menu) && HoldsPopup(menu, popup, 0))
            return true;
    }
    return false;
}

void CUpdateUIBase::UIUpdateToolBar(bool force)
{
    const bool all = force || m_toolbarsStale;
    for (State &state : m_states) {
        if (!(state.where & UPDUI_TOOLBAR) || !(all || state.toolbarStale))
            continue;
        for (HWND toolbar : m_toolbars) {
            if (!::IsWindow(toolbar))
                continue;
            // A toolbar without the button answers -1 here; leave it alone.
            if (::SendMessageW(toolbar, TB_COMMANDTOINDEX, state.id, 0) < 0)
                continue;
            ::SendMessageW(toolbar, TB_ENABLEBUTTON, state.id, MAKELPARAM(state.enabled, 0));
            ::SendMessageW(toolbar, TB_CHECKBUTTON, state.id, MAKELPARAM(state.checked, 0));
        }
        state.toolbarStale = false;
    }
    m_toolbarsStale = false;
}

void CUpdateUIBase::UIUpdateMenuBar()
{
    for (HWND window : m_menuBars) {
        HMENU menu = ::GetMenu(window);
        if (!menu)
            continue;
        int count = ::GetMenuItemCount(menu);
        bool changed = false;
        for (int i = 0; i < count; ++i) {
            MENUITEMINFOW info = {};
            info.cbSize = sizeof(info);
            info.fMask = MIIM_ID | MIIM_STATE;
            if (!::GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info))
                continue;
            const State *state = Find(info.wID);
            if (!state || !(state->where & UPDUI_MENUBAR))
                continue;
            UINT wanted = (info.fState & ~(MFS_DISABLED | MFS_CHECKED)) |
                          (state->enabled ? 0 : MFS_DISABLED) | (state->checked ? MFS_CHECKED : 0);
            if (wanted != info.fState) {
                info.fMask = MIIM_STATE;
                info.fState = wanted;
                ::SetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info);
                changed = true;
            }
        }
        if (changed)
            ::DrawMenuBar(window);
    }
}

void CUpdateUIBase::UIUpdateMenu(HMENU popup) const
{
    int count = ::GetMenuItemCount(popup);
    for (int i = 0; i < count; ++i) {
        MENUITEMINFOW info = {};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_ID | MIIM_STATE | MIIM_SUBMENU | MIIM_FTYPE;
        if (!::GetMenuItemInfoW(popup, static_cast<UINT>(i), TRUE, &info))
            continue;
        if (info.hSubMenu || (info.fType & MFT_SEPARATOR))
            continue;
        const State *state = Find(info.wID);
        if (!state || !(state->where & UPDUI_MENUPOPUP))
            continue;
        info.fMask = MIIM_STATE;
        info.fState = (info.fState & ~(MFS_DISABLED | MFS_CHECKED)) |
                      (state->enabled ? 0 : MFS_DISABLED) | (state->checked ? MFS_CHECKED : 0);
        ::SetMenuItemInfoW(popup, static_cast<UINT>(i), TRUE, &info);
    }
}

BOOL CUpdateUIBase::ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                         LRESULT & /*result*/)
{
    // HIWORD(lParam) set: the window menu, whose items the system manages. A pop-up of none
    // of the owner's menus is a context menu: its items keep the states it was loaded with.
    if (msg == WM_INITMENUPOPUP && !HIWORD(lParam)) {
        HMENU popup = reinterpret_cast<HMENU>(wParam);
        if (UIOwnsPopup(hwnd, popup))
            UIUpdateMenu(popup);
    }
    return FALSE;
}

} // namespace ui
