// Conversions between the program's byte strings and the UTF-16 text that the
// system's wide calls take. Used by Windows code only (backends and the dialog).
//
// Every GBK <-> UTF-16 conversion in the program goes through the pair below, so there
// is one place that says what becomes of text that does not convert exactly. The rule
// is chosen by the caller, in the open, because the program needs two answers:
// - what the user typed is refused when a character has no GBK form (it would otherwise
//   be guessed at, and a different domain tested);
// - text the system or a server hands over is shown whatever it holds, with a substitute
//   for what GBK cannot carry.
#pragma once

#include <string>

#include "platform/path_text.h"

enum class EGbkRule {
    // Fail (empty output) on a byte that is not a GBK character, or on a character with
    // no GBK form of its own.
    kRefuse,
    // Never fail on content: a bad byte becomes the system's replacement character; a
    // character without a GBK form becomes the system's look-alike where it has one,
    // else '?'.
    kReplaceLookAlike,
    // As kReplaceLookAlike, except that a character without a GBK form always becomes
    // '?' (never a look-alike that reads as other text).
    kReplaceQuestionMark,
};

// Report text (GBK, code page 936) to UTF-16 and back. False, with empty output, when
// the rule refuses the text or the system cannot convert it; empty input is converted.
bool GbkToUtf16(const std::string& gbk, EGbkRule rule, std::wstring* wide);
bool Utf16ToGbk(const std::wstring& wide, EGbkRule rule, std::string* gbk);
// The same for callers to whom a failure and empty text mean the same.
std::wstring GbkToUtf16(const std::string& gbk, EGbkRule rule);
std::string Utf16ToGbk(const std::wstring& wide, EGbkRule rule);

// A file path (path_text.h) for a wide call and back: the one way paths meet UTF-16.
// False, with empty output, for bytes that are no path of that form.
bool PathToWide(const CFilePath& path, std::wstring* wide);
std::wstring PathToWide(const CFilePath& path);
CFilePath WideToPath(const std::wstring& wide);

// UTF-8 text from outside (a certificate's names, JSON text) for a wide call and back.
// File paths never travel through here.
std::wstring Utf8ToWide(const std::string& utf8);
std::string WideToUtf8(const std::wstring& wide);
