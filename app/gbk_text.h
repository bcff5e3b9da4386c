// The report is GBK bytes; the dialog's controls are Unicode windows, so the text is
// shown correctly whatever the system's ANSI code page is. Saving never reads the text
// back from a control (the report's bytes are kept beside it), yet the conversion goes
// both ways without loss, so that what a control shows can be checked against those
// bytes: a byte that is not part of a GBK character (stray bytes from a server's answer,
// a NUL, a lead byte cut off at the end) is shown as the lone surrogate U+DC00 + byte,
// which no GBK character ever becomes. Both directions, and the typed text below, go
// through the one GBK <-> UTF-16 converter (platform/wide_text.h).
#pragma once

#include <string>

#include "platform/mb_string.h"

// Report bytes to control text.
std::wstring GbkToWide(const CString& bytes);
// Control text back to the report bytes GbkToWide was given.
CString WideToGbk(const std::wstring& text);

// What the user typed, in GBK; false when a character has no GBK form (it is then
// neither guessed at nor replaced: EGbkRule::kRefuse).
bool TypedTextToGbk(const std::wstring& text, CString* bytes);
