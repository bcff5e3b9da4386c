#include "app/tollvane_app.h"

#include <windows.h>
#include <commctrl.h>

#include "net/http_exchange_process.h"
#include "platform/system_dlls_win.h"
#include "app/path_chart_view.h"
#include "app/tollvane_dlg.h"

CTollvaneApp theApp;

bool CTollvaneApp::InitInstance() {
    INITCOMMONCONTROLSEX controls;
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_WIN95_CLASSES;  // includes the progress bar
    InitCommonControlsEx(&controls);
    RegisterPathChartClass(GetModuleHandleW(nullptr));  // named by the dialog's template
    CTollvaneDlg dialog;
    dialog.DoModal();
    if (dialog.LeftWorkerRunning()) {
        // The abandoned worker may still use the program's static data, which an
        // ordinary exit would destroy under it; end at once instead.
        TerminateProcess(GetCurrentProcess(), 0);
    }
    return false;
}

// The program's modes, by its command line:
//   (nothing)                            the dialog, as the user starts it;
//   --tollvane-http-exchange FIELDS...   one HTTP exchange of a running check, in a process
//                                        of its own (started by the check, never typed).
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    LimitDllSearchToSystemFolder();
    if (IsHttpExchangeProcess()) return RunHttpExchangeProcess();
    theApp.InitInstance();
    return 0;
}
