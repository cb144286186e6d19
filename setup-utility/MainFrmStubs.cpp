// Handlers of the main frame that belong to the device dialogs, the logical device names, the
// health check and the port settings. Each piece replaces its handlers here
// with the real ones; until then a command does nothing and reports itself handled.
#include "MainFrm.h"

// --- Adding a device ----------------------------------------------------------------------------

LRESULT CMainFrame::OnAddDevice(WORD, WORD, HWND, BOOL &)
{
    return 0;
}

// --- Logical device names -----------------------------------------------------------------------

LRESULT CMainFrame::DeleteLdn(WORD, WORD, HWND, BOOL &)
{
    return 0;
}

LRESULT CMainFrame::OnAddLdn(WORD, WORD, HWND, BOOL &)
{
    return 0;
}

LRESULT CMainFrame::OnRenameLdn(WORD, WORD, HWND, BOOL &)
{
    return 0;
}

LRESULT CMainFrame::RenameLdn(int, LPNMHDR, BOOL &)
{
    return 0;
}

LRESULT CMainFrame::OnBeginLabelEdit(int, LPNMHDR, BOOL &)
{
    return 0;
}

// --- Deleting a device, properties --------------------------------------------------------------

LRESULT CMainFrame::DeleteDevice(WORD, WORD, HWND, BOOL &)
{
    return 0;
}

LRESULT CMainFrame::OnProperty(WORD, WORD, HWND, BOOL &)
{
    return 0;
}

// --- Interactive health check -------------------------------------------------------------------

LRESULT CMainFrame::CheckHealthInteractive(WORD, WORD, HWND, BOOL &)
{
    return 0;
}

// --- Port settings and port range ---------------------------------------------------------------

LRESULT CMainFrame::OnCommSettings(WORD, WORD, HWND, BOOL &)
{
    return 0;
}

LRESULT CMainFrame::OnPortRange(WORD, WORD, HWND, BOOL &)
{
    return 0;
}
