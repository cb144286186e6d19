// Installing and removing the virtual port: the port type dialog, the progress dialog and the
// install worker that unpacks the package, switches its INF to the port type and lets the
// device console tool install it.
#pragma once

#include "controls.h"
#include "dialog.h"
#include "resource.h"

// Posted by the worker to the progress dialog: wParam 1 with lParam the percent done, or
// wParam 0 when it has finished.
#define WM_INSTALL_PROGRESS (WM_APP + 1)

// The job handed from the Install button through the progress dialog to the worker.
struct InstallParam
{
    const void *data;    // the package bytes (resource 103)
    DWORD size;
    int portType;        // 0 serial, 1 parallel
    HWND notify;         // the progress dialog, set before the worker starts
};

// The worker; its exit code is 0 when the port was installed.
DWORD WINAPI InstallThreadProc(void *job);

class CPortDlg : public ui::CDialogImpl<CPortDlg>
{
public:
    enum { IDD = IDD_PORTTYPE };

    BOOL ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                              LRESULT &result) override;

    void InitValues();
    bool StoreValues();
    int GetPortType() const { return m_portType; }

private:
    using Map = ui::MsgEntry<CPortDlg>;
    static const Map s_messageMap[];

    int m_portType = 0;
};

class CWaitDialog : public ui::CDialogImpl<CWaitDialog>
{
public:
    enum { IDD = IDD_WAIT };

    explicit CWaitDialog(InstallParam *job) : m_job(job) {}
    ~CWaitDialog() override;

    BOOL ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                              LRESULT &result) override;

private:
    using Map = ui::MsgEntry<CWaitDialog>;
    static const Map s_messageMap[];

    LRESULT OnInitDialog(UINT /*msg*/, WPARAM /*wParam*/, LPARAM /*lParam*/, BOOL & /*handled*/);
    LRESULT OnInstallProgress(UINT /*msg*/, WPARAM wParam, LPARAM lParam, BOOL & /*handled*/);
    LRESULT OnIgnore(WORD /*code*/, WORD /*id*/, HWND /*control*/, BOOL & /*handled*/) { return 0; }
    LRESULT OnClose(UINT /*msg*/, WPARAM /*wParam*/, LPARAM /*lParam*/, BOOL & /*handled*/) { return 0; }

    ui::CProgressBarCtrl m_progress;
    InstallParam *m_job;
    HANDLE m_thread = nullptr;
};
