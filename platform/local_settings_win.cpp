#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <memory>

#include "platform/local_settings.h"
#include "platform/wide_text.h"

namespace {

CString Gbk(const wchar_t* text) {
    return CString(Utf16ToGbk(text ? text : L"", EGbkRule::kReplaceLookAlike));
}

// A string the system allocated for us.
struct CGlobalText {
    wchar_t* text = nullptr;
    ~CGlobalText() {
        if (text) GlobalFree(text);
    }
};

// The current user's WinINet settings for the default connection (the LAN settings).
void AddWinInetSettings(std::vector<CProxySetting>* settings) {
    INTERNET_PER_CONN_OPTIONW options[4] = {};
    options[0].dwOption = INTERNET_PER_CONN_FLAGS;
    options[1].dwOption = INTERNET_PER_CONN_PROXY_SERVER;
    options[2].dwOption = INTERNET_PER_CONN_PROXY_BYPASS;
    options[3].dwOption = INTERNET_PER_CONN_AUTOCONFIG_URL;
    INTERNET_PER_CONN_OPTION_LISTW list = {};
    list.dwSize = sizeof list;
    list.dwOptionCount = 4;
    list.pOptions = options;
    DWORD size = sizeof list;
    if (!InternetQueryOptionW(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &list, &size)) return;
    CGlobalText server{options[1].Value.pszValue};
    CGlobalText bypass{options[2].Value.pszValue};
    CGlobalText script{options[3].Value.pszValue};
    const DWORD flags = options[0].Value.dwValue;
    if ((flags & PROXY_TYPE_PROXY) && server.text && *server.text) {
        settings->push_back({"WinINet 手动代理", HideProxyPassword(Gbk(server.text))});
        if (bypass.text && *bypass.text)
            settings->push_back({"WinINet 不使用代理的地址", Gbk(bypass.text)});
    }
    if ((flags & PROXY_TYPE_AUTO_PROXY_URL) && script.text && *script.text)
        settings->push_back({"WinINet 自动配置脚本", Gbk(script.text)});
    if (flags & PROXY_TYPE_AUTO_DETECT) settings->push_back({"WinINet 自动检测设置", "已开启"});
}

// winhttp.h cannot be included beside wininet.h; its proxy record, as documented.
struct CWinHttpProxyInfo {
    DWORD accessType;
    wchar_t* proxy;
    wchar_t* bypass;
};
const DWORD kWinHttpNamedProxy = 3;
using GetDefaultProxyFunction = BOOL(WINAPI*)(CWinHttpProxyInfo*);

void AddWinHttpDefault(std::vector<CProxySetting>* settings) {
    HMODULE module = LoadLibraryExW(L"winhttp.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!module) return;
    const auto query = reinterpret_cast<GetDefaultProxyFunction>(
        reinterpret_cast<void*>(GetProcAddress(module, "WinHttpGetDefaultProxyConfiguration")));
    CWinHttpProxyInfo info = {};
    if (query && query(&info)) {
        CGlobalText proxy{info.proxy};
        CGlobalText bypass{info.bypass};
        if (info.accessType == kWinHttpNamedProxy && proxy.text && *proxy.text) {
            settings->push_back({"WinHTTP 默认代理", HideProxyPassword(Gbk(proxy.text))});
            if (bypass.text && *bypass.text)
                settings->push_back({"WinHTTP 不使用代理的地址", Gbk(bypass.text)});
        }
    }
    FreeLibrary(module);
}

}  // namespace

std::vector<CProxySetting> ReadProxySettings() {
    std::vector<CProxySetting> settings;
    AddWinInetSettings(&settings);
    AddWinHttpDefault(&settings);
    return settings;
}

CFilePath HostsFilePath() {
    wchar_t folder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return CFilePath();
    return WideToPath(std::wstring(folder) + L"\\drivers\\etc\\hosts");
}

CString HostsFilePathText() { return Gbk(PathToWide(HostsFilePath()).c_str()); }

bool ReadHostsFile(std::string* content, size_t maxBytes) {
    const CFilePath path = HostsFilePath();
    if (path.empty()) return false;
    struct CClose {
        void operator()(FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<FILE, CClose> file(_wfopen(PathToWide(path).c_str(), L"rb"));
    if (!file) return false;
    content->assign(maxBytes, '\0');
    content->resize(std::fread(&(*content)[0], 1, maxBytes, file.get()));
    return true;
}
