// The forms outside text takes on its way out of the collector: HTML (every report byte
// is a stranger's), and base64 for original report bytes kept in a text column that
// both databases store alike.
#pragma once

#include <string>
#include <string_view>

// & < > " ' as character references; bytes below 0x20 other than tab, CR and LF as U+FFFD,
// so neither markup nor a control character from a report reaches the page.
std::string HtmlEscape(std::string_view text);

// For a query parameter in a link ("?q=..."): everything but unreserved characters
// percent-encoded.
std::string UrlEncode(std::string_view text);

std::string Base64Encode(std::string_view bytes);
// False for text that is not base64.
bool Base64Decode(std::string_view text, std::string* bytes);
