// Logical device names: the Add New LDN dialog. A logical device name is a REG_SZ value of a
// class key whose data is the name of one of the class's device keys.
#pragma once

#include "controls.h"
#include "dialog.h"
#include "resource.h"

#include <string>

class CRegKeyEx;

// Longest logical device name the utility writes.
constexpr size_t kMaxLogicalNameChars = 16;

// The rule every path that writes a logical device name holds: leading and trailing blanks
// (spaces, tabs, ideographic spaces) are trimmed off name; true when 1 to
// kMaxLogicalNameChars characters are left.
bool TrimLogicalName(std::wstring &name);

// A logical device name of a class key, found without regard to letter case: its spelling in
// the key and the device key name it refers to (empty when the value is not text).
struct LogicalNameEntry
{
    std::wstring name;
    std::wstring device;
};
bool FindLogicalName(CRegKeyEx &classKey, const std::wstring &name, LogicalNameEntry &found);

class CAddLdnDlg : public ui::CDialogImpl<CAddLdnDlg>
{
public:
    enum { IDD = IDD_ADDLDN };

    // deviceClass and device preselect the lists; tree is the main frame's tree, whose items
    // give the devices of each class.
    CAddLdnDlg(const std::wstring &deviceClass, const std::wstring &device, HWND tree)
        : m_className(deviceClass), m_deviceName(device), m_tree(tree) {}

    BOOL ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                              LRESULT &result) override;

private:
    using Map = ui::MsgEntry<CAddLdnDlg>;
    static const Map s_messageMap[];

    LRESULT OnClassChanged(WORD /*code*/, WORD /*id*/, HWND /*control*/, BOOL & /*handled*/);
    LRESULT OnOK(WORD /*code*/, WORD /*id*/, HWND /*control*/, BOOL & /*handled*/);
    LRESULT OnInitDialog(UINT /*msg*/, WPARAM /*wParam*/, LPARAM /*lParam*/, BOOL & /*handled*/);

    std::wstring m_className;
    std::wstring m_deviceName;
    HWND m_tree;
    ui::CComboBox m_classes;
    ui::CComboBox m_devices;
    std::wstring m_logicalName;
};
