// Where the program's DLLs are loaded from: the system folder only. The program and each
// exchange process it starts call LimitDllSearchToSystemFolder first thing; the delay-load
// hook defined beside it loads every delay-loaded DLL from there too.
#pragma once

// Limits every later DLL search, the program's delay-loaded imports and what the
// system's own DLLs load included, to the system folder. Called first thing, before
// anything has loaded a DLL that is not a known one.
void LimitDllSearchToSystemFolder();
