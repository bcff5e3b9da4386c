#include "collector/server.h"

#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdio>
#include <nlohmann/json.hpp>

namespace {

constexpr size_t kMaxUploadBytes = 2u << 20;
// Connections held open at once: enough for many clients keeping their connection
// alive, bounded so that a flood of idle connections cannot take more.
constexpr size_t kWorkerThreads = 64;

const char kSessionCookie[] = "tv_session";

void InstallHandlers(httplib::Server& server) {
    // Nothing about the program's inside reaches an answer: no exception text, no path.
    server.set_exception_handler([](const httplib::Request&, httplib::Response& response,
                                    std::exception_ptr error) {
        try {
            if (error) std::rethrow_exception(error);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "tollvane-collector: request failed: %s\n", e.what());
        } catch (...) {
            std::fprintf(stderr, "tollvane-collector: request failed\n");
        }
        AnswerError(response, 500, "internal error");
    });
    server.set_error_handler([](const httplib::Request&, httplib::Response& response) {
        if (!response.body.empty()) return;
        const int status = response.status;
        AnswerError(response, status, status == 413 ? "the upload is larger than 2 MiB"
                                      : status == 404 ? "not found"
                                                      : "the request was refused");
    });
}

// The HTTP library listens with a backlog of five; thirty clients connecting at once then
// overflow it and the kernel drops connections the clients already think are open. A
// listening socket takes a new backlog from a second listen(), so the collector finds its
// own (by the port it bound) and widens it.
void WidenListenBacklog(int port) {
    for (int fd = 3; fd < 1024; ++fd) {
        int listening = 0;
        socklen_t length = sizeof listening;
        if (getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &length) != 0 || !listening)
            continue;
        sockaddr_storage address{};
        socklen_t size = sizeof address;
        if (getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) continue;
        const int bound = address.ss_family == AF_INET6
                              ? ntohs(reinterpret_cast<sockaddr_in6*>(&address)->sin6_port)
                              : ntohs(reinterpret_cast<sockaddr_in*>(&address)->sin_port);
        if (bound == port) listen(fd, SOMAXCONN);
    }
}

}  // namespace

std::string CookieValue(const httplib::Request& request, const std::string& name) {
    const std::string header = request.get_header_value("Cookie");
    size_t at = 0;
    while (at < header.size()) {
        const size_t end = std::min(header.find(';', at), header.size());
        std::string pair = header.substr(at, end - at);
        while (!pair.empty() && pair.front() == ' ') pair.erase(0, 1);
        if (pair.compare(0, name.size() + 1, name + "=") == 0) return pair.substr(name.size() + 1);
        at = end + 1;
    }
    return std::string();
}

std::string SourceAddress(const CCollectorContext& context, const httplib::Request& request) {
    const std::string& peer = request.remote_addr;
    const bool loopback = peer == "::1" || peer.compare(0, 4, "127.") == 0;
    const std::string forwarded = request.get_header_value("X-Forwarded-For");
    if (!context.behindProxy || !loopback || forwarded.empty()) return peer;
    std::string last = forwarded.substr(forwarded.rfind(',') == std::string::npos ? 0 : forwarded.rfind(',') + 1);
    while (!last.empty() && last.front() == ' ') last.erase(0, 1);
    while (!last.empty() && last.back() == ' ') last.pop_back();
    return last.empty() || last.size() > 64 ? peer : last;
}

CCaller IdentifyCaller(CCollectorContext& context, const httplib::Request& request) {
    CCaller caller;
    const std::string authorization = request.get_header_value("Authorization");
    if (authorization.compare(0, 7, "Bearer ") == 0) {
        caller.known = context.store->TokenUser(Sha256Hex(authorization.substr(7)), &caller.user);
        return caller;
    }
    const std::string session = CookieValue(request, kSessionCookie);
    if (!session.empty())
        caller.known = context.store->SessionOf(Sha256Hex(session), UnixNow(), &caller.user,
                                                &caller.csrf);
    return caller;
}

void Answer(httplib::Response& response, int status, const std::string& body,
            const char* mediaType) {
    response.status = status;
    response.set_header("X-Content-Type-Options", "nosniff");
    response.set_header("Referrer-Policy", "no-referrer");
    response.set_header("Cache-Control", "no-store");
    response.set_header("Content-Security-Policy",
                        "default-src 'none'; style-src 'unsafe-inline'; form-action 'self';"
                        " frame-ancestors 'none'");
    response.set_content(body, mediaType);
}

void AnswerJson(httplib::Response& response, int status, const std::string& json) {
    Answer(response, status, json, "application/json");
}

void AnswerError(httplib::Response& response, int status, const std::string& reason) {
    const nlohmann::json body = {{"error", reason}};
    AnswerJson(response, status, body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}

bool RunServer(CCollectorContext& context, const std::string& host, int port, std::string* error) {
    httplib::Server server;
    server.new_task_queue = [] { return new httplib::ThreadPool(kWorkerThreads); };
    server.set_payload_max_length(kMaxUploadBytes);
    server.set_read_timeout(30, 0);
    server.set_write_timeout(30, 0);
    server.set_keep_alive_max_count(1000);
    server.set_keep_alive_timeout(5);
    // An answer goes out in more than one write; without this, each waits for an ACK.
    server.set_tcp_nodelay(true);
    InstallHandlers(server);
    RegisterApi(server, context);
    RegisterConsole(server, context);
    if (!server.bind_to_port(host.c_str(), port)) {
        *error = "cannot listen on " + host + ":" + std::to_string(port);
        return false;
    }
    WidenListenBacklog(port);
    std::fprintf(stderr, "tollvane-collector: listening on %s:%d\n", host.c_str(), port);
    return server.listen_after_bind();
}
