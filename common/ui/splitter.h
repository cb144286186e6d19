// A splitter window: two panes side by side (vertical bar) or one above the other (horizontal
// bar), with a bar the user drags. The bar keeps its proportion when the splitter is resized.
// Notifications and commands of the panes go on to the splitter's parent.
#pragma once

#include "window.h"

namespace ui {

class CSplitterWindow : public CWindowImpl<CSplitterWindow>
{
public:
    enum { kLeftPane = 0, kRightPane = 1 };

    // vertical: the bar runs from top to bottom, the panes are left and right.
    explicit CSplitterWindow(bool vertical = true);

    static WndClassInfo GetWndClassInfo()
    {
        return {nullptr, CS_DBLCLKS, reinterpret_cast<HBRUSH>(COLOR_3DFACE + 1), IDC_ARROW, 0};
    }

    void SetSplitterPanes(HWND left, HWND right, bool update = true);
    HWND GetSplitterPane(int pane) const { return (pane == 0 || pane == 1) ? m_panes[pane] : nullptr; }

    // The bar's left (top) edge in client coordinates; -1: the middle. It stays inside
    // [minimum pane size, extent - bar - minimum pane size] once the splitter has a size.
    bool SetSplitterPos(int pos = -1, bool update = true);
    int GetSplitterPos() const { return m_pos; }
    // The bar at percent of the room the panes share.
    void SetSplitterPosPct(int percent, bool update = true);
    int GetSplitterPosPct() const;

    int GetSplitterBarWidth() const { return m_barWidth; }
    RECT GetSplitterBarRect() const;
    void SetMinPaneSize(int size) { m_minPane = size; }

    // Places the panes and the bar.
    void UpdateSplitterLayout();

    BOOL ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                              LRESULT &result) override;

private:
    LRESULT OnSize(UINT /*msg*/, WPARAM /*wParam*/, LPARAM /*lParam*/, BOOL & /*handled*/);
    LRESULT OnSetCursor(UINT /*msg*/, WPARAM wParam, LPARAM lParam, BOOL &handled);
    LRESULT OnLButtonDown(UINT /*msg*/, WPARAM /*wParam*/, LPARAM lParam, BOOL & /*handled*/);
    LRESULT OnMouseMove(UINT /*msg*/, WPARAM /*wParam*/, LPARAM lParam, BOOL & /*handled*/);
    LRESULT OnLButtonUp(UINT /*msg*/, WPARAM /*wParam*/, LPARAM /*lParam*/, BOOL & /*handled*/);
    LRESULT OnCaptureChanged(UINT /*msg*/, WPARAM /*wParam*/, LPARAM /*lParam*/, BOOL & /*handled*/);
    LRESULT OnSetFocus(UINT /*msg*/, WPARAM /*wParam*/, LPARAM /*lParam*/, BOOL & /*handled*/);
    LRESULT OnParentNotify(UINT /*msg*/, WPARAM wParam, LPARAM /*lParam*/, BOOL &handled);
    LRESULT OnForward(UINT msg, WPARAM wParam, LPARAM lParam, BOOL & /*handled*/);

    int Extent() const;                 // client width (vertical) or height
    int Clamp(int pos) const;
    bool IsOnBar(POINT point) const;
    int Coordinate(LPARAM lParam) const;

    using Map = MsgEntry<CSplitterWindow>;
    static const Map s_messageMap[];

    bool m_vertical;
    HWND m_panes[2] = {nullptr, nullptr};
    int m_pos = -1;                     // -1 until first placed
    int m_proportion = -1;              // bar position in 1/10000 of the shared room; -1 none
    int m_barWidth;
    int m_minPane = 0;
    bool m_dragging = false;
    int m_dragOffset = 0;               // pointer position minus bar position when grabbed
    int m_activePane = kLeftPane;       // receives the focus given to the splitter
};

} // namespace ui
