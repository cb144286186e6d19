// Renaming the virtual port: the dialog offering the free names of the port's kind, and the
// rename of the port device (its PortName, a restart, its friendly name).
#pragma once

#include "controls.h"
#include "dialog.h"
#include "resource.h"

#include <setupapi.h>

#include <string>

class CChgPortDlg : public ui::CDialogImpl<CChgPortDlg>
{
public:
    enum { IDD = IDD_CHGPORT };

    BOOL ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                              LRESULT &result) override;

    void SetOldName(const std::wstring &name) { m_oldName = name; }
    const std::wstring &GetNewName() const { return m_newName; }

    // Adds to the list every name prefix1 .. prefix<count> that no value of the device map
    // key (under HKLM) names.
    void FillFreePortNames(const wchar_t *keyPath, const wchar_t *prefix, int count);

private:
    using Map = ui::MsgEntry<CChgPortDlg>;
    static const Map s_messageMap[];

    LRESULT OnInitDialog(UINT /*msg*/, WPARAM /*wParam*/, LPARAM /*lParam*/, BOOL & /*handled*/);
    LRESULT OnOK(WORD /*code*/, WORD /*id*/, HWND /*control*/, BOOL & /*handled*/);

    ui::CComboBox m_names;
    std::wstring m_oldName;
    std::wstring m_newName;
};

// Restarts a device after its settings changed (the setup library's property change). The
// seam lets tests stand in for it: Wine's implementation ends the process.
typedef BOOL (*ChangeStateFn)(HDEVINFO devices, SP_DEVINFO_DATA *device);
ChangeStateFn SetChangeStateFn(ChangeStateFn fn);

// Writes the new PortName into the port device's hardware key; a registry result code. The
// seam lets tests make the write fail, which the registry of a test prefix never does.
typedef LONG (*WritePortNameFn)(HKEY key, const std::wstring &name);
WritePortNameFn SetWritePortNameFn(WritePortNameFn fn);
