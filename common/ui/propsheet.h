// Property sheets: pages over dialog resources with the same three steps as dialogs
// (InitControls, InitValues when the page is first shown; StoreValues when the sheet applies),
// and the sheet that runs them modally.
#pragma once

#include "dialog.h"

#include <prsht.h>
#include <string>
#include <vector>

namespace ui {

class CPropertyPageBase : public CDialogImplBase
{
public:
    // The page's description for the sheet; valid while the object lives.
    const PROPSHEETPAGEW &GetPropSheetPage() const { return m_psp; }
    HWND GetPropertySheet() const { return ::GetParent(m_hWnd); }
    // Enables the sheet's Apply button.
    void SetModified(bool changed = true);

protected:
    CPropertyPageBase(UINT idd, const wchar_t *title);
    static INT_PTR CALLBACK PageProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

    PROPSHEETPAGEW m_psp;
    std::wstring m_title;
};

template <class T>
class CPropertyPageImpl : public CPropertyPageBase
{
public:
    explicit CPropertyPageImpl(const wchar_t *title = nullptr) : CPropertyPageBase(T::IDD, title) {}

    BOOL ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                              LRESULT &result) override
    {
        using Map = MsgEntry<CPropertyPageImpl>;
        static const Map map[] = {
            Map::Message(WM_INITDIALOG, &CPropertyPageImpl::OnInitDialog),
            Map::Notify(PSN_KILLACTIVE, &CPropertyPageImpl::OnKillActive),
            Map::Notify(PSN_APPLY, &CPropertyPageImpl::OnApply),
        };
        return RouteMessage(this, map, hwnd, msg, wParam, lParam, result);
    }

    void InitControls() {}
    void InitValues() {}
    bool StoreValues() { return true; }

private:
    LRESULT OnInitDialog(UINT /*msg*/, WPARAM /*wParam*/, LPARAM /*lParam*/, BOOL & /*handled*/)
    {
        T *self = static_cast<T *>(this);
        self->InitControls();
        self->InitValues();
        return TRUE;
    }
    // Leaving a page is always allowed: the values are checked when the sheet applies, where
    // a refusal brings the page back.
    LRESULT OnKillActive(int /*idCtrl*/, LPNMHDR /*header*/, BOOL & /*handled*/) { return FALSE; }
    LRESULT OnApply(int /*idCtrl*/, LPNMHDR /*header*/, BOOL & /*handled*/)
    {
        return static_cast<T *>(this)->StoreValues() ? PSNRET_NOERROR : PSNRET_INVALID_NOCHANGEPAGE;
    }
};

class CPropertySheet
{
public:
    // flags: further PSH_* flags (PSH_NOAPPLYNOW, ...).
    explicit CPropertySheet(const std::wstring &title, UINT startPage = 0, DWORD flags = 0)
        : m_title(title), m_startPage(startPage), m_flags(flags) {}

    // The page object must outlive DoModal.
    void AddPage(CPropertyPageBase &page) { m_pages.push_back(&page); }
    size_t GetPageCount() const { return m_pages.size(); }

    // IDOK when the sheet closed with OK, IDCANCEL when it was cancelled, -1 on failure.
    INT_PTR DoModal(HWND parent = nullptr);

private:
    std::wstring m_title;
    UINT m_startPage;
    DWORD m_flags;
    std::vector<CPropertyPageBase *> m_pages;
};

} // namespace ui
