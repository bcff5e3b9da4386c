// Texts a peer chose (addresses it links or redirects to) as they may appear in the report.
#pragma once

#include <string>

#include "platform/mb_string.h"

// The address with every byte that could end or rewrite a report line, hide where the
// address ends (controls, DEL, blanks) or join the report's GBK text (bytes past ASCII)
// written as %XX, as a URL writes them; printable ASCII as it is.
CString PeerUrlText(const CString& url);
std::string PeerUrlText(const std::string& url);

// A peer's text kept on its one report line: NUL, CR, LF, VT and FF, which end or
// overwrite a line in a viewer of the file, made blanks. Everything else stays as the
// peer sent it, as the rest of the report keeps it (the terminal front end shows control
// characters visibly; the window's edit control shows them as they are).
CString PeerLineText(const CString& text);
