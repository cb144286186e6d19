#include "splitter.h"

namespace ui {

namespace {
const int kScale = 10000;   // units of m_proportion
}

const CSplitterWindow::Map CSplitterWindow::s_messageMap[] = {
    // message                handler
    Map::Message(WM_SIZE,         &CSplitterWindow::OnSize),
    Map::Message(WM_SETCURSOR,    &CSplitterWindow::OnSetCursor),
    Map::Message(WM_LBUTTONDOWN,  &CSplitterWindow::OnLButtonDown),
    Map::Message(WM_MOUSEMOVE,    &CSplitterWindow::OnMouseMove),
    Map::Message(WM_LBUTTONUP,    &CSplitterWindow::OnLButtonUp),
    Map::Message(WM_CAPTURECHANGED, &CSplitterWindow::OnCaptureChanged),
    Map::Message(WM_SETFOCUS,     &CSplitterWindow::OnSetFocus),
    Map::Message(WM_PARENTNOTIFY, &CSplitterWindow::OnParentNotify),
    Map::Message(WM_NOTIFY,       &CSplitterWindow::OnForward),
    Map::Message(WM_COMMAND,      &CSplitterWindow::OnForward),
};

CSplitterWindow::CSplitterWindow(bool vertical)
    : m_vertical(vertical),
      m_barWidth(GetSystemMetrics(vertical ? SM_CXSIZEFRAME : SM_CYSIZEFRAME))
{
}

BOOL CSplitterWindow::ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                           LRESULT &result)
{
    return RouteMessage(this, s_messageMap, hwnd, msg, wParam, lParam, result);
}

void CSplitterWindow::SetSplitterPanes(HWND left, HWND right, bool update)
{
    m_panes[kLeftPane] = left;
    m_panes[kRightPane] = right;
    if (update)
        UpdateSplitterLayout();
}

int CSplitterWindow::Extent() const
{
    RECT rect = {};
    if (m_hWnd)
        ::GetClientRect(m_hWnd, &rect);
    return m_vertical ? rect.right - rect.left : rect.bottom - rect.top;
}

int CSplitterWindow::Clamp(int pos) const
{
    const int room = Extent() - m_barWidth;
    if (room <= 0)
        return pos < 0 ? 0 : pos;
    int low = m_minPane;
    int high = room - m_minPane;
    if (high < low)
        return room / 2;
    return pos < low ? low : (pos > high ? high : pos);
}

bool CSplitterWindow::SetSplitterPos(int pos, bool update)
{
    const int room = Extent() - m_barWidth;
    if (pos < 0)
        pos = room > 0 ? room / 2 : 0;
    pos = Clamp(pos);
    const bool changed = pos != m_pos;
    m_pos = pos;
    if (room > 0)
        m_proportion = MulDiv(pos, kScale, room);
    if (update)
        UpdateSplitterLayout();
    return changed;
}

void CSplitterWindow::SetSplitterPosPct(int percent, bool update)
{
    if (percent < 0)
        percent = 0;
    if (percent > 100)
        percent = 100;
    const int room = Extent() - m_barWidth;
    m_pos = Clamp(room > 0 ? MulDiv(percent, room, 100) : 0);
    m_proportion = percent * (kScale / 100);
    if (update)
        UpdateSplitterLayout();
}

int CSplitterWindow::GetSplitterPosPct() const
{
    const int room = Extent() - m_barWidth;
    return room > 0 ? MulDiv(m_pos, 100, room) : (m_proportion >= 0 ? m_proportion / (kScale / 100) : 0);
}

RECT CSplitterWindow::GetSplitterBarRect() const
{
    RECT rect = {};
    if (m_hWnd)
        ::GetClientRect(m_hWnd, &rect);
    const int pos = m_pos < 0 ? 0 : m_pos;
    if (m_vertical) {
        rect.left = pos;
        rect.right = pos + m_barWidth;
    } else {
        rect.top = pos;
        rect.bottom = pos + m_barWidth;
    }
    return rect;
}

void CSplitterWindow::UpdateSplitterLayout()
{
    if (!m_hWnd)
        return;
    if (m_pos < 0)
        SetSplitterPos(-1, false);
    RECT client = {};
    ::GetClientRect(m_hWnd, &client);
    RECT first = client;
    RECT second = client;
    const RECT bar = GetSplitterBarRect();
    if (m_vertical) {
        first.right = bar.left;
        second.left = bar.right;
    } else {
        first.bottom = bar.top;
        second.top = bar.bottom;
    }
    const RECT *places[2] = {&first, &second};
    for (int i = 0; i < 2; ++i) {
        if (!m_panes[i])
            continue;
        const RECT &r = *places[i];
        ::SetWindowPos(m_panes[i], nullptr, r.left, r.top, r.right - r.left > 0 ? r.right - r.left : 0,
                       r.bottom - r.top > 0 ? r.bottom - r.top : 0, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    ::InvalidateRect(m_hWnd, &bar, TRUE);
}

bool CSplitterWindow::IsOnBar(POINT point) const
{
    const RECT bar = GetSplitterBarRect();
    return PtInRect(&bar, point) != FALSE;
}

int CSplitterWindow::Coordinate(LPARAM lParam) const
{
    const POINT point = PointFromLParam(lParam);
    return m_vertical ? point.x : point.y;
}

LRESULT CSplitterWindow::OnSize(UINT, WPARAM, LPARAM, BOOL &)
{
    const int room = Extent() - m_barWidth;
    if (m_proportion >= 0 && room > 0)
        m_pos = Clamp(MulDiv(m_proportion, room, kScale));
    else if (m_pos >= 0)
        m_pos = Clamp(m_pos);
    UpdateSplitterLayout();
    return 0;
}

LRESULT CSplitterWindow::OnSetCursor(UINT, WPARAM wParam, LPARAM lParam, BOOL &handled)
{
    POINT point = {};
    ::GetCursorPos(&point);
    ::ScreenToClient(m_hWnd, &point);
    if (reinterpret_cast<HWND>(wParam) == m_hWnd && LOWORD(lParam) == HTCLIENT && IsOnBar(point)) {
        ::SetCursor(::LoadCursorW(nullptr, m_vertical ? IDC_SIZEWE : IDC_SIZENS));
        return TRUE;
    }
    handled = FALSE;
    return 0;
}

LRESULT CSplitterWindow::OnLButtonDown(UINT, WPARAM, LPARAM lParam, BOOL &)
{
    POINT point = PointFromLParam(lParam);
    if (IsOnBar(point)) {
        ::SetCapture(m_hWnd);
        m_dragging = true;
        m_dragOffset = Coordinate(lParam) - m_pos;
    }
    return 0;
}

LRESULT CSplitterWindow::OnMouseMove(UINT, WPARAM, LPARAM lParam, BOOL &)
{
    if (m_dragging && ::GetCapture() == m_hWnd) {
        const int pos = Clamp(Coordinate(lParam) - m_dragOffset);
        if (pos != m_pos) {
            SetSplitterPos(pos, true);
            ::UpdateWindow(m_hWnd);
        }
    }
    return 0;
}

LRESULT CSplitterWindow::OnLButtonUp(UINT, WPARAM, LPARAM, BOOL &)
{
    if (m_dragging)
        ::ReleaseCapture();
    m_dragging = false;
    return 0;
}

LRESULT CSplitterWindow::OnCaptureChanged(UINT, WPARAM, LPARAM, BOOL &)
{
    m_dragging = false;
    return 0;
}

LRESULT CSplitterWindow::OnSetFocus(UINT, WPARAM, LPARAM, BOOL &)
{
    HWND pane = m_panes[m_activePane] ? m_panes[m_activePane] : m_panes[1 - m_activePane];
    if (pane)
        ::SetFocus(pane);
    return 0;
}

LRESULT CSplitterWindow::OnParentNotify(UINT, WPARAM wParam, LPARAM, BOOL &handled)
{
    // A click into a pane makes it the one that gets the focus back later.
    if (LOWORD(wParam) == WM_LBUTTONDOWN || LOWORD(wParam) == WM_RBUTTONDOWN) {
        POINT point = {};
        ::GetCursorPos(&point);
        for (int i = 0; i < 2; ++i) {
            RECT rect = {};
            if (m_panes[i] && ::GetWindowRect(m_panes[i], &rect) && PtInRect(&rect, point))
                m_activePane = i;
        }
    }
    handled = FALSE;
    return 0;
}

LRESULT CSplitterWindow::OnForward(UINT msg, WPARAM wParam, LPARAM lParam, BOOL &)
{
    return ::SendMessageW(GetParent(), msg, wParam, lParam);
}

} // namespace ui
