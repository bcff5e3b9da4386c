// The upload API and the desk's JSON API.
#include <httplib.h>

#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "collector/report_intake.h"
#include "collector/server.h"
#include "collector/tickets.h"

namespace {

// How long an upload's answer waits for its COMMIT before telling the client to retry
// (with the same key, which then finds the report if it was stored after all).
constexpr std::chrono::seconds kCommitWait{30};
constexpr size_t kMaxKeyBytes = 200;

bool PlainKey(const std::string& key) {
    if (key.empty() || key.size() > kMaxKeyBytes) return false;
    for (char c : key)
        if (c < 0x21 || c > 0x7e) return false;
    return true;
}

std::string Dump(const nlohmann::json& json) {
    return json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string TicketJson(const std::string& ticket) { return Dump({{"ticket", ticket}}); }

void Upload(CCollectorContext& context, const httplib::Request& request,
            httplib::Response& response) {
    if (!context.uploads->Allow(SourceAddress(context, request))) {
        response.set_header("Retry-After", "60");
        return AnswerError(response, 429, "too many uploads from this address; try again later");
    }
    const bool hasKey = request.has_header("Idempotency-Key");
    const std::string key = request.get_header_value("Idempotency-Key");
    if (hasKey && !PlainKey(key))
        return AnswerError(response, 400, "Idempotency-Key must be 1 to 200 printable ASCII characters");
    if (hasKey) {
        const std::string earlier = context.store->TicketOfKey(key);
        if (!earlier.empty()) return AnswerJson(response, 200, TicketJson(earlier));
    }
    CReportIntake intake = ReadUploadedReport(request.body, request.get_header_value("Content-Type"));
    if (!intake.ok) return AnswerError(response, intake.status, intake.error);
    std::future<CUploadOutcome> done =
        context.store->Submit(std::move(intake), key, SourceAddress(context, request));
    if (done.wait_for(kCommitWait) != std::future_status::ready)
        return AnswerError(response, 503, "the report could not be stored in time; send it again");
    const CUploadOutcome outcome = done.get();
    if (!outcome.stored) {
        std::fprintf(stderr, "tollvane-collector: upload not stored: %s\n", outcome.error.c_str());
        return AnswerError(response, 503, "the report could not be stored; send it again");
    }
    AnswerJson(response, outcome.repeated ? 200 : 201, TicketJson(outcome.ticket));
}

nlohmann::json FindingsJsonOf(const std::vector<CIntakeFinding>& findings) {
    nlohmann::json list = nlohmann::json::array();
    static const char* const kSeverities[] = {"critical", "warning", "info"};
    for (const CIntakeFinding& f : findings)
        list.push_back({{"id", f.id}, {"severity", kSeverities[f.severity < 0 || f.severity > 2 ? 2 : f.severity]},
                        {"step", f.step}, {"text", f.text}});
    return list;
}

// The report model's JSON form as a value, null when the stored bytes no longer read.
nlohmann::json ModelOf(const std::string& original, bool json) {
    nlohmann::json model = nlohmann::json::parse(ReportModelJson(original, json), nullptr, false);
    return model.is_discarded() ? nlohmann::json() : model;
}

nlohmann::json ReportJson(const CStoredReport& report) {
    nlohmann::json rows = nlohmann::json::array();
    for (const CIntakePathRow& r : report.pathRows)
        rows.push_back({{"ttl", r.ttl}, {"address", r.address}, {"loss_percent", r.lossPercent},
                        {"average_ms", r.averageMs}, {"label", r.label}});
    const CReportSummary& s = report.summary;
    const bool json = report.contentType == "application/json";
    return {{"ticket", s.ticket}, {"received_at", s.receivedAt}, {"domain", s.domain},
            {"public_address", s.publicAddress}, {"region_label", s.regionLabel},
            {"findings", FindingsJsonOf(report.findings)}, {"path_rows", rows},
            {"path_loss_start", {{"address", report.lossHopAddress}, {"label", report.lossHopLabel}}},
            {"text", ReportTextUtf8(report.original, json)},
            {"report", ModelOf(report.original, json)}};
}

void GetReport(CCollectorContext& context, const httplib::Request& request,
               httplib::Response& response) {
    if (!IdentifyCaller(context, request).known) return AnswerError(response, 401, "log in or send a bearer token");
    std::string ticket;
    CStoredReport report;
    if (!NormalizeTicket(request.matches[1], &ticket) || !context.store->Load(ticket, &report))
        return AnswerError(response, 404, "no report has this ticket");
    AnswerJson(response, 200, Dump(ReportJson(report)));
}

void GetFleet(CCollectorContext& context, const httplib::Request& request,
              httplib::Response& response) {
    if (!IdentifyCaller(context, request).known) return AnswerError(response, 401, "log in or send a bearer token");
    const int hours = FleetHours(request.get_param_value("hours"));
    std::vector<CFleetCell> cells;
    std::vector<CFleetHop> hops;
    context.store->Fleet(hours, &cells, &hops);
    nlohmann::json counts = nlohmann::json::array(), lossHops = nlohmann::json::array();
    for (const CFleetCell& c : cells)
        counts.push_back({{"finding", c.findingId}, {"province", c.province},
                          {"carrier", c.carrier}, {"reports", c.reports}});
    for (const CFleetHop& h : hops)
        lossHops.push_back({{"address", h.address}, {"label", h.label}, {"reports", h.reports}});
    AnswerJson(response, 200, Dump({{"hours", hours}, {"counts", counts}, {"path_loss_hops", lossHops}}));
}

}  // namespace

int FleetHours(const std::string& text) {
    if (text.empty() || text.size() > 4) return 24;
    for (char c : text)
        if (c < '0' || c > '9') return 24;
    const int hours = std::stoi(text);
    return hours < 1 ? 1 : hours > 24 * 30 ? 24 * 30 : hours;
}

void RegisterApi(httplib::Server& server, CCollectorContext& context) {
    server.Post("/api/v1/reports", [&context](const httplib::Request& request, httplib::Response& response) {
        Upload(context, request, response);
    });
    server.Get(R"(/api/v1/reports/([^/]+))", [&context](const httplib::Request& request, httplib::Response& response) {
        GetReport(context, request, response);
    });
    server.Get("/api/v1/fleet", [&context](const httplib::Request& request, httplib::Response& response) {
        GetFleet(context, request, response);
    });
}
