#include "InstallDlgs.h"

#include "MainDlg.h"
#include "Pelkrane.h"
#include "archivereader.h"
#include "portsetup.h"
#include "tracemsg.h"

namespace {

// Any non-zero result will do: the progress dialog only tells 0 from the rest.
constexpr DWORD kInstallFailed = 1;
constexpr DWORD kNoWorker = 3;   // the progress dialog's result when no worker could start

void Progress(HWND window, LPARAM percent)
{
    PostMessageW(window, WM_INSTALL_PROGRESS, 1, percent);
}

} // namespace

// --- Port type ------------------------------------------------------------------------------------

const CPortDlg::Map CPortDlg::s_messageMap[] = {
    Map::Chain<ui::CDialogImpl<CPortDlg>>(),
};

BOOL CPortDlg::ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT &result)
{
    return ui::RouteMessage(this, s_messageMap, hwnd, msg, wParam, lParam, result);
}

void CPortDlg::InitValues()
{
    ui::DataExchange(m_hWnd, false).Radio(IDC_SERIAL, m_portType);
}

bool CPortDlg::StoreValues()
{
    ui::DataExchange dx(m_hWnd, true);
    dx.Radio(IDC_SERIAL, m_portType);
    return dx.Ok();
}

// --- Progress -------------------------------------------------------------------------------------

const CWaitDialog::Map CWaitDialog::s_messageMap[] = {
    Map::Message(WM_INSTALL_PROGRESS, &CWaitDialog::OnInstallProgress),
    Map::Message(WM_CLOSE, &CWaitDialog::OnClose),
    Map::Message(WM_INITDIALOG, &CWaitDialog::OnInitDialog),
    // Esc and the close command do nothing: the dialog ends with the worker.
    Map::Command(IDCANCEL, &CWaitDialog::OnIgnore),
    Map::Command(IDOK, &CWaitDialog::OnIgnore),
};

CWaitDialog::~CWaitDialog()
{
    if (m_thread) {
        WaitForSingleObject(m_thread, INFINITE);
        CloseHandle(m_thread);
    }
}

BOOL CWaitDialog::ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT &result)
{
    return ui::RouteMessage(this, s_messageMap, hwnd, msg, wParam, lParam, result);
}

LRESULT CWaitDialog::OnInitDialog(UINT, WPARAM, LPARAM, BOOL &)
{
    CenterWindow(GetParent());
    m_progress = GetDlgItem(IDC_PROGRESS);
    m_progress.SetRange32(0, 100);
    m_progress.SetPos(0);
    m_job->notify = m_hWnd;
    m_thread = CreateThread(nullptr, 0, InstallThreadProc, m_job, 0, nullptr);
    if (!m_thread)
        EndDialog(kNoWorker);
    return TRUE;
}

LRESULT CWaitDialog::OnInstallProgress(UINT, WPARAM wParam, LPARAM lParam, BOOL &)
{
    if (wParam) {
        m_progress.SetPos(static_cast<int>(lParam));
        return 0;
    }
    DWORD exitCode = 0xFFFFFFFF;
    if (m_thread) {
        WaitForSingleObject(m_thread, INFINITE);
        GetExitCodeThread(m_thread, &exitCode);
        CloseHandle(m_thread);
        m_thread = nullptr;
    }
    EndDialog(exitCode == 0 ? IDOK : IDCANCEL);
    return 0;
}

// --- The worker -----------------------------------------------------------------------------------

DWORD WINAPI InstallThreadProc(void *param)
{
    InstallParam *job = static_cast<InstallParam *>(param);
    CArchiveReader reader;
    reader.Open(job->data, job->size);
    std::wstring arch;
    GetArchName(arch);

    DWORD result = kInstallFailed;
    CWorkFolder work;
    // Without a work folder nothing is extracted: the package would land at the drive root.
    if (work.Create()) {
        // A package that did not come out whole installs nothing: the tool would install a
        // driver without the refused items.
        const bool whole = ExtractPackage(reader, work.Path(), {arch}, nullptr, [job](uint32_t index, uint32_t count) {
            Progress(job->notify, InstallProgress(index, count));
        });
        const std::wstring folder = work.Path() + L"\\" + arch;
        const std::wstring inf = folder + L"\\" + kInfName;
        if (whole && PatchInf(inf.c_str(), job->portType)) {
            DWORD exitCode = 0;
            if (RunTool(DevconInstallCommandLine(folder), folder, L"start to install\n", &exitCode)) {
                result = exitCode;
                Progress(job->notify, 80);
            }
            Sleep(10);
            Progress(job->notify, 90);
        }
        work.Remove();
    }
    Sleep(10);
    Progress(job->notify, 100);
    Sleep(10);
    PostMessageW(job->notify, WM_INSTALL_PROGRESS, 0, 0);
    reader.Close();
    return result;
}

// --- The buttons ----------------------------------------------------------------------------------

LRESULT CMainDlg::OnInstall(WORD, WORD, HWND, BOOL &)
{
    if (m_list.GetItemCount() > 0) {
        AppMessage(m_hWnd, IDS_PORT_EXISTS, MB_ICONEXCLAMATION);
        return 0;
    }
    CPortDlg portDialog;
    if (portDialog.DoModal(m_hWnd) != IDOK)
        return 0;
    InstallParam job = {};
    job.data = Package(&job.size);
    if (!job.data)
        return 0;
    CWaitCursor wait;
    job.portType = portDialog.GetPortType();
    CWaitDialog progress(&job);
    if (progress.DoModal(m_hWnd) == IDOK) {
        OnRefresh();
        AppMessage(m_hWnd, IDS_INSTALL_DONE, MB_ICONINFORMATION);
    } else {
        AppMessage(m_hWnd, IDS_INSTALL_FAILED, MB_ICONERROR);
    }
    return 0;
}

LRESULT CMainDlg::OnUninstall(WORD, WORD, HWND, BOOL &)
{
    CWaitCursor wait;
    if (m_list.GetSelectedIndex() < 0) {
        AppMessage(m_hWnd, IDS_SELECT_PORT, MB_ICONEXCLAMATION);
        return 0;
    }
    DWORD size = 0;
    const void *package = Package(&size);
    if (!package)
        return 0;
    CArchiveReader reader;
    reader.Open(package, size);
    std::wstring arch;
    GetArchName(arch);

    bool succeeded = false;
    CWorkFolder work;
    if (!work.Create()) {
        AppMessage(m_hWnd, IDS_UNINSTALL_FAILED, MB_ICONERROR);
        reader.Close();
        return 0;
    }
    // A tool item that was refused runs nothing, as a tool that cannot start.
    const bool whole = ExtractPackage(reader, work.Path(), {arch, kDevconName}, m_hWnd, nullptr);
    const std::wstring folder = work.Path() + L"\\" + arch;
    DWORD exitCode = 0;
    if (whole && RunTool(DevconRemoveCommandLine(folder), folder, L"start to uninstall\n", &exitCode)) {
        if (exitCode != 0)
            AppMessage(m_hWnd, IDS_UNINSTALL_FAILED, MB_ICONERROR);
        else
            succeeded = true;
        OnRefresh();
    } else {
        AppMessage(m_hWnd, IDS_UNINSTALL_FAILED, MB_ICONERROR);
    }
    work.Remove();
    if (succeeded)
        AppMessage(m_hWnd, IDS_UNINSTALL_DONE, MB_ICONINFORMATION);
    reader.Close();
    return 0;
}
