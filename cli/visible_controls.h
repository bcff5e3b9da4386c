// Text from peers and commands, made safe to show on a terminal.
#pragma once

#include <string>

// Judges code points, after decoding, so no encoding of the terminal's can smuggle a
// control past it. Shown instead of acted on: C0 controls in caret form ("^[" for ESC,
// "^M" for a CR that ends no line), DEL as "^?", and as "<U+009B>" the C1 controls
// U+0080..U+009F and the marks that reorder what a reader sees (U+061C, U+200E/U+200F,
// U+202A..U+202E, U+2066..U+2069). Kept: TAB, LF and CR LF, the report's own line ends.
// A terminal then never acts on a sequence a peer sent (retitling, clearing the screen,
// writing the clipboard, overwriting a line, reversing one).
class CVisibleControls {
public:
    // A CR at the end of text is held back until what follows it shows whether it ends
    // a line.
    std::u32string Filter(const std::u32string& text);
    // Whatever was held back.
    std::u32string Flush();

private:
    bool m_heldCr = false;
};
