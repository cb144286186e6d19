#include "propsheet.h"

#include "module.h"

#include <commctrl.h>

namespace ui {

CPropertyPageBase::CPropertyPageBase(UINT idd, const wchar_t *title) : m_psp(), m_title(title ? title : L"")
{
    m_psp.dwSize = sizeof(m_psp);
    m_psp.dwFlags = PSP_DEFAULT | (m_title.empty() ? 0 : PSP_USETITLE);
    m_psp.hInstance = Module().GetResourceInstance();
    m_psp.pszTemplate = MAKEINTRESOURCEW(idd);
    m_psp.pszTitle = m_title.empty() ? nullptr : m_title.c_str();
    m_psp.pfnDlgProc = &PageProc;
    m_psp.lParam = reinterpret_cast<LPARAM>(this);
}

void CPropertyPageBase::SetModified(bool changed)
{
    ::SendMessageW(GetPropertySheet(), changed ? PSM_CHANGED : PSM_UNCHANGED,
                   reinterpret_cast<WPARAM>(m_hWnd), 0);
}

INT_PTR CALLBACK CPropertyPageBase::PageProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto *self = static_cast<CPropertyPageBase *>(FromHandle(hwnd));
    if (!self) {
        // The page's WM_INITDIALOG carries the sheet's copy of the page description, whose
        // lParam is still the object.
        if (msg != WM_INITDIALOG || !lParam)
            return FALSE;
        self = reinterpret_cast<CPropertyPageBase *>(reinterpret_cast<PROPSHEETPAGEW *>(lParam)->lParam);
        self->AttachHandle(hwnd);
    }
    return Route(self, hwnd, msg, wParam, lParam);
}

INT_PTR CPropertySheet::DoModal(HWND parent)
{
    std::vector<HPROPSHEETPAGE> pages;
    for (CPropertyPageBase *page : m_pages) {
        HPROPSHEETPAGE created = CreatePropertySheetPageW(&page->GetPropSheetPage());
        if (!created) {
            for (HPROPSHEETPAGE p : pages)
                DestroyPropertySheetPage(p);
            return -1;
        }
        pages.push_back(created);
    }
    PROPSHEETHEADERW header = {};
    header.dwSize = sizeof(header);
    header.dwFlags = PSH_DEFAULT | m_flags;
    header.hwndParent = parent ? parent : ::GetActiveWindow();
    header.hInstance = Module().GetResourceInstance();
    header.pszCaption = m_title.c_str();
    header.nPages = static_cast<UINT>(pages.size());
    header.nStartPage = m_startPage < pages.size() ? m_startPage : 0;
    header.phpage = pages.data();
    // The sheet owns the pages from here on, also when it fails.
    INT_PTR result = PropertySheetW(&header);
    if (result == 0)
        return IDCANCEL;
    return result > 0 ? IDOK : -1;
}

} // namespace ui
