#include "platform/system_dlls_win.h"

#include <windows.h>
#include <delayimp.h>

#include <string>

namespace {

// Windows 7 has SetDefaultDllDirectories and LOAD_LIBRARY_SEARCH_SYSTEM32 only with an
// update installed, so the call is looked up rather than imported: an import the
// loader cannot find would keep the program from starting at all.
bool SetDefaultSearchToSystemFolder() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (!kernel) return false;
    const auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    return setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

// The system folder's copy of a DLL, by full path where the search flag is unknown.
HMODULE LoadFromSystemFolder(const char* name) {
    const std::wstring wide(name, name + std::char_traits<char>::length(name));
    HMODULE module = LoadLibraryExW(wide.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module || GetLastError() != ERROR_INVALID_PARAMETER) return module;
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    const std::wstring path = std::wstring(folder, length) + L"\\" + wide;
    return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// The delay-load helper's hook: it loads each delay-loaded DLL itself, from the
// system folder, instead of letting the helper search by bare name.
FARPROC WINAPI OnDelayLoadNotice(unsigned notice, PDelayLoadInfo info) {
    if (notice != dliNotePreLoadLibrary || !info || !info->szDll) return nullptr;
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(LoadFromSystemFolder(info->szDll)));
}

}  // namespace

// Read by MinGW's delay-load helper at every delay-loaded DLL's first call.
PfnDliHook __pfnDliNotifyHook2 = &OnDelayLoadNotice;  // declared with C linkage in delayimp.h

void LimitDllSearchToSystemFolder() {
    if (!SetDefaultSearchToSystemFolder()) {
        // At least the current folder, which save-as and the user change, leaves the search.
        SetDllDirectoryW(L"");
    }
}
