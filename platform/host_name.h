// Host names as typed (GBK) and their forms for the network and for commands.
#pragma once

#include "platform/mb_string.h"

// The ASCII form of a host name: a name of ASCII bytes comes back unchanged; one with
// Chinese labels gets their "xn--" forms (IDNA 2008). Empty when the name is no valid
// international name.
CString HostNameToAscii(const CString& host);

// The form in which the system's own commands (ping, tracert) take a host name: on
// Windows the name as typed, since they take the ANSI code page and convert it
// themselves; elsewhere the ASCII form, or the name unchanged when it has none.
CString HostNameForCommands(const CString& host);

// True when every byte is ASCII.
bool IsAsciiText(const CString& text);
