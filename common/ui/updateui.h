// Update-UI: the enabled and checked state of commands, kept in one place and shown in menus
// and toolbars. Handlers change a state at any time; drop-down menus pick the states up when
// they open (WM_INITMENUPOPUP), toolbars when the program is idle (UIUpdateToolBar from the
// idle handler). Only the commands in the owner's map have a managed state; every other item
// keeps the state its resource gave it. The states reach only the owner's own menus: the
// drop-downs of its menu bar and of the menus registered with UIAddMenu (a command bar's
// menu). A context menu the owner tracks with TrackPopupMenu shows its resource's states.
#pragma once

#include "window.h"

#include <cstddef>
#include <vector>

namespace ui {

enum UpdateUIWhere : WORD
{
    UPDUI_MENUPOPUP = 0x0001,   // items of the drop-downs of the owner's own menus
    UPDUI_MENUBAR = 0x0002,     // top-level items of a window's menu bar
    UPDUI_TOOLBAR = 0x0004,     // buttons of the registered toolbars
};

struct UpdateUIEntry
{
    WORD id;
    WORD where;   // UpdateUIWhere bits
};

class CUpdateUIBase
{
public:
    CUpdateUIBase(const UpdateUIEntry *map, size_t count);
    CUpdateUIBase(const CUpdateUIBase &) = delete;
    CUpdateUIBase &operator=(const CUpdateUIBase &) = delete;

    // False for an id without a managed state.
    bool UIEnable(UINT id, bool enable);
    bool UISetCheck(UINT id, bool check);
    bool UIIsEnabled(UINT id) const;
    bool UIIsChecked(UINT id) const;

    // Toolbars whose buttons show the states; a toolbar added later gets every state at the
    // next update.
    bool UIAddToolBar(HWND toolbar);
    // A window whose menu bar shows the states of UPDUI_MENUBAR entries.
    bool UIAddMenuBar(HWND window);
    // A menu whose drop-downs, at any depth, show the states of UPDUI_MENUPOPUP entries, as
    // those of the owner's own menu bar do: the menu a command bar draws in its place.
    bool UIAddMenu(HMENU menu);
    // True when popup is a drop-down of the owner's menu bar or of a registered menu.
    bool UIOwnsPopup(HWND owner, HMENU popup) const;

    // Brings the toolbars up to date: the states changed since the last update, or all.
    void UIUpdateToolBar(bool force = false);
    void UIUpdateMenuBar();
    // Applies the states to the items of popup (not to its sub-menus: they get their own
    // WM_INITMENUPOPUP).
    void UIUpdateMenu(HMENU popup) const;

    // WM_INITMENUPOPUP: the items of the owner's own drop-downs get their states; other pop-ups
    // (context menus) are left as loaded. The message stays unhandled so that later maps see
    // it too.
    BOOL ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT &result);

private:
    struct State
    {
        WORD id;
        WORD where;
        bool enabled = true;
        bool checked = false;
        bool toolbarStale = true;   // changed since the toolbars were last updated
    };
    State *Find(UINT id);
    const State *Find(UINT id) const;

    std::vector<State> m_states;
    std::vector<HWND> m_toolbars;
    std::vector<HWND> m_menuBars;
    std::vector<HMENU> m_menus;
    bool m_toolbarsStale = false;   // a toolbar was added: update everything once
};

// T provides   static const ui::UpdateUIEntry *GetUpdateUIMap(size_t &count);
template <class T>
class CUpdateUI : public CUpdateUIBase
{
public:
    CUpdateUI() : CUpdateUIBase(Map(), MapCount()) {}

private:
    static const UpdateUIEntry *Map() { size_t n = 0; return T::GetUpdateUIMap(n); }
    static size_t MapCount() { size_t n = 0; T::GetUpdateUIMap(n); return n; }
};

} // namespace ui
