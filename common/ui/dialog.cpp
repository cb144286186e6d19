#include "dialog.h"

#include "module.h"
#include "strings.h"

#include <cerrno>
#include <cwchar>
#include <cwctype>

namespace ui {

// --- Dialogs ------------------------------------------------------------------------------------

CDialogImplBase::~CDialogImplBase()
{
    // A modeless dialog still open when its object goes: close it without reaching the object.
    if (m_hWnd && ::IsWindow(m_hWnd)) {
        HWND hwnd = m_hWnd;
        DetachHandle();
        ::DestroyWindow(hwnd);
    }
}

INT_PTR CDialogImplBase::DoModalImpl(UINT idd, HWND parent, LPARAM initParam)
{
    if (m_hWnd)
        return -1;
    m_modal = true;
    m_initParam = initParam;
    m_result = DialogBoxParamW(Module().GetResourceInstance(), MAKEINTRESOURCEW(idd), parent,
                               &DialogProc, reinterpret_cast<LPARAM>(this));
    m_modal = false;
    return m_result;
}

HWND CDialogImplBase::CreateImpl(UINT idd, HWND parent, LPARAM initParam)
{
    if (m_hWnd)
        return nullptr;
    m_modal = false;
    m_initParam = initParam;
    m_result = 0;
    return CreateDialogParamW(Module().GetResourceInstance(), MAKEINTRESOURCEW(idd), parent,
                              &DialogProc, reinterpret_cast<LPARAM>(this));
}

BOOL CDialogImplBase::EndDialog(int result)
{
    m_result = result;
    if (m_modal)
        return ::EndDialog(m_hWnd, result);
    return ::DestroyWindow(m_hWnd);
}

INT_PTR CDialogImplBase::DialogResult(HWND hwnd, UINT msg, LRESULT result)
{
    switch (msg) {
    // These answer through the procedure's return value, not through DWLP_MSGRESULT.
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_INITDIALOG:
    case WM_QUERYDRAGICON:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
        return static_cast<INT_PTR>(result);
    default:
        if (::IsWindow(hwnd))
            ::SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, result);
        return TRUE;
    }
}

INT_PTR CDialogImplBase::Route(CDialogImplBase *self, HWND hwnd, UINT msg, WPARAM wParam,
                               LPARAM lParam)
{
    LRESULT result = 0;
    BOOL handled = self->Dispatch(hwnd, msg, wParam, lParam, result);
    if (msg == WM_NCDESTROY && self->m_hWnd == hwnd) {
        self->DetachHandle();
        self->OnFinalMessage(hwnd);
    }
    return handled ? DialogResult(hwnd, msg, result) : FALSE;
}

INT_PTR CALLBACK CDialogImplBase::DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto *self = static_cast<CDialogImplBase *>(FromHandle(hwnd));
    if (!self) {
        // Messages before WM_INITDIALOG (WM_SETFONT) get the default treatment.
        if (msg != WM_INITDIALOG || !lParam)
            return FALSE;
        self = reinterpret_cast<CDialogImplBase *>(lParam);
        self->AttachHandle(hwnd);
        lParam = self->m_initParam;
    }
    return Route(self, hwnd, msg, wParam, lParam);
}

// --- Data exchange ------------------------------------------------------------------------------

HWND DataExchange::Control(int id)
{
    HWND control = ::GetDlgItem(m_dialog, id);
    if (!control)
        Fail(id, kNoControl);
    return control;
}

void DataExchange::Fail(int id, Failure failure)
{
    if (m_failure == kNone) {
        m_failure = failure;
        m_failedId = id;
    }
}

DataExchange &DataExchange::Text(int id, std::wstring &value, int maxLength)
{
    HWND control = Skip() ? nullptr : Control(id);
    if (!control)
        return *this;
    if (m_save) {
        value = GetWindowString(control);
    } else {
        if (maxLength > 0)
            ::SendMessageW(control, EM_LIMITTEXT, static_cast<WPARAM>(maxLength), 0);
        ::SetWindowTextW(control, value.c_str());
    }
    return *this;
}

DataExchange &DataExchange::Int(int id, int &value, int min, int max)
{
    HWND control = Skip() ? nullptr : Control(id);
    if (!control)
        return *this;
    if (!m_save) {
        ::SetWindowTextW(control, std::to_wstring(value).c_str());
        return *this;
    }
    std::wstring text = GetWindowString(control);
    const wchar_t *p = text.c_str();
    while (iswspace(*p))
        ++p;
    wchar_t *end = nullptr;
    errno = 0;
    long long parsed = wcstoll(p, &end, 10);
    if (end == p) {
        Fail(id, kNotANumber);
        return *this;
    }
    while (iswspace(*end))
        ++end;
    if (*end != L'\0') {
        Fail(id, kNotANumber);
        return *this;
    }
    if (errno == ERANGE || parsed < min || parsed > max) {
        Fail(id, kOutOfRange);
        return *this;
    }
    value = static_cast<int>(parsed);
    return *this;
}

DataExchange &DataExchange::Radio(int firstId, int &index)
{
    HWND first = Skip() ? nullptr : Control(firstId);
    if (!first)
        return *this;
    int position = 0;
    int checked = -1;
    HWND button = first;
    do {
        const bool isRadio = (::SendMessageW(button, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON) != 0;
        if (isRadio) {
            if (m_save) {
                if (::SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED)
                    checked = position;
            } else {
                ::SendMessageW(button, BM_SETCHECK, position == index ? BST_CHECKED : BST_UNCHECKED, 0);
            }
            ++position;
        }
        button = ::GetWindow(button, GW_HWNDNEXT);
    } while (button && !(::GetWindowLongPtrW(button, GWL_STYLE) & WS_GROUP));
    if (m_save) {
        if (checked < 0)
            Fail(firstId, kNoSelection);
        else
            index = checked;
    }
    return *this;
}

DataExchange &DataExchange::Check(int id, bool &value)
{
    HWND control = Skip() ? nullptr : Control(id);
    if (!control)
        return *this;
    if (m_save)
        value = ::SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
    else
        ::SendMessageW(control, BM_SETCHECK, value ? BST_CHECKED : BST_UNCHECKED, 0);
    return *this;
}

DataExchange &DataExchange::ComboIndex(int id, int &index)
{
    HWND control = Skip() ? nullptr : Control(id);
    if (!control)
        return *this;
    if (!m_save) {
        ::SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        return *this;
    }
    LRESULT selected = ::SendMessageW(control, CB_GETCURSEL, 0, 0);
    if (selected == CB_ERR)
        Fail(id, kNoSelection);
    else
        index = static_cast<int>(selected);
    return *this;
}

DataExchange &DataExchange::ComboData(int id, LPARAM &value)
{
    HWND control = Skip() ? nullptr : Control(id);
    if (!control)
        return *this;
    if (!m_save) {
        LRESULT count = ::SendMessageW(control, CB_GETCOUNT, 0, 0);
        LRESULT found = CB_ERR;
        for (LRESULT i = 0; i < count && found == CB_ERR; ++i) {
            if (::SendMessageW(control, CB_GETITEMDATA, static_cast<WPARAM>(i), 0) == value)
                found = i;
        }
        ::SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(found), 0);
        return *this;
    }
    LRESULT selected = ::SendMessageW(control, CB_GETCURSEL, 0, 0);
    if (selected == CB_ERR)
        Fail(id, kNoSelection);
    else
        value = static_cast<LPARAM>(::SendMessageW(control, CB_GETITEMDATA, static_cast<WPARAM>(selected), 0));
    return *this;
}

void DataExchange::FocusFailed() const
{
    HWND control = m_failedId ? ::GetDlgItem(m_dialog, m_failedId) : nullptr;
    if (!control)
        return;
    // Through the dialog manager, so that the default button follows.
    ::SendMessageW(m_dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
    if (::SendMessageW(control, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL)
        ::SendMessageW(control, EM_SETSEL, 0, -1);
}

} // namespace ui
