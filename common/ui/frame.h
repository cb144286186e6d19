// Frame windows: a top-level window with bars at the top (a rebar holding a command bar and
// toolbars, or a lone toolbar), a status bar at the bottom and one client window in between;
// menu prompts in the status bar, tooltips from the string table, a keyboard table.
//
// Title, menu, keyboard table and icon share one resource id (the class info's resourceId).
// Command strings read "prompt\ntooltip": the prompt shows in the status bar while the menu
// item is highlighted, the tooltip over the toolbar button.
#pragma once

#include "controls.h"
#include "uires.h"
#include "window.h"

#include <string>
#include <vector>

namespace ui {

constexpr DWORD kFrameStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
constexpr DWORD kFrameExStyle = WS_EX_APPWINDOW | WS_EX_WINDOWEDGE;
constexpr DWORD kChildStyle = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
// Bars that the frame places itself (no automatic alignment, no resizing by the control).
constexpr DWORD kBarStyle = kChildStyle | CCS_NODIVIDER | CCS_NORESIZE | CCS_NOPARENTALIGN;
constexpr DWORD kToolBarStyle = kBarStyle | TBSTYLE_TOOLTIPS | TBSTYLE_FLAT;
constexpr DWORD kReBarStyle = kChildStyle | RBS_VARHEIGHT | RBS_BANDBORDERS | RBS_AUTOSIZE | CCS_NODIVIDER;
constexpr DWORD kStatusBarStyle = kChildStyle | SBARS_SIZEGRIP;

// A toolbar resource: button size and the command ids in button order (0: separator).
struct ToolBarLayout
{
    int width = 0;
    int height = 0;
    std::vector<WORD> items;
};
bool LoadToolBarLayout(HINSTANCE instance, UINT id, ToolBarLayout &layout);
// The bitmap id as an image list of count images of width x height, its top-left pixel's
// colour transparent. Null when there is no such bitmap.
HIMAGELIST LoadToolBarImages(HINSTANCE instance, UINT id, int width, int height, int count);

class CFrameWindowImplBase : public CWindowImplBase
{
public:
    HWND m_hWndToolBar = nullptr;     // the rebar, or a lone toolbar
    HWND m_hWndStatusBar = nullptr;
    HWND m_hWndClient = nullptr;
    HACCEL m_hAccel = nullptr;

    // Top bars, status bar, and the client in the rest of the client area. Hidden bars take
    // no room (their own visible flag counts, so it also works before the frame is shown).
    virtual void UpdateLayout(bool resizeBars = true);

    // The keyboard table; true when the message became a command.
    BOOL PreTranslateMessage(MSG *msg);

    // A toolbar from a toolbar resource and the bitmap of the same id (one image per button,
    // in button order). The bitmap's top-left pixel gives its transparent colour. The toolbar
    // owns the image list.
    static HWND CreateSimpleToolBarCtrl(HWND parent, UINT resourceId, bool initialSeparator = false,
                                        DWORD style = kToolBarStyle, UINT id = IDW_TOOLBAR);
    static HWND CreateSimpleReBarCtrl(HWND parent, DWORD style = kReBarStyle, UINT id = IDW_TOOLBAR);
    // Band n gets the id IDW_BAND_FIRST + n. A toolbar child is measured by its buttons.
    static bool AddSimpleReBarBandCtrl(HWND rebar, HWND child, UINT bandId, const wchar_t *title = nullptr,
                                       bool newRow = false, int cx = 0, bool fullWidth = false);

    bool CreateSimpleReBar(DWORD style = kReBarStyle, UINT id = IDW_TOOLBAR);
    bool AddSimpleReBarBand(HWND child, const wchar_t *title = nullptr, bool newRow = false,
                            int cx = 0, bool fullWidth = false);
    bool CreateSimpleStatusBar(const wchar_t *text, DWORD style = kStatusBarStyle,
                               UINT id = IDW_STATUS_BAR);

    BOOL ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                              LRESULT &result) override;

protected:
    HWND CreateFrame(ATOM windowClass, UINT resourceId, HWND parent, const RECT *rect,
                     DWORD style, DWORD exStyle, void *param);

    LRESULT OnDestroy(UINT /*msg*/, WPARAM /*wParam*/, LPARAM /*lParam*/, BOOL &handled);
    LRESULT OnSize(UINT /*msg*/, WPARAM wParam, LPARAM /*lParam*/, BOOL &handled);
    LRESULT OnEraseBackground(UINT /*msg*/, WPARAM /*wParam*/, LPARAM /*lParam*/, BOOL &handled);
    LRESULT OnSetFocus(UINT /*msg*/, WPARAM /*wParam*/, LPARAM /*lParam*/, BOOL &handled);
    LRESULT OnMenuSelect(UINT /*msg*/, WPARAM wParam, LPARAM lParam, BOOL &handled);
    LRESULT OnExitMenuLoop(UINT /*msg*/, WPARAM /*wParam*/, LPARAM /*lParam*/, BOOL &handled);
    LRESULT OnToolTipTextW(int /*idCtrl*/, LPNMHDR header, BOOL &handled);
    LRESULT OnToolTipTextA(int /*idCtrl*/, LPNMHDR header, BOOL &handled);
    LRESULT OnReBarResized(int /*idCtrl*/, LPNMHDR header, BOOL &handled);

private:
    using Map = MsgEntry<CFrameWindowImplBase>;
    static const Map s_messageMap[];

    std::wstring m_tipText;   // the text a tooltip is showing: it points into this buffer
};

template <class T>
class CFrameWindowImpl : public CFrameWindowImplBase
{
public:
    static WndClassInfo GetWndClassInfo()
    {
        return {nullptr, 0, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1), IDC_ARROW, 0};
    }

    // Title, menu, keyboard table and icon from T::GetWndClassInfo().resourceId. rect null:
    // the system's default place and size. Style 0: the frame defaults.
    HWND CreateEx(HWND parent = nullptr, const RECT *rect = nullptr, DWORD style = 0,
                  DWORD exStyle = 0, void *param = nullptr)
    {
        return CreateFrame(GetClassAtom(), T::GetWndClassInfo().resourceId, parent, rect,
                           style ? style : kFrameStyle, exStyle ? exStyle : kFrameExStyle, param);
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
