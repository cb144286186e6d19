#include "pane.h"

namespace ui {

namespace {
const int kPadding = 3;   // pixels above and below the caption text
}

const CPaneContainer::Map CPaneContainer::s_messageMap[] = {
    // message               handler
    Map::Message(WM_SIZE,        &CPaneContainer::OnSize),
    Map::Message(WM_PAINT,       &CPaneContainer::OnPaint),
    Map::Message(WM_SETFONT,     &CPaneContainer::OnSetFont),
    Map::Message(WM_GETFONT,     &CPaneContainer::OnGetFont),
    Map::Message(WM_SETFOCUS,    &CPaneContainer::OnSetFocus),
    Map::Message(WM_NOTIFY,      &CPaneContainer::OnForward),
    Map::Message(WM_COMMAND,     &CPaneContainer::OnForward),
};

BOOL CPaneContainer::ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                          LRESULT &result)
{
    return RouteMessage(this, s_messageMap, hwnd, msg, wParam, lParam, result);
}

HWND CPaneContainer::Create(HWND parent, const wchar_t *title, DWORD style, DWORD exStyle)
{
    m_title = title ? title : L"";
    m_font = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
    return CWindowImpl<CPaneContainer>::Create(parent, nullptr, m_title.c_str(), style, exStyle);
}

void CPaneContainer::SetClient(HWND client)
{
    m_client = client;
    if (client && ::GetParent(client) != m_hWnd)
        ::SetParent(client, m_hWnd);
    LayoutClient();
}

void CPaneContainer::SetTitle(const wchar_t *title)
{
    m_title = title ? title : L"";
    ::SetWindowTextW(m_hWnd, m_title.c_str());
    const RECT header = HeaderRect();
    ::InvalidateRect(m_hWnd, &header, TRUE);
}

int CPaneContainer::GetHeaderHeight() const
{
    HDC dc = ::GetDC(m_hWnd);
    HGDIOBJ old = ::SelectObject(dc, m_font ? m_font : ::GetStockObject(DEFAULT_GUI_FONT));
    TEXTMETRICW metrics = {};
    ::GetTextMetricsW(dc, &metrics);
    ::SelectObject(dc, old);
    ::ReleaseDC(m_hWnd, dc);
    // Text, padding, and the raised edge of the caption line.
    return metrics.tmHeight + 2 * kPadding + 2;
}

RECT CPaneContainer::HeaderRect() const
{
    RECT rect = {};
    ::GetClientRect(m_hWnd, &rect);
    rect.bottom = rect.top + GetHeaderHeight();
    return rect;
}

void CPaneContainer::LayoutClient()
{
    if (!m_hWnd || !m_client)
        return;
    RECT rect = {};
    ::GetClientRect(m_hWnd, &rect);
    rect.top += GetHeaderHeight();
    if (rect.bottom < rect.top)
        rect.bottom = rect.top;
    ::SetWindowPos(m_client, nullptr, rect.left, rect.top, rect.right - rect.left,
                   rect.bottom - rect.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CPaneContainer::OnSize(UINT, WPARAM, LPARAM, BOOL &)
{
    LayoutClient();
    const RECT header = HeaderRect();
    ::InvalidateRect(m_hWnd, &header, TRUE);
    return 0;
}

LRESULT CPaneContainer::OnPaint(UINT, WPARAM, LPARAM, BOOL &)
{
    PAINTSTRUCT ps = {};
    HDC dc = ::BeginPaint(m_hWnd, &ps);
    RECT header = HeaderRect();
    ::FillRect(dc, &header, ::GetSysColorBrush(COLOR_3DFACE));
    ::DrawEdge(dc, &header, BDR_RAISEDINNER, BF_RECT);
    RECT text = header;
    ::InflateRect(&text, -(kPadding + 2), -1);
    HGDIOBJ old = ::SelectObject(dc, m_font ? m_font : ::GetStockObject(DEFAULT_GUI_FONT));
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, ::GetSysColor(COLOR_BTNTEXT));
    ::DrawTextW(dc, m_title.c_str(), static_cast<int>(m_title.size()), &text,
                DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX);
    ::SelectObject(dc, old);
    ::EndPaint(m_hWnd, &ps);
    return 0;
}

LRESULT CPaneContainer::OnSetFont(UINT, WPARAM wParam, LPARAM lParam, BOOL &)
{
    m_font = reinterpret_cast<HFONT>(wParam);
    LayoutClient();
    if (LOWORD(lParam))
        ::InvalidateRect(m_hWnd, nullptr, TRUE);
    return 0;
}

LRESULT CPaneContainer::OnGetFont(UINT, WPARAM, LPARAM, BOOL &)
{
    return reinterpret_cast<LRESULT>(m_font);
}

LRESULT CPaneContainer::OnSetFocus(UINT, WPARAM, LPARAM, BOOL &)
{
    if (m_client)
        ::SetFocus(m_client);
    return 0;
}

LRESULT CPaneContainer::OnForward(UINT msg, WPARAM wParam, LPARAM lParam, BOOL &)
{
    return ::SendMessageW(GetParent(), msg, wParam, lParam);
}

} // namespace ui
