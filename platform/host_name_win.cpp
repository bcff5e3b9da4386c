#include <windows.h>

#include <string>

#include "platform/host_name.h"
#include "platform/wide_text.h"

namespace {

using IdnToAsciiFunction = int(WINAPI*)(DWORD, LPCWSTR, int, LPWSTR, int);

// Taken from the system folder only, never from the program's folder, where a file of
// that name could have been planted.
IdnToAsciiFunction LoadIdnToAscii() {
    HMODULE module = LoadLibraryExW(L"normaliz.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!module) return nullptr;
    return reinterpret_cast<IdnToAsciiFunction>(
        reinterpret_cast<void*>(GetProcAddress(module, "IdnToAscii")));
}

}  // namespace

CString HostNameToAscii(const CString& host) {
    if (IsAsciiText(host)) return host;
    static const IdnToAsciiFunction idnToAscii = LoadIdnToAscii();
    const std::wstring wide = GbkToUtf16(host.Bytes(), EGbkRule::kRefuse);
    if (!idnToAscii || wide.empty()) return CString();
    const int length = static_cast<int>(wide.size());
    const int units = idnToAscii(0, wide.data(), length, nullptr, 0);
    if (units <= 0) return CString();
    std::wstring ascii(static_cast<size_t>(units), L'\0');
    if (idnToAscii(0, wide.data(), length, &ascii[0], units) != units) return CString();
    // Every unit of an ASCII name is a single byte.
    return CString(std::string(ascii.begin(), ascii.end()));
}

CString HostNameForCommands(const CString& host) { return host; }
