// A command bar: the menu bar of a frame drawn as a flat toolbar, so that it can sit in a
// rebar band beside toolbars. Each button drops one of the menu's pop-ups down; the pop-ups
// belong to the owner window (the frame), which receives their commands, WM_INITMENUPOPUP and
// WM_MENUSELECT as it would from a real menu bar. Menu items whose command has a toolbar
// image show that image; once images are loaded, every pop-up item has the image column.
//
// Keyboard: Alt+letter opens the pop-up with that access key (taken from the thread's queue
// before the focused control sees it), Alt or F10 alone enters keyboard mode on the bar
// (Left/Right move, Down/Enter open, Esc leaves); while a pop-up is open, Left/Right and
// hovering over another button switch to the neighbouring pop-up.
#pragma once

#include "controls.h"
#include "frame.h"
#include "window.h"

#include <vector>

namespace ui {

class CCommandBarCtrl : public CWindowImplBase
{
public:
    CCommandBarCtrl() = default;
    ~CCommandBarCtrl() override;

    // A bar child of owner (style: bar styles; flat list style is added). The owner's window
    // procedure is extended to route its keyboard menu requests and menu images here.
    HWND Create(HWND owner, DWORD style = kBarStyle, UINT id = IDW_COMMAND_BAR);

    // The bar takes menu over (it destroys it). One button per top-level pop-up.
    bool AttachMenu(HMENU menu);
    HMENU GetMenu() const { return m_menu.Get(); }

    // Images for menu items, from the toolbar resource and bitmap toolbarId.
    bool LoadImages(UINT toolbarId);
    // The image of command, -1 none.
    int GetImageIndex(UINT command) const;

    // Drops pop-up index down below its button; returns when the menus are closed.
    void TrackPopup(int index, bool selectFirst);
    // The owner's SC_KEYMENU: ch 0 enters keyboard mode, a character opens the pop-up whose
    // access key it is. False when the bar has no use for it.
    bool OnKeyMenu(wchar_t ch);
    // Index of the pop-up whose text marks ch as its access key, -1 none.
    int FindAccessKey(wchar_t ch) const;
    bool IsKeyboardMode() const { return m_keyboardMode; }

    BOOL ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                              LRESULT &result) override;

private:
    LRESULT OnLButtonDown(UINT /*msg*/, WPARAM /*wParam*/, LPARAM lParam, BOOL &handled);
    LRESULT OnKeyDown(UINT /*msg*/, WPARAM wParam, LPARAM /*lParam*/, BOOL & /*handled*/);
    LRESULT OnChar(UINT /*msg*/, WPARAM wParam, LPARAM /*lParam*/, BOOL & /*handled*/);
    LRESULT OnSysKey(UINT /*msg*/, WPARAM wParam, LPARAM /*lParam*/, BOOL &handled);
    LRESULT OnKillFocus(UINT /*msg*/, WPARAM /*wParam*/, LPARAM /*lParam*/, BOOL &handled);
    LRESULT OnGetDlgCode(UINT /*msg*/, WPARAM /*wParam*/, LPARAM /*lParam*/, BOOL & /*handled*/);
    LRESULT OnDestroy(UINT /*msg*/, WPARAM /*wParam*/, LPARAM /*lParam*/, BOOL &handled);
    LRESULT OnDropDown(UINT /*msg*/, WPARAM wParam, LPARAM lParam, BOOL & /*handled*/);

    void EnterKeyboardMode();
    void LeaveKeyboardMode(bool restoreFocus);
    int ButtonCount() const;
    // Asks the owner-drawn image of every command item of menu's pop-ups (popup: menu is
    // one).
    void ApplyImages(HMENU menu, bool popup);
    bool IsOwnMenuItem(UINT command) const;
    bool MeasureMenuItem(MEASUREITEMSTRUCT *item) const;
    bool DrawMenuItem(const DRAWITEMSTRUCT *item) const;
    bool OnMenuMessage(const MSG &msg);   // during TrackPopup; true eats the message

    static LRESULT CALLBACK OwnerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                      UINT_PTR id, DWORD_PTR data);
    static LRESULT CALLBACK MenuFilterHook(int code, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK GetMessageHook(int code, WPARAM wParam, LPARAM lParam);
    // Alt+letter for a window of the owner: the pop-up opens instead. True when taken.
    bool TakeAccessKey(MSG &msg);
    void RegisterKeyboardHook();
    void UnregisterKeyboardHook();
    static UINT DropDownMessage();

    using Map = MsgEntry<CCommandBarCtrl>;
    static const Map s_messageMap[];

    HWND m_owner = nullptr;
    UniqueMenu m_menu;
    UniqueImageList m_images;
    std::vector<std::pair<UINT, int>> m_commandImages;   // command id, image index
    SIZE m_imageSize = {0, 0};
    int m_tracking = -1;          // pop-up open now
    int m_next = -1;              // pop-up to open when the current one has closed
    bool m_nextSelectFirst = false;
    bool m_keyboardMode = false;
    HWND m_focusBefore = nullptr; // focus to restore when keyboard mode ends
    HHOOK m_hook = nullptr;
};

} // namespace ui
