// The Port range dialog: the highest COM and LPT port numbers that the Port Details dialog
// offers, for this run of the program only.
#pragma once

#include "dialog.h"
#include "resource.h"

class CPortRangeDlg : public ui::CDialogImpl<CPortRangeDlg>
{
public:
    enum { IDD = IDD_PORTRANGE };

    static constexpr LONG kDefaultMaxCom = 10;
    static constexpr LONG kDefaultMaxLpt = 3;

    CPortRangeDlg(LONG maxCom, LONG maxLpt) : m_maxCom(maxCom), m_maxLpt(maxLpt) {}

    BOOL ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                              LRESULT &result) override;

    // The accepted numbers after IDOK.
    LONG GetMaxCom() const { return m_maxCom; }
    LONG GetMaxLpt() const { return m_maxLpt; }

private:
    using Map = ui::MsgEntry<CPortRangeDlg>;
    static const Map s_messageMap[];

    LRESULT OnComDefault(WORD /*code*/, WORD /*id*/, HWND /*control*/, BOOL & /*handled*/);
    LRESULT OnLptDefault(WORD /*code*/, WORD /*id*/, HWND /*control*/, BOOL & /*handled*/);
    LRESULT OnOK(WORD /*code*/, WORD /*id*/, HWND /*control*/, BOOL & /*handled*/);
    LRESULT OnInitDialog(UINT /*msg*/, WPARAM /*wParam*/, LPARAM /*lParam*/, BOOL & /*handled*/);

    // Saving: reads both edits into the numbers; stops at the first edit that does not hold
    // an integer (its number becomes 0, a beep, the focus on it) and answers false.
    bool SaveNumbers();
    // The edit's number is within its up-down control's range; otherwise the message, the
    // focus on the edit, and false.
    bool CheckRange(int spinId, int editId);

    HWND m_comSpin = nullptr;
    HWND m_lptSpin = nullptr;
    LONG m_maxCom;
    LONG m_maxLpt;
};
