#include "app/tollvane_app.h"

#include <windows.h>
#include <commctrl.h>

#include "app/tollvane_dlg.h"

CTollvaneApp theApp;

bool CTollvaneApp::InitInstance() {
    INITCOMMONCONTROLSEX controls;
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_WIN95_CLASSES;  // includes the progress bar
    InitCommonControlsEx(&controls);
    CTollvaneDlg dialog;
    dialog.DoModal();
    return false;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    theApp.InitInstance();
    return 0;
}
