// Texts a peer chose (addresses it links or redirects to) as they may appear in the report.
#pragma once

#include <string>

#include "platform/mb_string.h"

// The address with every byte that could end or rewrite a report line, hide where the
// address ends (controls, DEL, blanks) or join the report's GBK text (bytes past ASCII)
// written as %XX, as a URL writes them; printable ASCII as it is.
CString PeerUrlText(const CString& url);
std::string PeerUrlText(const std::string& url);

// A peer's text on one report line: every control character and DEL made a blank.
CString PeerLineText(const CString& text);
