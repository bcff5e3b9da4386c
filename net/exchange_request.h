// What a process started to run one HTTP exchange is asked to do. Anyone can start the
// program that way, so the request is checked as if it came from outside, by the same
// rules the caller's side keeps.
#pragma once

#include <string>

#include "platform/mb_string.h"

struct CExchangeRequestText {
    std::string kind;  // "root", "https", "timed-http", "timed-https", "page" or "post"
    CString host;      // root, https and the timed ones: the host asked for
    CString url;       // page and post: the whole address
    CString accept;    // page: the media type asked for, or empty
    bool publicHttpsOnly = false;
};

// True when the request is one the program itself would make: a known kind; no control
// character in any value; for root, https and the timed ones a plain host name (IsPlainHostName) and
// nothing else; for a page a plain address (IsPlainPageAddress; https alone when
// publicHttpsOnly) and a plain media type; for a post the same address and no media type.
bool IsAcceptableExchange(const CExchangeRequestText& request);
