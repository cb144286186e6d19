// Thin wrappers over the common controls (they own nothing: the window owns the control) and
// RAII holders for the handles the UI code creates itself.
#pragma once

#include "window.h"

#include <commctrl.h>

#include <string>
#include <utility>

namespace ui {

// --- Holders ------------------------------------------------------------------------------------

template <class H, class Deleter>
class UniqueHandle
{
public:
    UniqueHandle() = default;
    explicit UniqueHandle(H handle) : m_h(handle) {}
    UniqueHandle(const UniqueHandle &) = delete;
    UniqueHandle &operator=(const UniqueHandle &) = delete;
    UniqueHandle(UniqueHandle &&other) noexcept : m_h(other.Detach()) {}
    UniqueHandle &operator=(UniqueHandle &&other) noexcept
    {
        if (this != &other)
            Reset(other.Detach());
        return *this;
    }
    ~UniqueHandle() { Reset(); }

    H Get() const { return m_h; }
    operator H() const { return m_h; }
    explicit operator bool() const { return m_h != nullptr; }
    H Detach() { H h = m_h; m_h = nullptr; return h; }
    void Reset(H handle = nullptr)
    {
        if (m_h && m_h != handle)
            Deleter()(m_h);
        m_h = handle;
    }

private:
    H m_h = nullptr;
};

struct MenuDeleter { void operator()(HMENU h) const { ::DestroyMenu(h); } };
struct ImageListDeleter { void operator()(HIMAGELIST h) const { ::ImageList_Destroy(h); } };
struct IconDeleter { void operator()(HICON h) const { ::DestroyIcon(h); } };
struct GdiDeleter { void operator()(HGDIOBJ h) const { ::DeleteObject(h); } };

using UniqueMenu = UniqueHandle<HMENU, MenuDeleter>;
using UniqueImageList = UniqueHandle<HIMAGELIST, ImageListDeleter>;
using UniqueIcon = UniqueHandle<HICON, IconDeleter>;
using UniqueBitmap = UniqueHandle<HBITMAP, GdiDeleter>;
using UniqueFont = UniqueHandle<HFONT, GdiDeleter>;

// --- Image list ---------------------------------------------------------------------------------

// An image list handle; owns nothing (a list view created without LVS_SHAREIMAGELISTS
// destroys its lists itself). UniqueImageList owns one.
class CImageList
{
public:
    HIMAGELIST m_hImageList = nullptr;

    CImageList(HIMAGELIST h = nullptr) : m_hImageList(h) {}
    operator HIMAGELIST() const { return m_hImageList; }

    bool Create(int cx, int cy, UINT flags, int initial, int grow)
    {
        m_hImageList = ::ImageList_Create(cx, cy, flags, initial, grow);
        return m_hImageList != nullptr;
    }
    int AddIcon(HICON icon) { return ::ImageList_AddIcon(m_hImageList, icon); }
    int AddMasked(HBITMAP bitmap, COLORREF mask) { return ::ImageList_AddMasked(m_hImageList, bitmap, mask); }
    int GetImageCount() const { return ::ImageList_GetImageCount(m_hImageList); }
    SIZE GetIconSize() const
    {
        int cx = 0, cy = 0;
        ::ImageList_GetIconSize(m_hImageList, &cx, &cy);
        return SIZE{cx, cy};
    }
    BOOL Draw(int index, HDC dc, int x, int y, UINT style) const
    {
        return ::ImageList_Draw(m_hImageList, index, dc, x, y, style);
    }
    HICON GetIcon(int index, UINT flags = ILD_TRANSPARENT) const
    {
        return ::ImageList_GetIcon(m_hImageList, index, flags);
    }
    BOOL Destroy()
    {
        BOOL done = ::ImageList_Destroy(m_hImageList);
        m_hImageList = nullptr;
        return done;
    }
};

// --- Controls -----------------------------------------------------------------------------------

class CButton : public CWindow
{
public:
    using CWindow::CWindow;
    int GetCheck() const { return static_cast<int>(SendMessage(BM_GETCHECK)); }
    void SetCheck(int check) { SendMessage(BM_SETCHECK, static_cast<WPARAM>(check)); }
};

class CEdit : public CWindow
{
public:
    using CWindow::CWindow;
    void LimitText(int chars) { SendMessage(EM_LIMITTEXT, static_cast<WPARAM>(chars)); }
    void SetSel(int start, int end) { SendMessage(EM_SETSEL, static_cast<WPARAM>(start), end); }
    void ReplaceSel(const wchar_t *text, bool canUndo = false)
    {
        SendMessage(EM_REPLACESEL, canUndo, reinterpret_cast<LPARAM>(text));
    }
    void SetReadOnly(bool readOnly = true) { SendMessage(EM_SETREADONLY, readOnly); }
};

class CComboBox : public CWindow
{
public:
    using CWindow::CWindow;
    int AddString(const wchar_t *text) { return static_cast<int>(SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text))); }
    int InsertString(int index, const wchar_t *text)
    {
        return static_cast<int>(SendMessage(CB_INSERTSTRING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text)));
    }
    int GetCount() const { return static_cast<int>(SendMessage(CB_GETCOUNT)); }
    int GetCurSel() const { return static_cast<int>(SendMessage(CB_GETCURSEL)); }
    int SetCurSel(int index) { return static_cast<int>(SendMessage(CB_SETCURSEL, static_cast<WPARAM>(index))); }
    LPARAM GetItemData(int index) const { return SendMessage(CB_GETITEMDATA, static_cast<WPARAM>(index)); }
    int SetItemData(int index, LPARAM data)
    {
        return static_cast<int>(SendMessage(CB_SETITEMDATA, static_cast<WPARAM>(index), data));
    }
    std::wstring GetLBText(int index) const;
    int FindStringExact(const wchar_t *text, int after = -1) const
    {
        return static_cast<int>(SendMessage(CB_FINDSTRINGEXACT, static_cast<WPARAM>(after), reinterpret_cast<LPARAM>(text)));
    }
    void ResetContent() { SendMessage(CB_RESETCONTENT); }
    // Adds text with data attached; the new item's index, or CB_ERR.
    int AddItem(const wchar_t *text, LPARAM data)
    {
        int index = AddString(text);
        if (index >= 0)
            SetItemData(index, data);
        return index;
    }
};

class CProgressBarCtrl : public CWindow
{
public:
    using CWindow::CWindow;
    void SetRange32(int low, int high) { SendMessage(PBM_SETRANGE32, static_cast<WPARAM>(low), high); }
    int SetPos(int pos) { return static_cast<int>(SendMessage(PBM_SETPOS, static_cast<WPARAM>(pos))); }
    int GetPos() const { return static_cast<int>(SendMessage(PBM_GETPOS)); }
    int SetStep(int step) { return static_cast<int>(SendMessage(PBM_SETSTEP, static_cast<WPARAM>(step))); }
    int StepIt() { return static_cast<int>(SendMessage(PBM_STEPIT)); }
};

class CTreeViewCtrl : public CWindow
{
public:
    using CWindow::CWindow;
    HTREEITEM InsertItem(const wchar_t *text, int image, int selectedImage, HTREEITEM parent,
                         HTREEITEM after = TVI_LAST, LPARAM data = 0);
    BOOL DeleteItem(HTREEITEM item) { return static_cast<BOOL>(SendMessage(TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(item))); }
    BOOL DeleteAllItems() { return DeleteItem(TVI_ROOT); }
    HTREEITEM GetNextItem(HTREEITEM item, UINT code) const
    {
        return reinterpret_cast<HTREEITEM>(SendMessage(TVM_GETNEXTITEM, code, reinterpret_cast<LPARAM>(item)));
    }
    HTREEITEM GetRootItem() const { return GetNextItem(nullptr, TVGN_ROOT); }
    HTREEITEM GetChildItem(HTREEITEM item) const { return GetNextItem(item, TVGN_CHILD); }
    HTREEITEM GetNextSiblingItem(HTREEITEM item) const { return GetNextItem(item, TVGN_NEXT); }
    HTREEITEM GetParentItem(HTREEITEM item) const { return GetNextItem(item, TVGN_PARENT); }
    HTREEITEM GetSelectedItem() const { return GetNextItem(nullptr, TVGN_CARET); }
    BOOL SelectItem(HTREEITEM item) { return static_cast<BOOL>(SendMessage(TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item))); }
    BOOL Expand(HTREEITEM item, UINT code = TVE_EXPAND)
    {
        return static_cast<BOOL>(SendMessage(TVM_EXPAND, code, reinterpret_cast<LPARAM>(item)));
    }
    std::wstring GetItemText(HTREEITEM item) const;
    LPARAM GetItemData(HTREEITEM item) const;
    UINT GetCount() const { return static_cast<UINT>(SendMessage(TVM_GETCOUNT)); }
    HIMAGELIST SetImageList(HIMAGELIST list, int which = TVSIL_NORMAL)
    {
        return reinterpret_cast<HIMAGELIST>(SendMessage(TVM_SETIMAGELIST, static_cast<WPARAM>(which), reinterpret_cast<LPARAM>(list)));
    }
    HIMAGELIST GetImageList(int which = TVSIL_NORMAL) const
    {
        return reinterpret_cast<HIMAGELIST>(SendMessage(TVM_GETIMAGELIST, static_cast<WPARAM>(which)));
    }
};

class CListViewCtrl : public CWindow
{
public:
    using CWindow::CWindow;
    int InsertColumn(int index, const wchar_t *heading, int format, int width);
    std::wstring GetColumnHeading(int index) const;
    int GetColumnWidth(int index) const { return static_cast<int>(SendMessage(LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(index))); }
    int GetColumnCount() const;
    int InsertItem(int index, const wchar_t *text, int image = 0, LPARAM data = 0);
    BOOL SetItemText(int item, int subItem, const wchar_t *text);
    std::wstring GetItemText(int item, int subItem) const;
    LPARAM GetItemData(int item) const;
    int GetItemCount() const { return static_cast<int>(SendMessage(LVM_GETITEMCOUNT)); }
    BOOL DeleteItem(int item) { return static_cast<BOOL>(SendMessage(LVM_DELETEITEM, static_cast<WPARAM>(item))); }
    BOOL DeleteAllItems() { return static_cast<BOOL>(SendMessage(LVM_DELETEALLITEMS)); }
    int GetNextItem(int start, UINT flags) const
    {
        return static_cast<int>(SendMessage(LVM_GETNEXTITEM, static_cast<WPARAM>(start), MAKELPARAM(flags, 0)));
    }
    int GetSelectedIndex() const { return GetNextItem(-1, LVNI_SELECTED); }
    BOOL SetItemState(int item, UINT state, UINT mask);
    HWND EditLabel(int item) { return reinterpret_cast<HWND>(SendMessage(LVM_EDITLABELW, static_cast<WPARAM>(item))); }
    HWND GetEditControl() const { return reinterpret_cast<HWND>(SendMessage(LVM_GETEDITCONTROL)); }
    HIMAGELIST SetImageList(HIMAGELIST list, int which)
    {
        return reinterpret_cast<HIMAGELIST>(SendMessage(LVM_SETIMAGELIST, static_cast<WPARAM>(which), reinterpret_cast<LPARAM>(list)));
    }
    HIMAGELIST GetImageList(int which) const
    {
        return reinterpret_cast<HIMAGELIST>(SendMessage(LVM_GETIMAGELIST, static_cast<WPARAM>(which)));
    }
    DWORD SetExtendedListViewStyle(DWORD style, DWORD mask = 0)
    {
        return static_cast<DWORD>(SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, mask, style));
    }
    DWORD GetExtendedListViewStyle() const { return static_cast<DWORD>(SendMessage(LVM_GETEXTENDEDLISTVIEWSTYLE)); }
    // One of LVS_ICON, LVS_SMALLICON, LVS_LIST, LVS_REPORT.
    DWORD GetViewType() const { return GetStyle() & LVS_TYPEMASK; }
    void SetViewType(DWORD type) { ModifyStyle(LVS_TYPEMASK, type & LVS_TYPEMASK); }
};

class CToolBarCtrl : public CWindow
{
public:
    using CWindow::CWindow;
    int GetButtonCount() const { return static_cast<int>(SendMessage(TB_BUTTONCOUNT)); }
    BOOL GetButton(int index, TBBUTTON *button) const
    {
        return static_cast<BOOL>(SendMessage(TB_GETBUTTON, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(button)));
    }
    BOOL EnableButton(int id, bool enable = true) { return static_cast<BOOL>(SendMessage(TB_ENABLEBUTTON, static_cast<WPARAM>(id), MAKELPARAM(enable, 0))); }
    BOOL CheckButton(int id, bool check = true) { return static_cast<BOOL>(SendMessage(TB_CHECKBUTTON, static_cast<WPARAM>(id), MAKELPARAM(check, 0))); }
    BOOL PressButton(int id, bool press = true) { return static_cast<BOOL>(SendMessage(TB_PRESSBUTTON, static_cast<WPARAM>(id), MAKELPARAM(press, 0))); }
    bool IsButtonEnabled(int id) const { return SendMessage(TB_ISBUTTONENABLED, static_cast<WPARAM>(id)) != 0; }
    bool IsButtonChecked(int id) const { return SendMessage(TB_ISBUTTONCHECKED, static_cast<WPARAM>(id)) != 0; }
    int CommandToIndex(int id) const { return static_cast<int>(SendMessage(TB_COMMANDTOINDEX, static_cast<WPARAM>(id))); }
    BOOL GetItemRect(int index, RECT *rect) const
    {
        return static_cast<BOOL>(SendMessage(TB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(rect)));
    }
    int HitTest(POINT point) const { return static_cast<int>(SendMessage(TB_HITTEST, 0, reinterpret_cast<LPARAM>(&point))); }
    int GetHotItem() const { return static_cast<int>(SendMessage(TB_GETHOTITEM)); }
    int SetHotItem(int index) { return static_cast<int>(SendMessage(TB_SETHOTITEM, static_cast<WPARAM>(index))); }
    HIMAGELIST SetImageList(HIMAGELIST list) { return reinterpret_cast<HIMAGELIST>(SendMessage(TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(list))); }
    HIMAGELIST GetImageList() const { return reinterpret_cast<HIMAGELIST>(SendMessage(TB_GETIMAGELIST)); }
    HWND GetToolTips() const { return reinterpret_cast<HWND>(SendMessage(TB_GETTOOLTIPS)); }
    // The bottom edge of the last button: the height the toolbar needs.
    SIZE GetButtonsExtent() const;
};

class CStatusBarCtrl : public CWindow
{
public:
    using CWindow::CWindow;
    BOOL SetText(int pane, const wchar_t *text, int type = 0)
    {
        return static_cast<BOOL>(SendMessage(SB_SETTEXTW, static_cast<WPARAM>(pane | type), reinterpret_cast<LPARAM>(text)));
    }
    std::wstring GetText(int pane) const;
    BOOL SetSimple(bool simple = true) { return static_cast<BOOL>(SendMessage(SB_SIMPLE, simple)); }
    bool IsSimple() const { return SendMessage(SB_ISSIMPLE) != 0; }
};

class CReBarCtrl : public CWindow
{
public:
    using CWindow::CWindow;
    UINT GetBandCount() const { return static_cast<UINT>(SendMessage(RB_GETBANDCOUNT)); }
    BOOL InsertBand(int index, REBARBANDINFOW *band)
    {
        return static_cast<BOOL>(SendMessage(RB_INSERTBANDW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(band)));
    }
    BOOL GetBandInfo(int index, REBARBANDINFOW *band) const
    {
        return static_cast<BOOL>(SendMessage(RB_GETBANDINFOW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(band)));
    }
    int IdToIndex(UINT id) const { return static_cast<int>(SendMessage(RB_IDTOINDEX, id)); }
    BOOL ShowBand(int index, bool show) { return static_cast<BOOL>(SendMessage(RB_SHOWBAND, static_cast<WPARAM>(index), show)); }
    // Whether band index is shown (not hidden with RB_SHOWBAND).
    bool IsBandVisible(int index) const;
};

// --- Menus --------------------------------------------------------------------------------------

// The text of a menu item by position, with the & marks and the tab part as stored.
std::wstring GetMenuItemString(HMENU menu, int position);

} // namespace ui
