// tollvane-collector: the support desk's server. It takes uploaded reports, gives each a
// ticket, and serves the desk's web console and JSON API.
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "collector/server.h"
#include "collector/tickets.h"

namespace {

const char kUsage[] =
    "Usage: tollvane-collector [--listen ADDR:PORT] [--db sqlite:PATH | --db postgresql://...]\n"
    "                          [--rate N] [--behind-proxy]\n"
    "       tollvane-collector [--db ...] --add-user NAME   (password: one line on standard input)\n"
    "       tollvane-collector [--db ...] --add-token NAME  (prints a bearer token for NAME)\n"
    "Defaults: --listen 127.0.0.1:8080, --db sqlite:tollvane-collector.db, --rate 60 uploads\n"
    "a minute from one address (0: no limit). --behind-proxy: a proxy on this machine names\n"
    "the client in X-Forwarded-For.\n";

struct COptions {
    std::string listen = "127.0.0.1:8080";
    std::string db = "sqlite:tollvane-collector.db";
    std::string addUser, addToken;
    int rate = 60;
    bool behindProxy = false;
};

int UsageError(const char* message) {
    std::fprintf(stderr, "tollvane-collector: %s\n%s", message, kUsage);
    return 1;
}

bool ParseNumber(const char* text, int* value) {
    if (!*text || std::strlen(text) > 9) return false;
    for (const char* p = text; *p; ++p)
        if (*p < '0' || *p > '9') return false;
    *value = std::atoi(text);
    return true;
}

// 0 when the options are read; otherwise the exit status.
int ParseOptions(int argc, char** argv, COptions* options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return -1;
        }
        if (arg == "--behind-proxy") {
            options->behindProxy = true;
            continue;
        }
        const bool takesValue = arg == "--listen" || arg == "--db" || arg == "--add-user" ||
                                arg == "--add-token" || arg == "--rate";
        if (!takesValue) return UsageError(("unknown option " + arg).c_str());
        if (i + 1 >= argc) return UsageError(("missing value after " + arg).c_str());
        const char* value = argv[++i];
        if (arg == "--listen") options->listen = value;
        else if (arg == "--db") options->db = value;
        else if (arg == "--add-user") options->addUser = value;
        else if (arg == "--add-token") options->addToken = value;
        else if (!ParseNumber(value, &options->rate)) return UsageError("--rate needs a whole number");
    }
    return 0;
}

bool SplitListen(const std::string& listen, std::string* host, int* port) {
    const size_t colon = listen.rfind(':');
    if (colon == std::string::npos || colon == 0) return false;
    *host = listen.substr(0, colon);
    if (host->size() > 2 && host->front() == '[' && host->back() == ']')
        *host = host->substr(1, host->size() - 2);
    return ParseNumber(listen.c_str() + colon + 1, port) && *port > 0 && *port < 65536;
}

int AddUser(CStore& store, const std::string& name) {
    std::string password;
    if (!std::getline(std::cin, password)) password.clear();
    if (!password.empty() && password.back() == '\r') password.pop_back();
    if (password.empty()) return UsageError("--add-user reads the password, one line, from standard input");
    const std::string hash = HashPassword(password);
    if (hash.empty()) return UsageError("the password could not be hashed");
    store.SetUser(name, hash);
    std::printf("user %s set\n", name.c_str());
    return 0;
}

int AddToken(CStore& store, const std::string& name) {
    std::string hash;
    if (!store.UserHash(name, &hash)) return UsageError("no such user; add it first with --add-user");
    const std::string token = RandomHex(32);
    store.AddToken(Sha256Hex(token), name);
    std::printf("bearer token for %s (shown once):\n%s\n", name.c_str(), token.c_str());
    return 0;
}

int Run(const COptions& options) {
    std::string host, error;
    int port = 0;
    if (!SplitListen(options.listen, &host, &port)) return UsageError("--listen needs ADDR:PORT");
    if (!options.addUser.empty() && !options.addToken.empty())
        return UsageError("--add-user and --add-token go one at a time");
    std::unique_ptr<CStore> store = CStore::Open(options.db, &error);
    if (!store) {
        std::fprintf(stderr, "tollvane-collector: %s\n", error.c_str());
        return 1;
    }
    if (!options.addUser.empty()) return AddUser(*store, options.addUser);
    if (!options.addToken.empty()) return AddToken(*store, options.addToken);
    CCollectorContext context;
    context.store = store.get();
    context.uploads = std::make_unique<CRateLimiter>(options.rate);
    context.behindProxy = options.behindProxy;
    if (!RunServer(context, host, port, &error)) {
        std::fprintf(stderr, "tollvane-collector: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    COptions options;
    const int status = ParseOptions(argc, argv, &options);
    if (status != 0) return status < 0 ? 0 : status;
    try {
        return Run(options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tollvane-collector: %s\n", e.what());
        return 1;
    }
}
