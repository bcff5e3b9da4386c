// On Windows each HTTP exchange runs in a process of its own: the program that asks for
// it, started again with kHttpExchangeSwitch first on its command line and the exchange's
// fields after it. Every program that makes HTTP exchanges therefore has this mode, and
// its start (WinMain, main) chooses it before anything else:
//
//     if (IsHttpExchangeProcess()) return RunHttpExchangeProcess();
//
// Elsewhere exchanges run in the calling process: no process is ever started that way,
// and the check is always false.
#pragma once

extern const char kHttpExchangeSwitch[];  // "--tollvane-http-exchange"

// Whether this process was started to run one exchange: its first argument is the switch.
bool IsHttpExchangeProcess();

// Runs the exchange the command line names and ends the process with it; a command line
// that names no whole exchange ends it with status 2. Returns (2) only where exchanges
// have no process of their own.
int RunHttpExchangeProcess();
