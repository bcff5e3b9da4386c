// File paths as the program carries them: bytes in a std::string, free of any OS type.
//
// On POSIX a path is the bytes the system takes (a command line's argument as given).
// On Windows it is UTF-8, turned into UTF-16 at the system call, so a folder named in
// any language can be reached whatever the ANSI code page is. Windows names need not be
// well-formed UTF-16 (an unpaired surrogate is a legal file name character); such a unit
// travels as its three-byte form, so every name the system can hand out comes back to it
// unchanged. Report text stays GBK and never passes through here.
#pragma once

#include <string>

// A file path, as described above: the executable's folder, a shipped data file, a
// report's save path. Never GBK text, so never a CString: report text and paths do not
// mix, and each meets the system through its own converter.
using CFilePath = std::string;

// UTF-16 units (from the system) to the path bytes.
CFilePath Utf16ToPath(const std::u16string& units);

// Path bytes back to UTF-16 units; false when the bytes are not of the form
// Utf16ToPath produces (a stray byte, an overlong or out-of-range sequence).
bool PathToUtf16(const CFilePath& path, std::u16string* units);
