// The web console's routes: login and logout, the report list with its search, one
// report, and the fleet view.
#include <httplib.h>

#include <thread>

#include "collector/console_pages.h"
#include "collector/server.h"
#include "collector/tickets.h"

namespace {

const char kHtml[] = "text/html; charset=utf-8";
constexpr long long kSessionSeconds = 12 * 3600;
constexpr size_t kListLimit = 100;
constexpr size_t kMaxQueryBytes = 256;

// Secure when the request came through a TLS-terminating proxy that says so; a collector
// reached directly over plain HTTP (loopback) could not set it back otherwise.
std::string CookieAttributes(const httplib::Request& request) {
    std::string attributes = "; Path=/; HttpOnly; SameSite=Strict";
    if (request.get_header_value("X-Forwarded-Proto") == "https") attributes += "; Secure";
    return attributes;
}

void Redirect(httplib::Response& response, const std::string& to) {
    response.status = 303;
    response.set_header("Location", to);
}

void ShowLogin(const httplib::Request& request, httplib::Response& response, int status,
               const std::string& message) {
    // The login form's token is matched against a cookie of its own, so another site
    // cannot log a browser in to an account of its choosing.
    const std::string csrf = RandomHex(16);
    response.set_header("Set-Cookie", "tv_login=" + csrf + CookieAttributes(request) + "; Max-Age=3600");
    Answer(response, status, ConsolePage(u8"Tollvane 客服控制台 登录", "", "", LoginBody(csrf, message)), kHtml);
}

void Login(CCollectorContext& context, const httplib::Request& request, httplib::Response& response) {
    const std::string source = SourceAddress(context, request);
    if (!context.logins.Allowed(source)) {
        response.set_header("Retry-After", "900");
        return ShowLogin(request, response, 429, u8"登录失败次数过多，请稍后再试。");
    }
    const std::string csrf = request.get_param_value("csrf");
    if (csrf.empty() || csrf != CookieValue(request, "tv_login"))
        return ShowLogin(request, response, 403, u8"表单已过期，请重新登录。");
    const std::string user = request.get_param_value("user");
    std::string hash;
    const bool known = context.store->UserHash(user, &hash);
    if (!known || !VerifyPassword(hash, request.get_param_value("password"))) {
        context.logins.Failed(source);
        std::this_thread::sleep_for(CLoginThrottle::kFailureDelay);
        return ShowLogin(request, response, 401, u8"用户名或密码不对。");
    }
    context.logins.Succeeded(source);
    const std::string session = RandomHex(32);
    context.store->AddSession(Sha256Hex(session), user, RandomHex(16), UnixNow() + kSessionSeconds);
    response.set_header("Set-Cookie", "tv_session=" + session + CookieAttributes(request) +
                                          "; Max-Age=" + std::to_string(kSessionSeconds));
    Redirect(response, "/");
}

void Logout(CCollectorContext& context, const httplib::Request& request, httplib::Response& response) {
    const CCaller caller = IdentifyCaller(context, request);
    if (!caller.known || caller.csrf.empty() || request.get_param_value("csrf") != caller.csrf)
        return AnswerError(response, 403, "the form's token does not match the session");
    context.store->DropSession(Sha256Hex(CookieValue(request, "tv_session")));
    response.set_header("Set-Cookie", "tv_session=" + CookieAttributes(request) + "; Max-Age=0");
    Redirect(response, "/login");
}

// Runs page with the caller when logged in; otherwise sends the browser to /login.
template <typename Page>
void WithLogin(CCollectorContext& context, const httplib::Request& request,
               httplib::Response& response, Page page) {
    const CCaller caller = IdentifyCaller(context, request);
    if (!caller.known) return Redirect(response, "/login");
    page(caller);
}

void ListPage(CCollectorContext& context, const httplib::Request& request, httplib::Response& response) {
    WithLogin(context, request, response, [&](const CCaller& caller) {
        std::string query = request.get_param_value("q");
        while (!query.empty() && query.back() == ' ') query.pop_back();
        while (!query.empty() && query.front() == ' ') query.erase(0, 1);
        if (query.size() > kMaxQueryBytes) query.resize(kMaxQueryBytes);
        const auto reports = context.store->List(query, kListLimit);
        Answer(response, 200, ConsolePage(u8"报告", caller.user, caller.csrf, ListBody(query, reports)), kHtml);
    });
}

void ReportPage(CCollectorContext& context, const httplib::Request& request, httplib::Response& response) {
    WithLogin(context, request, response, [&](const CCaller& caller) {
        std::string ticket;
        CStoredReport report;
        if (!NormalizeTicket(request.matches[1], &ticket) || !context.store->Load(ticket, &report))
            return Answer(response, 404, ConsolePage(u8"没有这个报告", caller.user, caller.csrf, ""), kHtml);
        Answer(response, 200,
               ConsolePage(u8"报告 " + ticket, caller.user, caller.csrf, ReportBody(report)), kHtml);
    });
}

void FleetPage(CCollectorContext& context, const httplib::Request& request, httplib::Response& response) {
    WithLogin(context, request, response, [&](const CCaller& caller) {
        const int hours = FleetHours(request.get_param_value("hours"));
        std::vector<CFleetCell> cells;
        std::vector<CFleetHop> hops;
        context.store->Fleet(hours, &cells, &hops);
        Answer(response, 200,
               ConsolePage(u8"全网视图", caller.user, caller.csrf, FleetBody(hours, cells, hops)), kHtml);
    });
}

}  // namespace

void RegisterConsole(httplib::Server& server, CCollectorContext& context) {
    using Request = const httplib::Request&;
    using Response = httplib::Response&;
    server.Get("/login", [](Request request, Response response) { ShowLogin(request, response, 200, ""); });
    server.Post("/login", [&context](Request request, Response response) { Login(context, request, response); });
    server.Post("/logout", [&context](Request request, Response response) { Logout(context, request, response); });
    server.Get("/", [&context](Request request, Response response) { ListPage(context, request, response); });
    server.Get(R"(/reports/([^/]+))", [&context](Request request, Response response) {
        ReportPage(context, request, response);
    });
    server.Get("/fleet", [&context](Request request, Response response) { FleetPage(context, request, response); });
}
