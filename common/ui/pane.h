// A pane container: a header line with a caption over one client window, which fills the
// rest. Notifications and commands of the client go on to the container's parent.
#pragma once

#include "window.h"

#include <string>

namespace ui {

class CPaneContainer : public CWindowImpl<CPaneContainer>
{
public:
    static WndClassInfo GetWndClassInfo()
    {
        return {nullptr, CS_DBLCLKS, reinterpret_cast<HBRUSH>(COLOR_3DFACE + 1), IDC_ARROW, 0};
    }

    HWND Create(HWND parent, const wchar_t *title,
                DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                DWORD exStyle = 0);

    // The client becomes a child of the container if it is not one yet.
    void SetClient(HWND client);
    HWND GetClient() const { return m_client; }
    void SetTitle(const wchar_t *title);
    std::wstring GetTitle() const { return m_title; }
    // Height of the caption line in pixels.
    int GetHeaderHeight() const;

    BOOL ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                              LRESULT &result) override;

private:
    LRESULT OnSize(UINT /*msg*/, WPARAM /*wParam*/, LPARAM /*lParam*/, BOOL & /*handled*/);
    LRESULT OnPaint(UINT /*msg*/, WPARAM /*wParam*/, LPARAM /*lParam*/, BOOL & /*handled*/);
    LRESULT OnSetFont(UINT /*msg*/, WPARAM wParam, LPARAM lParam, BOOL & /*handled*/);
    LRESULT OnGetFont(UINT /*msg*/, WPARAM /*wParam*/, LPARAM /*lParam*/, BOOL & /*handled*/);
    LRESULT OnSetFocus(UINT /*msg*/, WPARAM /*wParam*/, LPARAM /*lParam*/, BOOL & /*handled*/);
    LRESULT OnForward(UINT msg, WPARAM wParam, LPARAM lParam, BOOL & /*handled*/);

    void LayoutClient();
    RECT HeaderRect() const;

    using Map = MsgEntry<CPaneContainer>;
    static const Map s_messageMap[];

    HWND m_client = nullptr;
    std::wstring m_title;
    HFONT m_font = nullptr;   // not owned; the default GUI font unless one is set
};

} // namespace ui
