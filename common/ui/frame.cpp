#include "frame.h"

#include "module.h"
#include "strings.h"

#include <vector>

namespace ui {

namespace {

// The toolbar keeps the image list for its life: it goes with the window.
LRESULT CALLBACK ToolBarImagesProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                   UINT_PTR id, DWORD_PTR /*data*/)
{
    if (msg == WM_NCDESTROY) {
        HIMAGELIST images = reinterpret_cast<HIMAGELIST>(::SendMessageW(hwnd, TB_GETIMAGELIST, 0, 0));
        RemoveWindowSubclass(hwnd, &ToolBarImagesProc, id);
        LRESULT result = DefSubclassProc(hwnd, msg, wParam, lParam);
        if (images)
            ImageList_Destroy(images);
        return result;
    }
    return DefSubclassProc(hwnd, msg, wParam, lParam);
}

bool IsClass(HWND hwnd, const wchar_t *name)
{
    wchar_t buffer[64] = {};
    return GetClassNameW(hwnd, buffer, 64) > 0 && lstrcmpiW(buffer, name) == 0;
}

} // namespace

// Toolbar resources: version 1, then button width and height, the number of items and the
// command ids, all 16-bit.
bool LoadToolBarLayout(HINSTANCE instance, UINT id, ToolBarLayout &layout)
{
    const WORD kToolBarType = 241;
    HRSRC info = FindResourceW(instance, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(kToolBarType));
    HGLOBAL global = info ? LoadResource(instance, info) : nullptr;
    const WORD *data = global ? static_cast<const WORD *>(LockResource(global)) : nullptr;
    const DWORD size = info ? SizeofResource(instance, info) : 0;
    if (!data || size < 4 * sizeof(WORD) || data[0] != 1 || size < (4u + data[3]) * sizeof(WORD))
        return false;
    layout.width = data[1];
    layout.height = data[2];
    layout.items.assign(data + 4, data + 4 + data[3]);
    return true;
}

HIMAGELIST LoadToolBarImages(HINSTANCE instance, UINT id, int width, int height, int count)
{
    UniqueBitmap bitmap(static_cast<HBITMAP>(LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_BITMAP,
                                                        0, 0, LR_CREATEDIBSECTION)));
    if (!bitmap)
        return nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap.Get());
    const COLORREF transparent = GetPixel(dc, 0, 0);
    SelectObject(dc, old);
    DeleteDC(dc);
    HIMAGELIST images = ImageList_Create(width, height, ILC_COLOR24 | ILC_MASK, count, 0);
    if (images && ImageList_AddMasked(images, bitmap.Get(), transparent) < 0) {
        ImageList_Destroy(images);
        images = nullptr;
    }
    return images;
}

const CFrameWindowImplBase::Map CFrameWindowImplBase::s_messageMap[] = {
    // message or notification           handler
    Map::Message(WM_DESTROY,              &CFrameWindowImplBase::OnDestroy),
    Map::Message(WM_SIZE,                 &CFrameWindowImplBase::OnSize),
    Map::Message(WM_ERASEBKGND,           &CFrameWindowImplBase::OnEraseBackground),
    Map::Message(WM_SETFOCUS,             &CFrameWindowImplBase::OnSetFocus),
    Map::Message(WM_MENUSELECT,           &CFrameWindowImplBase::OnMenuSelect),
    Map::Message(WM_EXITMENULOOP,         &CFrameWindowImplBase::OnExitMenuLoop),
    Map::Notify(TTN_GETDISPINFOW,         &CFrameWindowImplBase::OnToolTipTextW),
    Map::Notify(TTN_GETDISPINFOA,         &CFrameWindowImplBase::OnToolTipTextA),
    Map::Notify(RBN_AUTOSIZE,             &CFrameWindowImplBase::OnReBarResized),
    Map::Notify(RBN_HEIGHTCHANGE,         &CFrameWindowImplBase::OnReBarResized),
};

BOOL CFrameWindowImplBase::ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                                LRESULT &result)
{
    return RouteMessage(this, s_messageMap, hwnd, msg, wParam, lParam, result);
}

HWND CFrameWindowImplBase::CreateFrame(ATOM windowClass, UINT resourceId, HWND parent,
                                       const RECT *rect, DWORD style, DWORD exStyle, void *param)
{
    HINSTANCE resources = Module().GetResourceInstance();
    std::wstring title = resourceId ? LoadStr(resourceId) : std::wstring();
    HMENU menu = resourceId ? LoadMenuW(resources, MAKEINTRESOURCEW(resourceId)) : nullptr;
    if (resourceId && !m_hAccel)
        m_hAccel = LoadAcceleratorsW(resources, MAKEINTRESOURCEW(resourceId));
    HWND hwnd = CreateImpl(windowClass, parent, rect, title.c_str(), style, exStyle, menu, param);
    if (!hwnd && menu)
        DestroyMenu(menu);
    return hwnd;
}

void CFrameWindowImplBase::UpdateLayout(bool resizeBars)
{
    RECT rect = {};
    GetClientRect(&rect);
    auto shown = [](HWND bar) {
        return bar && (::GetWindowLongPtrW(bar, GWL_STYLE) & WS_VISIBLE);
    };
    if (shown(m_hWndToolBar)) {
        if (resizeBars) {
            ::SendMessageW(m_hWndToolBar, WM_SIZE, 0, 0);
            ::InvalidateRect(m_hWndToolBar, nullptr, TRUE);
        }
        RECT bar = {};
        ::GetWindowRect(m_hWndToolBar, &bar);
        rect.top += bar.bottom - bar.top;
    }
    if (shown(m_hWndStatusBar)) {
        if (resizeBars)
            ::SendMessageW(m_hWndStatusBar, WM_SIZE, 0, 0);
        RECT bar = {};
        ::GetWindowRect(m_hWndStatusBar, &bar);
        rect.bottom -= bar.bottom - bar.top;
    }
    if (rect.bottom < rect.top)
        rect.bottom = rect.top;
    if (m_hWndClient)
        ::SetWindowPos(m_hWndClient, nullptr, rect.left, rect.top, rect.right - rect.left,
                       rect.bottom - rect.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL CFrameWindowImplBase::PreTranslateMessage(MSG *msg)
{
    return m_hAccel && ::TranslateAcceleratorW(m_hWnd, m_hAccel, msg);
}

HWND CFrameWindowImplBase::CreateSimpleToolBarCtrl(HWND parent, UINT resourceId, bool initialSeparator,
                                                   DWORD style, UINT id)
{
    HINSTANCE resources = Module().GetResourceInstance();
    ToolBarLayout layout;
    if (!LoadToolBarLayout(resources, resourceId, layout))
        return nullptr;

    HWND toolbar = CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr, style, 0, 0, 100, 100, parent,
                                   reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)),
                                   Module().GetModuleInstance(), nullptr);
    if (!toolbar)
        return nullptr;
    ::SendMessageW(toolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);

    int buttons = 0;
    for (WORD item : layout.items)
        buttons += item != 0;
    if (HIMAGELIST images = LoadToolBarImages(resources, resourceId, layout.width, layout.height, buttons)) {
        ::SendMessageW(toolbar, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images));
        SetWindowSubclass(toolbar, &ToolBarImagesProc, 0, 0);
    }

    std::vector<TBBUTTON> items;
    auto separator = [] {
        TBBUTTON b = {};
        b.fsStyle = BTNS_SEP;
        return b;
    };
    if (initialSeparator)
        items.push_back(separator());
    int image = 0;
    for (WORD item : layout.items) {
        if (item == 0) {
            items.push_back(separator());
            continue;
        }
        TBBUTTON b = {};
        b.iBitmap = image++;
        b.idCommand = item;
        b.fsState = TBSTATE_ENABLED;
        b.fsStyle = BTNS_BUTTON;
        items.push_back(b);
    }
    ::SendMessageW(toolbar, TB_SETBITMAPSIZE, 0, MAKELPARAM(layout.width, layout.height));
    // The system's usual margin around a button's image: 7 pixels in each direction.
    ::SendMessageW(toolbar, TB_SETBUTTONSIZE, 0, MAKELPARAM(layout.width + 7, layout.height + 7));
    ::SendMessageW(toolbar, TB_ADDBUTTONSW, items.size(), reinterpret_cast<LPARAM>(items.data()));
    ::SendMessageW(toolbar, TB_AUTOSIZE, 0, 0);
    return toolbar;
}

HWND CFrameWindowImplBase::CreateSimpleReBarCtrl(HWND parent, DWORD style, UINT id)
{
    HWND rebar = CreateWindowExW(WS_EX_TOOLWINDOW, REBARCLASSNAMEW, nullptr, style, 0, 0, 100, 100,
                                 parent, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)),
                                 Module().GetModuleInstance(), nullptr);
    if (!rebar)
        return nullptr;
    REBARINFO info = {};
    info.cbSize = sizeof(info);
    ::SendMessageW(rebar, RB_SETBARINFO, 0, reinterpret_cast<LPARAM>(&info));
    return rebar;
}

bool CFrameWindowImplBase::AddSimpleReBarBandCtrl(HWND rebar, HWND child, UINT bandId,
                                                  const wchar_t *title, bool newRow, int cx,
                                                  bool fullWidth)
{
    if (!rebar || !child)
        return false;
    SIZE extent = {0, 0};
    if (IsClass(child, TOOLBARCLASSNAMEW)) {
        extent = CToolBarCtrl(child).GetButtonsExtent();
    } else {
        RECT rect = {};
        ::GetWindowRect(child, &rect);
        extent.cx = rect.right - rect.left;
        extent.cy = rect.bottom - rect.top;
    }

    REBARBANDINFOW band = {};
    band.cbSize = sizeof(band);
    band.fMask = RBBIM_CHILD | RBBIM_CHILDSIZE | RBBIM_STYLE | RBBIM_ID | RBBIM_SIZE | RBBIM_IDEALSIZE;
    if (title)
        band.fMask |= RBBIM_TEXT;
    band.fStyle = RBBS_CHILDEDGE | RBBS_GRIPPERALWAYS | (newRow ? RBBS_BREAK : 0);
    band.lpText = const_cast<wchar_t *>(title);
    band.hwndChild = child;
    band.wID = bandId;
    band.cyMinChild = extent.cy;
    band.cxMinChild = fullWidth ? 0 : extent.cx;
    band.cx = cx ? cx : extent.cx;
    band.cxIdeal = extent.cx;
    return ::SendMessageW(rebar, RB_INSERTBANDW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&band)) != 0;
}

bool CFrameWindowImplBase::CreateSimpleReBar(DWORD style, UINT id)
{
    m_hWndToolBar = CreateSimpleReBarCtrl(m_hWnd, style, id);
    return m_hWndToolBar != nullptr;
}

bool CFrameWindowImplBase::AddSimpleReBarBand(HWND child, const wchar_t *title, bool newRow, int cx,
                                              bool fullWidth)
{
    UINT count = static_cast<UINT>(::SendMessageW(m_hWndToolBar, RB_GETBANDCOUNT, 0, 0));
    return AddSimpleReBarBandCtrl(m_hWndToolBar, child, IDW_BAND_FIRST + count, title, newRow,
                                  cx, fullWidth);
}

bool CFrameWindowImplBase::CreateSimpleStatusBar(const wchar_t *text, DWORD style, UINT id)
{
    m_hWndStatusBar = CreateStatusWindowW(static_cast<LONG>(style), text, m_hWnd, id);
    return m_hWndStatusBar != nullptr;
}

LRESULT CFrameWindowImplBase::OnDestroy(UINT, WPARAM, LPARAM, BOOL &handled)
{
    // The program's main window (top-level, no parent): its end is the end of the loop.
    if (!(GetStyle() & (WS_CHILD | WS_POPUP)) && !GetParent())
        ::PostQuitMessage(1);
    handled = FALSE;
    return 0;
}

LRESULT CFrameWindowImplBase::OnSize(UINT, WPARAM wParam, LPARAM, BOOL &handled)
{
    if (wParam != SIZE_MINIMIZED)
        UpdateLayout();
    handled = FALSE;
    return 0;
}

LRESULT CFrameWindowImplBase::OnEraseBackground(UINT, WPARAM, LPARAM, BOOL &handled)
{
    // The client and the bars cover everything: erasing would only flicker.
    if (m_hWndClient)
        return 1;
    handled = FALSE;
    return 0;
}

LRESULT CFrameWindowImplBase::OnSetFocus(UINT, WPARAM, LPARAM, BOOL &handled)
{
    if (m_hWndClient && ::IsWindow(m_hWndClient))
        ::SetFocus(m_hWndClient);
    handled = FALSE;
    return 0;
}

LRESULT CFrameWindowImplBase::OnMenuSelect(UINT, WPARAM wParam, LPARAM lParam, BOOL &handled)
{
    handled = FALSE;
    if (!m_hWndStatusBar)
        return 0;
    const UINT flags = HIWORD(wParam);
    if (flags == 0xFFFF && lParam == 0) {
        // The menu closed.
        ::SendMessageW(m_hWndStatusBar, SB_SIMPLE, FALSE, 0);
        return 0;
    }
    std::wstring prompt;
    if (!(flags & (MF_POPUP | MF_SEPARATOR | MF_SYSMENU)))
        prompt = LoadStrPart(LOWORD(wParam), 0);
    ::SendMessageW(m_hWndStatusBar, SB_SIMPLE, TRUE, 0);
    ::SendMessageW(m_hWndStatusBar, SB_SETTEXTW, SB_SIMPLEID | SBT_NOBORDERS,
                   reinterpret_cast<LPARAM>(prompt.c_str()));
    return 0;
}

LRESULT CFrameWindowImplBase::OnExitMenuLoop(UINT, WPARAM, LPARAM, BOOL &handled)
{
    if (m_hWndStatusBar)
        ::SendMessageW(m_hWndStatusBar, SB_SIMPLE, FALSE, 0);
    handled = FALSE;
    return 0;
}

LRESULT CFrameWindowImplBase::OnToolTipTextW(int, LPNMHDR header, BOOL &handled)
{
    auto *info = reinterpret_cast<NMTTDISPINFOW *>(header);
    if (info->uFlags & TTF_IDISHWND) {
        handled = FALSE;
        return 0;
    }
    m_tipText = LoadStrPart(static_cast<UINT>(header->idFrom), 1);
    info->hinst = nullptr;
    info->szText[0] = L'\0';
    info->lpszText = m_tipText.empty() ? info->szText : &m_tipText[0];
    return 0;
}

LRESULT CFrameWindowImplBase::OnToolTipTextA(int, LPNMHDR header, BOOL &handled)
{
    auto *info = reinterpret_cast<NMTTDISPINFOA *>(header);
    if (info->uFlags & TTF_IDISHWND) {
        handled = FALSE;
        return 0;
    }
    std::wstring tip = LoadStrPart(static_cast<UINT>(header->idFrom), 1);
    info->hinst = nullptr;
    info->lpszText = info->szText;
    int n = WideCharToMultiByte(CP_ACP, 0, tip.c_str(), -1, info->szText,
                                static_cast<int>(sizeof(info->szText)), nullptr, nullptr);
    if (n <= 0)
        info->szText[0] = '\0';
    info->szText[sizeof(info->szText) - 1] = '\0';
    return 0;
}

LRESULT CFrameWindowImplBase::OnReBarResized(int, LPNMHDR header, BOOL &handled)
{
    if (header->hwndFrom != m_hWndToolBar) {
        handled = FALSE;
        return 0;
    }
    UpdateLayout(false);
    return 0;
}

} // namespace ui
