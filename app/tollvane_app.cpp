#include "app/tollvane_app.h"

#include <windows.h>
#include <commctrl.h>

#include "platform/system_dlls_win.h"
#include "app/tollvane_dlg.h"

CTollvaneApp theApp;

bool CTollvaneApp::InitInstance() {
    INITCOMMONCONTROLSEX controls;
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_WIN95_CLASSES;  // includes the progress bar
    InitCommonControlsEx(&controls);
    CTollvaneDlg dialog;
    dialog.DoModal();
    if (dialog.LeftWorkerRunning()) {
        // The abandoned worker may still use the program's static data, which an
        // ordinary exit would destroy under it; end at once instead.
        TerminateProcess(GetCurrentProcess(), 0);
    }
    return false;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    LimitDllSearchToSystemFolder();
    theApp.InitInstance();
    return 0;
}
