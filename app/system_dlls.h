// Where the program's DLLs are loaded from.
#pragma once

// Limits every later DLL search, the program's delay-loaded imports and what the
// system's own DLLs load included, to the system folder. Called first thing, before
// anything has loaded a DLL that is not a known one.
void LimitDllSearchToSystemFolder();
