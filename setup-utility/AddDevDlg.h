// The Add New Device dialog and the device key writer: the user picks a model of the device
// catalogue, a port kind and, if wanted, a logical device name; OK makes the OPOS device key
// from the model's catalogue record.
//
// The device key (HKLM\SOFTWARE\OLEforRetail\ServiceOPOS\<class>\<model>) is what the service
// object reads: its default value is the service object's ProgID, `Service` the path of the
// registered service object, and every catalogue parameter of the chosen port kind (and of no
// kind) a value of its own, REG_DWORD for "dword" parameters and REG_SZ otherwise.
#pragma once

#include "catalogue.h"
#include "controls.h"
#include "dialog.h"
#include "resource.h"

#include <string>
#include <vector>

class CAddDevDlg : public ui::CDialogImpl<CAddDevDlg>
{
public:
    enum { IDD = IDD_ADDDEVICE };

    std::wstring m_class;   // set before the dialog runs

    BOOL ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                              LRESULT &result) override;

private:
    using Map = ui::MsgEntry<CAddDevDlg>;
    static const Map s_messageMap[];

    LRESULT OnModelChanged(WORD /*code*/, WORD /*id*/, HWND /*control*/, BOOL & /*handled*/);
    LRESULT WriteDeviceKey(WORD /*code*/, WORD /*id*/, HWND /*control*/, BOOL & /*handled*/);
    LRESULT LoadDeviceCatalog(UINT /*msg*/, WPARAM /*wParam*/, LPARAM /*lParam*/, BOOL & /*handled*/);

    // Writes the key of record for the chosen port kind; ERROR_SUCCESS or the failure of
    // creating the device key.
    LONG WriteKey(const CDeviceInfo &record, PortKind port);
    // Writes the logical device name typed (checked and trimmed) for the device key model;
    // false when it could not be written.
    bool WriteLogicalName(const std::wstring &model);

    std::vector<CDeviceInfo> m_catalogue;
    ui::CComboBox m_models;
    std::wstring m_description;
    ui::CComboBox m_ports;
    std::wstring m_logicalName;
};

// The registered path of the in-process server of a class id ("{...}"): the default value of
// HKCR\CLSID\<class id>\InprocServer32, or empty.
std::wstring GetServicePath(const wchar_t *classId);
