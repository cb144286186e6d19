#include "window.h"

#include "module.h"
#include "strings.h"

namespace ui {

namespace {

// The object behind each of our windows hangs on the window as this property.
const wchar_t kObjectProperty[] = L"SuiteUI.Object";

// The object whose window is being created on this thread: CreateWindowEx cannot pass it to
// the first messages (WM_GETMINMAXINFO precedes WM_NCCREATE), so the first message of a
// window of ours without an object claims it.
thread_local CWindowImplBase *t_creating = nullptr;

RECT WorkAreaOf(HWND hwnd)
{
    RECT area = {};
    MONITORINFO info = {};
    info.cbSize = sizeof(info);
    HMONITOR monitor = MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST);
    if (monitor && GetMonitorInfoW(monitor, &info))
        area = info.rcWork;
    else
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    return area;
}

} // namespace

// --- CWindow ------------------------------------------------------------------------------------

std::wstring CWindow::GetWindowText() const
{
    return GetWindowString(m_hWnd);
}

RECT CWindow::GetRectInParent() const
{
    RECT rect = {};
    ::GetWindowRect(m_hWnd, &rect);
    HWND parent = (GetStyle() & WS_CHILD) ? ::GetParent(m_hWnd) : nullptr;
    if (parent)
        ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT *>(&rect), 2);
    return rect;
}

BOOL CWindow::ModifyStyle(DWORD remove, DWORD add, UINT swpFlags)
{
    DWORD style = GetStyle();
    DWORD changed = (style & ~remove) | add;
    if (changed == style)
        return FALSE;
    ::SetWindowLongPtrW(m_hWnd, GWL_STYLE, static_cast<LONG_PTR>(changed));
    if (swpFlags)
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                       SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | swpFlags);
    return TRUE;
}

BOOL CWindow::CenterWindow(HWND centre)
{
    const bool child = (GetStyle() & WS_CHILD) != 0;
    if (!centre)
        centre = child ? ::GetParent(m_hWnd) : ::GetWindow(m_hWnd, GW_OWNER);

    RECT self = {};
    ::GetWindowRect(m_hWnd, &self);
    RECT area = {};       // the rectangle to stay inside
    RECT target = {};     // the rectangle to centre on
    if (child) {
        HWND parent = ::GetParent(m_hWnd);
        ::GetClientRect(parent, &area);
        if (centre == parent) {
            target = area;
        } else {
            ::GetWindowRect(centre, &target);
            ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT *>(&target), 2);
        }
        ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT *>(&self), 2);
    } else {
        area = WorkAreaOf(centre ? centre : m_hWnd);
        // A hidden or minimised window has no place on the screen worth centring on.
        if (centre && ::IsWindowVisible(centre) && !::IsIconic(centre))
            ::GetWindowRect(centre, &target);
        else
            target = area;
    }

    const int width = self.right - self.left;
    const int height = self.bottom - self.top;
    int left = (target.left + target.right) / 2 - width / 2;
    int top = (target.top + target.bottom) / 2 - height / 2;
    if (left + width > area.right)
        left = area.right - width;
    if (left < area.left)
        left = area.left;
    if (top + height > area.bottom)
        top = area.bottom - height;
    if (top < area.top)
        top = area.top;
    return ::SetWindowPos(m_hWnd, nullptr, left, top, 0, 0,
                          SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// --- CWindowImplRoot ----------------------------------------------------------------------------

BOOL CWindowImplRoot::ProcessWindowMessage(HWND, UINT, WPARAM, LPARAM, LRESULT &)
{
    return FALSE;
}

CWindowImplRoot::~CWindowImplRoot()
{
    DetachHandle();
}

void CWindowImplRoot::OnFinalMessage(HWND)
{
}

CWindowImplRoot *CWindowImplRoot::FromHandle(HWND hwnd)
{
    return hwnd ? static_cast<CWindowImplRoot *>(::GetPropW(hwnd, kObjectProperty)) : nullptr;
}

void CWindowImplRoot::AttachHandle(HWND hwnd)
{
    m_hWnd = hwnd;
    ::SetPropW(hwnd, kObjectProperty, this);
}

void CWindowImplRoot::DetachHandle()
{
    if (m_hWnd)
        ::RemovePropW(m_hWnd, kObjectProperty);
    m_hWnd = nullptr;
}

BOOL CWindowImplRoot::Dispatch(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT &result)
{
    MSG current = {};
    current.hwnd = hwnd;
    current.message = msg;
    current.wParam = wParam;
    current.lParam = lParam;
    const MSG *outer = m_currentMsg;
    m_currentMsg = &current;
    BOOL handled = ProcessWindowMessage(hwnd, msg, wParam, lParam, result);
    m_currentMsg = outer;
    return handled;
}

// --- CWindowImplBase ----------------------------------------------------------------------------

ATOM CWindowImplBase::RegisterWndClass(const WndClassInfo &info, const void *uniqueKey)
{
    HINSTANCE instance = Module().GetModuleInstance();
    std::wstring name = info.name ? std::wstring(info.name) : Format(L"SuiteUI:%p", uniqueKey);

    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.style = info.style;
    wc.lpfnWndProc = &WindowProc;
    wc.hInstance = instance;
    wc.hCursor = info.cursor ? LoadCursorW(nullptr, info.cursor) : nullptr;
    wc.hbrBackground = info.background;
    wc.lpszClassName = name.c_str();
    if (info.resourceId) {
        HINSTANCE resources = Module().GetResourceInstance();
        wc.hIcon = static_cast<HICON>(LoadImageW(resources, MAKEINTRESOURCEW(info.resourceId),
                                                 IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                                                 GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR));
        wc.hIconSm = static_cast<HICON>(LoadImageW(resources, MAKEINTRESOURCEW(info.resourceId),
                                                   IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                   GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    }
    ATOM atom = RegisterClassExW(&wc);
    if (!atom && GetLastError() == ERROR_CLASS_ALREADY_EXISTS) {
        // A named class registered by an earlier module instance of the same code: the
        // answer of GetClassInfoEx is the class atom.
        WNDCLASSEXW existing = {};
        existing.cbSize = sizeof(existing);
        atom = static_cast<ATOM>(GetClassInfoExW(instance, name.c_str(), &existing));
    }
    return atom;
}

HWND CWindowImplBase::CreateImpl(ATOM windowClass, HWND parent, const RECT *rect,
                                 const wchar_t *title, DWORD style, DWORD exStyle, HMENU menuOrId,
                                 void *param)
{
    if (!windowClass || m_hWnd)
        return nullptr;
    RECT place = {};
    if (rect) {
        place = *rect;
    } else if (!(style & WS_CHILD)) {
        place = {static_cast<LONG>(CW_USEDEFAULT), static_cast<LONG>(CW_USEDEFAULT), 0, 0};
    }
    const bool useDefault = !rect && !(style & WS_CHILD);
    CWindowImplBase *outer = t_creating;
    t_creating = this;
    HWND hwnd = CreateWindowExW(exStyle, MAKEINTATOM(windowClass), title, style,
                                place.left, place.top,
                                useDefault ? CW_USEDEFAULT : place.right - place.left,
                                useDefault ? CW_USEDEFAULT : place.bottom - place.top,
                                parent, menuOrId, Module().GetModuleInstance(), param);
    // Claimed by the first message, unless creation failed before any message was sent.
    t_creating = outer;
    return hwnd;
}

CWindowImplBase::~CWindowImplBase()
{
    if (m_hWnd && ::IsWindow(m_hWnd)) {
        HWND hwnd = m_hWnd;
        // The derived parts are gone: the remaining messages must not reach this object.
        DetachHandle();
        if (::GetWindowLongPtrW(hwnd, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&WindowProc))
            ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(
                m_superWindowProc ? m_superWindowProc : ::DefWindowProcW));
        ::DestroyWindow(hwnd);
    }
}

BOOL CWindowImplBase::SubclassWindow(HWND hwnd)
{
    if (m_hWnd || !::IsWindow(hwnd) || FromHandle(hwnd))
        return FALSE;
    AttachHandle(hwnd);
    m_superWindowProc = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WindowProc)));
    return TRUE;
}

HWND CWindowImplBase::UnsubclassWindow()
{
    HWND hwnd = m_hWnd;
    if (!hwnd || !m_superWindowProc)
        return nullptr;
    // Someone who subclassed after us would lose their procedure: refuse.
    if (::GetWindowLongPtrW(hwnd, GWLP_WNDPROC) != reinterpret_cast<LONG_PTR>(&WindowProc))
        return nullptr;
    ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_superWindowProc));
    m_superWindowProc = nullptr;
    DetachHandle();
    return hwnd;
}

LRESULT CWindowImplBase::DefWindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (m_superWindowProc)
        return ::CallWindowProcW(m_superWindowProc, m_hWnd, msg, wParam, lParam);
    return ::DefWindowProcW(m_hWnd, msg, wParam, lParam);
}

LRESULT CWindowImplBase::DefWindowProc()
{
    const MSG *msg = m_currentMsg;
    return msg ? DefWindowProc(msg->message, msg->wParam, msg->lParam) : 0;
}

LRESULT CALLBACK CWindowImplBase::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto *self = static_cast<CWindowImplBase *>(FromHandle(hwnd));
    if (!self) {
        self = t_creating;
        if (!self)
            return ::DefWindowProcW(hwnd, msg, wParam, lParam);
        t_creating = nullptr;
        self->AttachHandle(hwnd);
    }

    LRESULT result = 0;
    if (!self->Dispatch(hwnd, msg, wParam, lParam, result)) {
        // The object may have let go of the window inside its handler (UnsubclassWindow).
        if (self->m_hWnd == hwnd)
            result = self->DefWindowProc(msg, wParam, lParam);
        else if (::GetWindowLongPtrW(hwnd, GWLP_WNDPROC) != reinterpret_cast<LONG_PTR>(&WindowProc))
            result = ::CallWindowProcW(reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(hwnd, GWLP_WNDPROC)),
                                       hwnd, msg, wParam, lParam);
        else
            result = ::DefWindowProcW(hwnd, msg, wParam, lParam);
    }

    if (msg == WM_NCDESTROY && self->m_hWnd == hwnd) {
        if (self->m_superWindowProc &&
            ::GetWindowLongPtrW(hwnd, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&WindowProc))
            ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(self->m_superWindowProc));
        self->m_superWindowProc = nullptr;
        self->DetachHandle();
        self->OnFinalMessage(hwnd);
    }
    return result;
}

} // namespace ui
