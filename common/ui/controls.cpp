#include "controls.h"

#include <vector>

namespace ui {

std::wstring CComboBox::GetLBText(int index) const
{
    LRESULT length = SendMessage(CB_GETLBTEXTLEN, static_cast<WPARAM>(index));
    if (length == CB_ERR)
        return std::wstring();
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    LRESULT copied = SendMessage(CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&text[0]));
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}

HTREEITEM CTreeViewCtrl::InsertItem(const wchar_t *text, int image, int selectedImage,
                                    HTREEITEM parent, HTREEITEM after, LPARAM data)
{
    TVINSERTSTRUCTW insert = {};
    insert.hParent = parent;
    insert.hInsertAfter = after;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM;
    insert.item.pszText = const_cast<wchar_t *>(text);
    insert.item.iImage = image;
    insert.item.iSelectedImage = selectedImage;
    insert.item.lParam = data;
    return reinterpret_cast<HTREEITEM>(SendMessage(TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
}

std::wstring CTreeViewCtrl::GetItemText(HTREEITEM item) const
{
    // The control cannot tell the length: grow until the text no longer fills the buffer.
    for (size_t size = 128; size <= 65536; size *= 4) {
        std::vector<wchar_t> buffer(size, L'\0');
        TVITEMW tvi = {};
        tvi.mask = TVIF_TEXT;
        tvi.hItem = item;
        tvi.pszText = buffer.data();
        tvi.cchTextMax = static_cast<int>(size);
        if (!SendMessage(TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tvi)))
            return std::wstring();
        std::wstring text(tvi.pszText);
        if (text.size() + 1 < size)
            return text;
    }
    return std::wstring();
}

LPARAM CTreeViewCtrl::GetItemData(HTREEITEM item) const
{
    TVITEMW tvi = {};
    tvi.mask = TVIF_PARAM;
    tvi.hItem = item;
    return SendMessage(TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tvi)) ? tvi.lParam : 0;
}

int CListViewCtrl::InsertColumn(int index, const wchar_t *heading, int format, int width)
{
    LVCOLUMNW column = {};
    column.mask = LVCF_TEXT | LVCF_FMT | LVCF_WIDTH | LVCF_SUBITEM;
    column.fmt = format;
    column.cx = width;
    column.pszText = const_cast<wchar_t *>(heading);
    column.iSubItem = index;
    return static_cast<int>(SendMessage(LVM_INSERTCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column)));
}

std::wstring CListViewCtrl::GetColumnHeading(int index) const
{
    wchar_t buffer[260] = {};
    LVCOLUMNW column = {};
    column.mask = LVCF_TEXT;
    column.pszText = buffer;
    column.cchTextMax = 260;
    if (!SendMessage(LVM_GETCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column)))
        return std::wstring();
    return column.pszText;
}

int CListViewCtrl::GetColumnCount() const
{
    HWND header = reinterpret_cast<HWND>(SendMessage(LVM_GETHEADER));
    return header ? static_cast<int>(::SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
}

int CListViewCtrl::InsertItem(int index, const wchar_t *text, int image, LPARAM data)
{
    LVITEMW item = {};
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
    item.iItem = index;
    item.pszText = const_cast<wchar_t *>(text);
    item.iImage = image;
    item.lParam = data;
    return static_cast<int>(SendMessage(LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

BOOL CListViewCtrl::SetItemText(int item, int subItem, const wchar_t *text)
{
    LVITEMW lvi = {};
    lvi.iSubItem = subItem;
    lvi.pszText = const_cast<wchar_t *>(text);
    return static_cast<BOOL>(SendMessage(LVM_SETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&lvi)));
}

std::wstring CListViewCtrl::GetItemText(int item, int subItem) const
{
    for (size_t size = 128; size <= 65536; size *= 4) {
        std::vector<wchar_t> buffer(size, L'\0');
        LVITEMW lvi = {};
        lvi.iSubItem = subItem;
        lvi.pszText = buffer.data();
        lvi.cchTextMax = static_cast<int>(size);
        LRESULT length = SendMessage(LVM_GETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&lvi));
        if (length >= 0 && static_cast<size_t>(length) + 1 < size)
            return std::wstring(lvi.pszText, static_cast<size_t>(length));
    }
    return std::wstring();
}

LPARAM CListViewCtrl::GetItemData(int item) const
{
    LVITEMW lvi = {};
    lvi.mask = LVIF_PARAM;
    lvi.iItem = item;
    return SendMessage(LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&lvi)) ? lvi.lParam : 0;
}

BOOL CListViewCtrl::SetItemState(int item, UINT state, UINT mask)
{
    LVITEMW lvi = {};
    lvi.state = state;
    lvi.stateMask = mask;
    return static_cast<BOOL>(SendMessage(LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&lvi)));
}

SIZE CToolBarCtrl::GetButtonsExtent() const
{
    SIZE extent = {0, 0};
    int count = GetButtonCount();
    if (count > 0) {
        RECT rect = {};
        GetItemRect(count - 1, &rect);
        extent.cx = rect.right;
        extent.cy = rect.bottom;
    }
    return extent;
}

std::wstring CStatusBarCtrl::GetText(int pane) const
{
    LRESULT info = SendMessage(SB_GETTEXTLENGTHW, static_cast<WPARAM>(pane));
    std::wstring text(static_cast<size_t>(LOWORD(info)) + 1, L'\0');
    SendMessage(SB_GETTEXTW, static_cast<WPARAM>(pane), reinterpret_cast<LPARAM>(&text[0]));
    text.resize(LOWORD(info));
    return text;
}

bool CReBarCtrl::IsBandVisible(int index) const
{
    REBARBANDINFOW band = {};
    band.cbSize = sizeof(band);
    band.fMask = RBBIM_STYLE;
    return GetBandInfo(index, &band) && !(band.fStyle & RBBS_HIDDEN);
}

std::wstring GetMenuItemString(HMENU menu, int position)
{
    MENUITEMINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_STRING;
    if (!GetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &info))
        return std::wstring();
    std::wstring text(static_cast<size_t>(info.cch) + 1, L'\0');
    info.dwTypeData = &text[0];
    info.cch = static_cast<UINT>(text.size());
    if (!GetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &info))
        return std::wstring();
    text.resize(info.cch);
    return text;
}

} // namespace ui
