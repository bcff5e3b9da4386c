// The collector's HTTP side: the upload API, the desk's JSON API and the web console,
// over one cpp-httplib server. Everything but the upload needs a login session or a
// bearer token.
#pragma once

#include <memory>
#include <string>

#include "collector/auth.h"
#include "collector/rate_limit.h"
#include "collector/store.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

struct CCollectorContext {
    CStore* store = nullptr;
    std::unique_ptr<CRateLimiter> uploads;
    CLoginThrottle logins;
    // The collector sits behind a proxy on this machine, which names the client in
    // X-Forwarded-For (set, not appended to, so a client cannot forge it).
    bool behindProxy = false;
};

// The client's address: the peer's, or behind a proxy on loopback the last address the
// proxy put in X-Forwarded-For.
std::string SourceAddress(const CCollectorContext& context, const httplib::Request& request);

// Who a request comes from, when it carries a valid session cookie or bearer token.
struct CCaller {
    bool known = false;
    std::string user;
    std::string csrf;  // the session's form token; empty for a bearer token
};
CCaller IdentifyCaller(CCollectorContext& context, const httplib::Request& request);

// The value of one cookie in the Cookie header, or "".
std::string CookieValue(const httplib::Request& request, const std::string& name);

// Answers a body with its media type and the headers every answer carries.
void Answer(httplib::Response& response, int status, const std::string& body,
            const char* mediaType);
void AnswerJson(httplib::Response& response, int status, const std::string& json);
// {"error": reason}
void AnswerError(httplib::Response& response, int status, const std::string& reason);

void RegisterApi(httplib::Server& server, CCollectorContext& context);
void RegisterConsole(httplib::Server& server, CCollectorContext& context);

// Serves until the process is stopped; false with *error when it cannot listen.
bool RunServer(CCollectorContext& context, const std::string& host, int port, std::string* error);

// The ?hours= of the fleet view: 1 to 720, 24 when absent or not a number.
int FleetHours(const std::string& text);
