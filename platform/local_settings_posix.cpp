#include <fstream>

#include "platform/local_settings.h"

extern char** environ;

std::vector<CProxySetting> ReadProxySettings() {
    std::vector<std::string> environment;
    for (char** entry = environ; entry && *entry; ++entry) environment.emplace_back(*entry);
    return ProxyFromEnvironment(environment);
}

CFilePath HostsFilePath() { return "/etc/hosts"; }

CString HostsFilePathText() { return CString(HostsFilePath()); }

bool ReadHostsFile(std::string* content, size_t maxBytes) {
    std::ifstream in(HostsFilePath(), std::ios::binary);
    if (!in) return false;
    content->assign(maxBytes, '\0');
    in.read(&(*content)[0], static_cast<std::streamsize>(maxBytes));
    content->resize(static_cast<size_t>(in.gcount()));
    return true;
}
