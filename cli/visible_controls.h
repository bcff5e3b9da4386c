// Text from peers and commands, made safe to show on a terminal.
#pragma once

#include <string>

// Control characters other than TAB, LF and CR become visible text: C0 controls in
// caret form ("^[" for ESC), DEL as "^?", and, in UTF-8 text, the C1 controls
// U+0080..U+009F as "<U+009B>". A terminal then never acts on a sequence a peer sent
// (retitling, clearing the screen, writing the clipboard).
std::string MakeControlsVisible(const std::string& text, bool utf8);
