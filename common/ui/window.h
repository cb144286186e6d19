// Windows: a thin handle wrapper, declarative message maps and the window procedure that
// routes every message through the map of the C++ object behind the window.
//
// A message map is a static table of entries tested in order. Each entry matches a message, a
// command id, a command id range, a control's command notification, or a WM_NOTIFY code (from
// any control, or from one control id), and names a member handler; a chain entry hands the
// message to a base class's map. A handler reports through its BOOL& whether it handled the
// message (it arrives set to TRUE); one that clears it lets the search go on with the next
// entry, and a message that no entry handles gets the window's default processing.
//
//   class CMyWindow : public ui::CWindowImpl<CMyWindow>
//   {
//   public:
//       BOOL ProcessWindowMessage(HWND, UINT, WPARAM, LPARAM, LRESULT &) override;
//   private:
//       using Map = ui::MsgEntry<CMyWindow>;
//       static const Map s_messageMap[];
//       LRESULT OnSize(UINT /*msg*/, WPARAM /*wParam*/, LPARAM lParam, BOOL & /*handled*/);
//   };
//
//   const CMyWindow::Map CMyWindow::s_messageMap[] = {
//       Map::Message(WM_SIZE, &CMyWindow::OnSize),
//       Map::Chain<ui::CWindowImpl<CMyWindow>>(),
//   };
//   BOOL CMyWindow::ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
//                                        LRESULT &result)
//   {
//       return ui::RouteMessage(this, s_messageMap, hwnd, msg, wParam, lParam, result);
//   }
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstddef>
#include <string>

namespace ui {

// The signed client coordinates of a mouse message.
inline POINT PointFromLParam(LPARAM lParam)
{
    return POINT{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
}

// --- Window handle ------------------------------------------------------------------------------

// A window handle with the calls the UI code makes on it. Owns nothing.
class CWindow
{
public:
    HWND m_hWnd = nullptr;

    CWindow(HWND hwnd = nullptr) : m_hWnd(hwnd) {}
    CWindow &operator=(HWND hwnd) { m_hWnd = hwnd; return *this; }
    operator HWND() const { return m_hWnd; }

    bool IsWindow() const { return m_hWnd && ::IsWindow(m_hWnd); }
    LRESULT SendMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::SendMessageW(m_hWnd, msg, wParam, lParam);
    }
    BOOL PostMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::PostMessageW(m_hWnd, msg, wParam, lParam);
    }

    std::wstring GetWindowText() const;
    BOOL SetWindowText(const wchar_t *text) { return ::SetWindowTextW(m_hWnd, text); }
    BOOL SetWindowText(const std::wstring &text) { return ::SetWindowTextW(m_hWnd, text.c_str()); }

    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
    HWND GetParent() const { return ::GetParent(m_hWnd); }
    HWND SetParent(HWND parent) { return ::SetParent(m_hWnd, parent); }
    HWND GetTopLevelParent() const { return ::GetAncestor(m_hWnd, GA_ROOT); }

    BOOL ShowWindow(int show) { return ::ShowWindow(m_hWnd, show); }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    BOOL EnableWindow(bool enable = true) { return ::EnableWindow(m_hWnd, enable); }
    BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
    BOOL DestroyWindow() { return ::DestroyWindow(m_hWnd); }

    BOOL GetClientRect(RECT *rect) const { return ::GetClientRect(m_hWnd, rect); }
    BOOL GetWindowRect(RECT *rect) const { return ::GetWindowRect(m_hWnd, rect); }
    BOOL SetWindowPos(HWND after, int x, int y, int cx, int cy, UINT flags)
    {
        return ::SetWindowPos(m_hWnd, after, x, y, cx, cy, flags);
    }
    BOOL SetWindowPos(HWND after, const RECT &rect, UINT flags)
    {
        return ::SetWindowPos(m_hWnd, after, rect.left, rect.top, rect.right - rect.left,
                              rect.bottom - rect.top, flags);
    }
    BOOL MoveWindow(const RECT &rect, bool repaint = true)
    {
        return ::MoveWindow(m_hWnd, rect.left, rect.top, rect.right - rect.left,
                            rect.bottom - rect.top, repaint);
    }
    BOOL ScreenToClient(POINT *point) const { return ::ScreenToClient(m_hWnd, point); }
    BOOL ClientToScreen(POINT *point) const { return ::ClientToScreen(m_hWnd, point); }
    // Window rectangle in the client coordinates of the parent (screen for top-level windows).
    RECT GetRectInParent() const;

    // Centres the window on centre; with none: on its parent (child) or owner, or, when that
    // is hidden or minimised, on the work area. The result stays inside the work area.
    BOOL CenterWindow(HWND centre = nullptr);

    void SetFont(HFONT font, bool redraw = true)
    {
        ::SendMessageW(m_hWnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), redraw);
    }
    HFONT GetFont() const { return reinterpret_cast<HFONT>(::SendMessageW(m_hWnd, WM_GETFONT, 0, 0)); }
    void SetRedraw(bool redraw) { ::SendMessageW(m_hWnd, WM_SETREDRAW, redraw, 0); }
    BOOL Invalidate(bool erase = true) { return ::InvalidateRect(m_hWnd, nullptr, erase); }
    HWND SetFocus() { return ::SetFocus(m_hWnd); }

    DWORD GetStyle() const { return static_cast<DWORD>(::GetWindowLongPtrW(m_hWnd, GWL_STYLE)); }
    DWORD GetExStyle() const { return static_cast<DWORD>(::GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE)); }
    // Removes, then adds style bits; swpFlags != 0 also lets the frame recompute (SetWindowPos).
    BOOL ModifyStyle(DWORD remove, DWORD add, UINT swpFlags = 0);

    HMENU GetMenu() const { return ::GetMenu(m_hWnd); }
    BOOL SetMenu(HMENU menu) { return ::SetMenu(m_hWnd, menu); }

    UINT_PTR SetTimer(UINT_PTR id, UINT elapse) { return ::SetTimer(m_hWnd, id, elapse, nullptr); }
    BOOL KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id); }
};

// --- Message maps -------------------------------------------------------------------------------

template <class T>
struct MsgEntry
{
    using MessageFn = LRESULT (T::*)(UINT msg, WPARAM wParam, LPARAM lParam, BOOL &handled);
    using CommandFn = LRESULT (T::*)(WORD code, WORD id, HWND control, BOOL &handled);
    using NotifyFn = LRESULT (T::*)(int idCtrl, LPNMHDR header, BOOL &handled);
    using ChainFn = BOOL (*)(T *self, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                             LRESULT &result);

    enum Kind { kMessage, kCommandId, kCommandRange, kCommandCode, kNotifyCode, kNotifyId, kChain };

    Kind kind;
    UINT message;     // kMessage
    UINT first;       // command id or first of a range; control id for kNotifyId
    UINT last;        // last id of a range (inclusive)
    UINT code;        // command notification or WM_NOTIFY code
    MessageFn onMessage;
    CommandFn onCommand;
    NotifyFn onNotify;
    ChainFn chain;

    static MsgEntry Message(UINT message, MessageFn fn)
    {
        return {kMessage, message, 0, 0, 0, fn, nullptr, nullptr, nullptr};
    }
    // WM_COMMAND with this id, from a menu, an accelerator or a control alike.
    static MsgEntry Command(UINT id, CommandFn fn)
    {
        return {kCommandId, 0, id, id, 0, nullptr, fn, nullptr, nullptr};
    }
    static MsgEntry CommandRange(UINT first, UINT last, CommandFn fn)
    {
        return {kCommandRange, 0, first, last, 0, nullptr, fn, nullptr, nullptr};
    }
    // WM_COMMAND from control id with notification code (EN_CHANGE, CBN_SELCHANGE, ...).
    static MsgEntry CommandCode(UINT id, UINT code, CommandFn fn)
    {
        return {kCommandCode, 0, id, id, code, nullptr, fn, nullptr, nullptr};
    }
    // WM_NOTIFY with this code from whichever control sent it: the handler checks the sender.
    static MsgEntry Notify(UINT code, NotifyFn fn)
    {
        return {kNotifyCode, 0, 0, 0, code, nullptr, nullptr, fn, nullptr};
    }
    static MsgEntry NotifyId(UINT id, UINT code, NotifyFn fn)
    {
        return {kNotifyId, 0, id, id, code, nullptr, nullptr, fn, nullptr};
    }
    // Hands the message to Base's map (Base::ProcessWindowMessage, called non-virtually).
    template <class Base>
    static MsgEntry Chain()
    {
        return {kChain, 0, 0, 0, 0, nullptr, nullptr, nullptr, &ChainTo<Base>};
    }

    template <class Base>
    static BOOL ChainTo(T *self, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT &result)
    {
        return self->Base::ProcessWindowMessage(hwnd, msg, wParam, lParam, result);
    }
};

// Walks map in order; TRUE when an entry handled the message (result then holds its answer).
template <class T>
BOOL RouteMessage(T *self, const MsgEntry<T> *map, size_t count, HWND hwnd, UINT msg,
                  WPARAM wParam, LPARAM lParam, LRESULT &result)
{
    using Entry = MsgEntry<T>;
    const WORD id = LOWORD(wParam);
    const NMHDR *header = msg == WM_NOTIFY ? reinterpret_cast<const NMHDR *>(lParam) : nullptr;
    for (size_t i = 0; i < count; ++i) {
        const Entry &e = map[i];
        BOOL handled = TRUE;
        switch (e.kind) {
        case Entry::kMessage:
            if (msg != e.message)
                continue;
            result = (self->*e.onMessage)(msg, wParam, lParam, handled);
            break;
        case Entry::kCommandId:
        case Entry::kCommandRange:
            if (msg != WM_COMMAND || id < e.first || id > e.last)
                continue;
            result = (self->*e.onCommand)(HIWORD(wParam), id, reinterpret_cast<HWND>(lParam), handled);
            break;
        case Entry::kCommandCode:
            if (msg != WM_COMMAND || id != e.first || HIWORD(wParam) != e.code)
                continue;
            result = (self->*e.onCommand)(HIWORD(wParam), id, reinterpret_cast<HWND>(lParam), handled);
            break;
        case Entry::kNotifyCode:
        case Entry::kNotifyId:
            if (!header || header->code != e.code ||
                (e.kind == Entry::kNotifyId && header->idFrom != e.first))
                continue;
            result = (self->*e.onNotify)(static_cast<int>(wParam), const_cast<NMHDR *>(header), handled);
            break;
        case Entry::kChain:
            handled = e.chain(self, hwnd, msg, wParam, lParam, result);
            break;
        }
        if (handled)
            return TRUE;
    }
    return FALSE;
}

template <class T, size_t N>
BOOL RouteMessage(T *self, const MsgEntry<T> (&map)[N], HWND hwnd, UINT msg, WPARAM wParam,
                  LPARAM lParam, LRESULT &result)
{
    return RouteMessage(self, map, N, hwnd, msg, wParam, lParam, result);
}

// --- Windows with a C++ object behind them -----------------------------------------------------

// What windows and dialogs share: the map entry point and the link between handle and object.
class CWindowImplRoot : public CWindow
{
public:
    CWindowImplRoot() = default;
    CWindowImplRoot(const CWindowImplRoot &) = delete;
    CWindowImplRoot &operator=(const CWindowImplRoot &) = delete;

    // The message map. The root handles nothing.
    virtual BOOL ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                      LRESULT &result);
    virtual ~CWindowImplRoot();
    // The procedure that routes to ProcessWindowMessage.
    virtual WNDPROC GetWindowProc() = 0;
    // After WM_NCDESTROY, with the handle already detached from the object.
    virtual void OnFinalMessage(HWND hwnd);

    // The object behind hwnd, or null for a window that is not ours.
    static CWindowImplRoot *FromHandle(HWND hwnd);

    // The message being processed (null outside of message processing).
    const MSG *GetCurrentMessage() const { return m_currentMsg; }

protected:
    void AttachHandle(HWND hwnd);
    void DetachHandle();

    // Calls the map with the current message recorded.
    BOOL Dispatch(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT &result);

    const MSG *m_currentMsg = nullptr;
};

// Class registration of a window class of ours.
struct WndClassInfo
{
    const wchar_t *name;        // null: a private name is made up
    UINT style;
    HBRUSH background;
    const wchar_t *cursor;      // a system cursor (IDC_ARROW, ...)
    UINT resourceId;            // icon, and for frames title, menu and accelerators; 0 none
};

class CWindowImplBase : public CWindowImplRoot
{
public:
    CWindowImplBase() = default;
    // A window still alive when its object goes is destroyed without reaching the object.
    ~CWindowImplBase() override;

    WNDPROC GetWindowProc() override { return &WindowProc; }

    // Routes an existing window (of any class) through this object's map; unhandled messages
    // go to the window's own procedure.
    BOOL SubclassWindow(HWND hwnd);
    HWND UnsubclassWindow();

    // Default processing of a message the map did not handle.
    LRESULT DefWindowProc(UINT msg, WPARAM wParam, LPARAM lParam);
    // Default processing of the current message.
    LRESULT DefWindowProc();

protected:
    static ATOM RegisterWndClass(const WndClassInfo &info, const void *uniqueKey);
    HWND CreateImpl(ATOM windowClass, HWND parent, const RECT *rect, const wchar_t *title,
                    DWORD style, DWORD exStyle, HMENU menuOrId, void *param);

    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

    WNDPROC m_superWindowProc = nullptr;   // set while subclassing another class's window
};

template <class T>
class CWindowImpl : public CWindowImplBase
{
public:
    static WndClassInfo GetWndClassInfo()
    {
        return {nullptr, CS_DBLCLKS, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1), IDC_ARROW, 0};
    }

    // rect null: the system's default place for a top-level window, empty for a child.
    HWND Create(HWND parent, const RECT *rect = nullptr, const wchar_t *title = nullptr,
                DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                DWORD exStyle = 0, UINT id = 0, void *param = nullptr)
    {
        return CreateImpl(GetClassAtom(), parent, rect, title, style, exStyle,
                          reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), param);
    }

protected:
    static ATOM GetClassAtom()
    {
        static const char key = 0;
        static ATOM atom = RegisterWndClass(T::GetWndClassInfo(), &key);
        return atom;
    }
};

} // namespace ui
