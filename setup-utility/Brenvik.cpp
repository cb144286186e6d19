// Program entry: COM, common controls and module set-up around one run of the main frame.
#include "Brenvik.h"

#include "MainFrm.h"
#include "module.h"
#include "trace.h"

#include <commctrl.h>
#include <objbase.h>

int RunMainWindow(LPWSTR /*commandLine*/, int show)
{
    ui::CMessageLoop loop;
    ui::Module().AddMessageLoop(&loop);

    int result = 0;
    {
        // Destroyed at the end of this block, after its window: the loop ends when the window
        // is gone.
        CMainFrame frame;
        if (!frame.CreateEx()) {
            Trace(L"Main window creation failed!\n");
        } else {
            frame.ShowWindow(show);
            result = loop.Run();
        }
    }

    ui::Module().RemoveMessageLoop();
    return result;
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPWSTR commandLine, int show)
{
    // The tree and the dialogs talk to control objects and service objects in this apartment.
    HRESULT hrCom = CoInitialize(nullptr);
    if (FAILED(hrCom))
        Trace(L"CoInitialize failed: 0x%08lX\n", static_cast<unsigned long>(hrCom));

    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_COOL_CLASSES | ICC_BAR_CLASSES;
    InitCommonControlsEx(&controls);

    HRESULT hr = ui::Module().Init(instance);
    if (FAILED(hr))
        Trace(L"Module initialisation failed: 0x%08lX\n", static_cast<unsigned long>(hr));
    // No window of the program hosts an ActiveX control, so no control host window class is
    // registered.

    int result = RunMainWindow(commandLine, show);

    ui::Module().Term();
    if (SUCCEEDED(hrCom))
        CoUninitialize();
    return result;
}
