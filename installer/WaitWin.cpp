#include "WaitWin.h"

#include <gdiplus.h>

namespace {

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

const wchar_t kWindowClass[] = L"PelkraneWaitWin";
constexpr int kWidth = 100;
constexpr int kHeight = 80;

ULONG_PTR g_gdiplusToken = 0;
HWND g_owner = nullptr;
HANDLE g_thread = nullptr;
HWND g_window = nullptr;
int g_step = 0;

// A kWidth x kHeight rectangle centred over window.
RECT CentredOver(HWND window)
{
    RECT r = {};
    GetWindowRect(window, &r);
    int dx = ((r.right - r.left) - kWidth) / 2;
    int dy = ((r.bottom - r.top) - kHeight) / 2;
    return RECT{r.left + dx, r.top + dy, r.right - dx, r.bottom - dy};
}

void Paint(HWND hwnd)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    GpGraphics *graphics = nullptr;
    if (GdipCreateFromHDC(dc, &graphics) == Ok) {
        GpSolidFill *background = nullptr;
        GdipCreateSolidFill(0xFFA9A9A9, &background);
        GdipFillRectangleI(graphics, reinterpret_cast<GpBrush *>(background), 0, 0, kWidth, kHeight);
        GdipDeleteBrush(reinterpret_cast<GpBrush *>(background));
        for (int i = 0; i < 8; ++i) {
            GdipResetWorldTransform(graphics);
            GdipTranslateWorldTransform(graphics, 50, 40, MatrixOrderPrepend);
            GdipRotateWorldTransform(graphics, static_cast<REAL>(((g_step & 7) + i) * 45), MatrixOrderPrepend);
            GpPath *path = nullptr;
            GdipCreatePath(FillModeAlternate, &path);
            GdipAddPathRectangleI(path, 10, -2, 10, 4);
            const ARGB colour = (0xFFu << 24) | (static_cast<ARGB>(i * 30) << 16) | (0xFFu << 8) |
                                static_cast<ARGB>(i * 2 + 240);
            GpPen *pen = nullptr;
            GdipCreatePen1(colour, 1, UnitWorld, &pen);
            GdipDrawPath(graphics, pen, path);
            GpSolidFill *brush = nullptr;
            GdipCreateSolidFill(colour, &brush);
            GdipFillPath(graphics, reinterpret_cast<GpBrush *>(brush), path);
            GdipDeletePen(pen);
            GdipDeletePath(path);
            GdipDeleteBrush(reinterpret_cast<GpBrush *>(brush));
        }
        GdipDeleteGraphics(graphics);
    }
    EndPaint(hwnd, &ps);
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_PAINT:
        Paint(hwnd);
        return 0;
    case WM_TIMER: {
        HWND parent = GetParent(hwnd);
        if (parent) {
            RECT r = CentredOver(parent);
            SetWindowPos(hwnd, nullptr, r.left, r.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
        ++g_step;
        RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        return 0;
    }
    default:
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

DWORD WINAPI ThreadProc(void *)
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kWindowClass;
    RegisterClassW(&wc);

    HWND window;
    if (g_owner && IsWindow(g_owner)) {
        RECT r = CentredOver(g_owner);
        window = CreateWindowExW(0, kWindowClass, nullptr, WS_POPUP | WS_DLGFRAME, r.left, r.top,
                                 r.right - r.left, r.bottom - r.top, g_owner, nullptr, wc.hInstance, nullptr);
    } else {
        window = CreateWindowExW(0, kWindowClass, nullptr, WS_POPUP | WS_VISIBLE | WS_DLGFRAME, 0, 0,
                                 kWidth, kHeight, nullptr, nullptr, wc.hInstance, nullptr);
    }
    g_window = window;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}

} // namespace

void StartWaitThread(HWND owner)
{
    if (g_thread)
        return;
    GdiplusStartupInput input;
    if (GdiplusStartup(&g_gdiplusToken, &input, nullptr) != Ok)
        return;
    g_owner = owner;
    g_thread = CreateThread(nullptr, 0, ThreadProc, nullptr, 0, nullptr);
}

HWND WaitWindow()
{
    return g_window;
}

int WaitStep()
{
    return g_step;
}
