// Dialogs over dialog resources, modal and modeless, and the data exchange between a dialog's
// controls and the values of its model.
//
// A dialog class carries its template id as IDD and splits its work in three, so that the
// values live in a model object that tests can build without any window:
//   InitControls()  fills lists and limits (once, from WM_INITDIALOG);
//   InitValues()    puts the model's values into the controls (after InitControls);
//   StoreValues()   reads the controls back into the model when OK is pressed; false keeps the
//                   dialog open (it has told the user why and put the focus on the culprit).
// The base centres the dialog on its parent when it opens and ends it with IDOK (after
// StoreValues) or IDCANCEL.
#pragma once

#include "window.h"

#include <climits>
#include <string>

namespace ui {

class CDialogImplBase : public CWindowImplRoot
{
public:
    WNDPROC GetWindowProc() override { return nullptr; }
    ~CDialogImplBase() override;

    // Modal: ends the dialog's loop; modeless: destroys the dialog. result is what DoModal
    // answers (modeless: GetResult()).
    BOOL EndDialog(int result);
    bool IsModal() const { return m_modal; }

    // Map handlers for dialogs that route Cancel and the close box themselves: both end the
    // dialog with IDCANCEL.
    LRESULT OnEndCancel(WORD /*code*/, WORD /*id*/, HWND /*control*/, BOOL & /*handled*/)
    {
        EndDialog(IDCANCEL);
        return 0;
    }
    LRESULT OnCloseCancel(UINT /*msg*/, WPARAM /*wParam*/, LPARAM /*lParam*/, BOOL & /*handled*/)
    {
        EndDialog(IDCANCEL);
        return 0;
    }
    INT_PTR GetResult() const { return m_result; }
    LPARAM GetInitParam() const { return m_initParam; }

protected:
    INT_PTR DoModalImpl(UINT idd, HWND parent, LPARAM initParam);
    HWND CreateImpl(UINT idd, HWND parent, LPARAM initParam);

    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    // The dialog procedure's answer for a message that the map handled with result.
    static INT_PTR DialogResult(HWND hwnd, UINT msg, LRESULT result);
    static INT_PTR Route(CDialogImplBase *self, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

    bool m_modal = false;
    INT_PTR m_result = 0;
    LPARAM m_initParam = 0;
};

template <class T>
class CDialogImpl : public CDialogImplBase
{
public:
    // parent null: the active window of the thread.
    INT_PTR DoModal(HWND parent = nullptr, LPARAM initParam = 0)
    {
        return DoModalImpl(T::IDD, parent ? parent : ::GetActiveWindow(), initParam);
    }
    HWND Create(HWND parent, LPARAM initParam = 0) { return CreateImpl(T::IDD, parent, initParam); }

    BOOL ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                              LRESULT &result) override
    {
        using Map = MsgEntry<CDialogImpl>;
        static const Map map[] = {
            Map::Message(WM_INITDIALOG, &CDialogImpl::OnInitDialog),
            Map::Command(IDOK, &CDialogImpl::OnOK),
            Map::Command(IDCANCEL, &CDialogImpl::OnCancel),
        };
        return RouteMessage(this, map, hwnd, msg, wParam, lParam, result);
    }

    // The three steps; a dialog hides the ones it needs.
    void InitControls() {}
    void InitValues() {}
    bool StoreValues() { return true; }

private:
    LRESULT OnInitDialog(UINT /*msg*/, WPARAM /*wParam*/, LPARAM /*lParam*/, BOOL & /*handled*/)
    {
        CenterWindow(GetParent());
        T *self = static_cast<T *>(this);
        self->InitControls();
        self->InitValues();
        return TRUE;   // the system puts the focus on the first tab stop
    }
    LRESULT OnOK(WORD /*code*/, WORD /*id*/, HWND /*control*/, BOOL & /*handled*/)
    {
        if (static_cast<T *>(this)->StoreValues())
            EndDialog(IDOK);
        return 0;
    }
    LRESULT OnCancel(WORD /*code*/, WORD /*id*/, HWND /*control*/, BOOL & /*handled*/)
    {
        EndDialog(IDCANCEL);
        return 0;
    }
};

// --- Data exchange ------------------------------------------------------------------------------

// Moves values between a dialog's controls and variables, in one direction for all calls:
// save false puts the values into the controls, save true reads them back. On reading, the
// first value that does not parse or is out of range stops the exchange: later calls do
// nothing, Ok() turns false and FailedId() names the control (for the message and the focus).
//
//   ui::DataExchange dx(m_hWnd, true);
//   dx.Text(IDC_NAME, m_model.name).Int(IDC_PORT, m_model.port, 1, 256);
//   if (!dx.Ok()) { ...message...; dx.FocusFailed(); return false; }
class DataExchange
{
public:
    enum Failure { kNone, kNotANumber, kOutOfRange, kNoSelection, kNoControl };

    DataExchange(HWND dialog, bool save) : m_dialog(dialog), m_save(save) {}

    // An edit's or a static's text. maxLength > 0 also limits what an edit accepts.
    DataExchange &Text(int id, std::wstring &value, int maxLength = 0);
    // A decimal integer in [min, max]; surrounding blanks are allowed when reading.
    DataExchange &Int(int id, int &value, int min = INT_MIN, int max = INT_MAX);
    // A group of radio buttons: the first button's id, then the following ones in tab order up
    // to the next WS_GROUP. index: 0-based, -1 for none checked (reading fails on none).
    DataExchange &Radio(int firstId, int &index);
    DataExchange &Check(int id, bool &value);
    // A combo box's selection by position (-1: none; reading fails on none).
    DataExchange &ComboIndex(int id, int &index);
    // A combo box's selection by the item data of the entries (value tables).
    DataExchange &ComboData(int id, LPARAM &value);

    bool Ok() const { return m_failure == kNone; }
    Failure GetFailure() const { return m_failure; }
    int FailedId() const { return m_failedId; }
    // Puts the focus on the failed control (selecting an edit's text).
    void FocusFailed() const;

private:
    HWND Control(int id);
    void Fail(int id, Failure failure);
    bool Skip() const { return m_failure != kNone; }

    HWND m_dialog;
    bool m_save;
    Failure m_failure = kNone;
    int m_failedId = 0;
};

} // namespace ui
