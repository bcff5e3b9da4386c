// The application object: starts the program and runs the main dialog.
#pragma once

class CTollvaneApp {
public:
    // Runs the whole program; false, as there is nothing left to do once the dialog closes.
    bool InitInstance();
};

extern CTollvaneApp theApp;
