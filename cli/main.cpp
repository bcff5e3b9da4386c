// tollvane: the check run of the desktop tool, on a terminal.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cli/report_analysis.h"
#include "cli/report_upload_cli.h"
#include "cli/terminal_frontend.h"
#include "engine/check_run.h"
#include "engine/domain_input.h"
#include "engine/report_file_text.h"
#include "net/report_upload.h"
#include "engine/report_files.h"
#include "model/report_text.h"
#include "platform/net_startup.h"
#include "platform/text_encoding.h"
#include "platform/time_limits.h"
#include "privacy/redaction.h"
#include "probes/ip_labels.h"
#include "tollvane_version.h"

namespace {

const char kVersion[] = "tollvane " TOLLVANE_VERSION;

const char kUsage[] =
    "Usage: tollvane [options] DOMAIN\n"
    "Checks how this machine reaches DOMAIN: whois record, public address, local network\n"
    "configuration, DNS cache flush, TCP ports 21 and 80, ping, tracert and the web site.\n"
    "\n"
    "  -o FILE     also write the report to FILE, in the form its extension names: .txt or\n"
    "              none for GBK text (as the desktop tool saves it), .json for the JSON\n"
    "              report (tollvane-report/1), .html for a web page with the findings and\n"
    "              the route's chart; may be given more than once\n"
    "  --extended  add seven steps: DNS answers, HTTPS and its certificate, IPv6\n"
    "              connects, per-hop loss and latency of the route (about half a minute\n"
    "              more), the public addresses and DNS servers in use, proxy, hosts file\n"
    "              and VPN, the time each phase of a request to the site takes; the\n"
    "              report then ends with its findings\n"
    "  --redact    write the -o reports with MAC addresses, the computer's and the user's\n"
    "              names and the LAN's addresses replaced by placeholders (the public\n"
    "              address, the domain's addresses and public hops stay)\n"
    "  --path-rounds N  rounds of the route step, one a second, 10 to 300 (default 30)\n"
    "  -h, --help  show this help and exit\n"
    "  --version   show the version and exit\n"
    "\n"
    "       tollvane --analyze [--json] FILE...\n"
    "Reads saved reports and names what they show, one line per finding, most severe\n"
    "first (--json: one JSON document instead). Exit status 2 when a file could not be\n"
    "read as a report. A report saved as .json is read as well as one saved as text.\n"
    "\n"
    "       tollvane --convert [--redact] IN -o OUT\n"
    "Writes the saved report IN (text or JSON) to OUT in the form OUT's extension names,\n"
    "with --redact as above.\n"
    "\n"
    "       tollvane --upload URL FILE...\n"
    "       tollvane --upload URL [options] DOMAIN\n"
    "Sends saved reports (or, given a domain, the report of the run when it ends) to the\n"
    "support desk's collector at URL (https, or http to this machine) and prints each\n"
    "report's ticket: \"FILE: TICKET\". Exit status 2 when any was not uploaded.\n"
    "Reports are redacted before they are sent, as --redact does, and what was hidden is\n"
    "counted on standard error; a report that cannot be redacted is not sent.\n"
    "  --no-redact send the reports as they are\n";

struct CCommandLine {
    std::string domain;
    std::vector<std::string> reportPaths;
    std::string convertPath;
    bool convert = false;
    bool haveDomain = false;
    bool extended = false;
    bool analyze = false;
    bool json = false;
    bool redact = false;
    bool noRedact = false;  // uploads as they are
    std::vector<std::string> files;
    std::string uploadUrl;
    bool uploadFiles = false;  // the words are saved reports, not a domain
    int pathRounds = kPathRoundsDefault;
};

// The number after --path-rounds: digits only, within the step's bounds.
bool ParseRounds(const std::string& text, int* rounds) {
    if (text.empty() || text.size() > 3 || text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    *rounds = std::stoi(text);
    return *rounds >= kPathRoundsLeast && *rounds <= kPathRoundsMost;
}

void PrintVersion() {
    std::printf("%s\n", kVersion);
    const CString date = IpDatabaseDate();
    CGbkDecoder decoder;
    std::printf("ip2region %s\n", date.IsEmpty() ? "database not found" : decoder.Convert(date.GetString()).c_str());
}

// Exit status 2 with a message for a command line that cannot be run.
int UsageError(const std::string& message) {
    std::fprintf(stderr, "tollvane: %s\n%s", message.c_str(), kUsage);
    return 2;
}

bool IsRegularFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// The words that are not options: report files with --analyze, else the one domain.
int CheckPositionals(CCommandLine* line) {
    if (line->convert) {
        if (line->reportPaths.size() != 1 || !line->files.empty() || line->analyze)
            return UsageError("--convert takes one report and one -o file");
        return -1;
    }
    if (line->analyze) return line->files.empty() ? UsageError("--analyze needs at least one report file") : -1;
    if (line->json) return UsageError("--json goes with --analyze");
    if (line->noRedact && (line->uploadUrl.empty() || line->redact))
        return UsageError("--no-redact goes with --upload, and not with --redact");
    if (line->redact && line->reportPaths.empty() && line->uploadUrl.empty())
        return UsageError("--redact goes with -o FILE or --upload");
    if (!line->uploadUrl.empty()) {
        std::string why;
        if (!IsCollectorAddress(line->uploadUrl, &why)) return UsageError(why);
        // Words that all name files are reports to send; one that does not is a domain.
        bool allFiles = !line->files.empty();
        for (const std::string& file : line->files) allFiles = allFiles && IsRegularFile(file);
        line->uploadFiles = allFiles;
        if (allFiles) return -1;
    }
    if (line->files.size() > 1) return UsageError("only one domain can be checked at a time");
    if (line->files.empty()) return UsageError("no domain given");
    line->domain = line->files.front();
    line->haveDomain = true;
    return -1;
}

// Returns -1 to go on, or the exit status.
int ParseCommandLine(int argc, char** argv, CCommandLine* line) {
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!optionsEnded && (arg == "-h" || arg == "--help")) {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (!optionsEnded && arg == "--version") {
            PrintVersion();
            return 0;
        } else if (!optionsEnded && arg == "-o") {
            if (i + 1 >= argc) return UsageError("-o needs a file name");
            line->reportPaths.push_back(argv[++i]);
        } else if (!optionsEnded && arg == "--convert") {
            // "--convert --redact IN" as well as "--convert IN --redact".
            if (i + 1 < argc && std::string(argv[i + 1]) == "--redact") {
                line->redact = true;
                ++i;
            }
            if (i + 1 >= argc) return UsageError("--convert needs the report to read");
            line->convert = true;
            line->convertPath = argv[++i];
        } else if (!optionsEnded && arg == "--path-rounds") {
            if (i + 1 >= argc || !ParseRounds(argv[i + 1], &line->pathRounds)) {
                return UsageError("--path-rounds needs a number from 10 to 300");
            }
            ++i;
        } else if (!optionsEnded && arg == "--extended") {
            line->extended = true;
        } else if (!optionsEnded && arg == "--upload") {
            if (i + 1 >= argc) return UsageError("--upload needs the collector's address");
            line->uploadUrl = argv[++i];
        } else if (!optionsEnded && arg == "--analyze") {
            line->analyze = true;
        } else if (!optionsEnded && arg == "--json") {
            line->json = true;
        } else if (!optionsEnded && arg == "--redact") {
            line->redact = true;
        } else if (!optionsEnded && arg == "--no-redact") {
            line->noRedact = true;
        } else if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            return UsageError("unknown option " + arg);
        } else {
            line->files.push_back(arg);
        }
    }
    return CheckPositionals(line);
}

void PrintGbkLine(std::FILE* stream, const char* gbk) {
    CGbkDecoder decoder;
    std::fprintf(stream, "%s\n", decoder.Convert(gbk).c_str());
}

// The records redacted, what was hidden told on standard error; false, with the reason
// told there, when the report cannot be redacted whole (nothing is then written).
bool RedactForSaving(CReport* report) {
    CRedactedReport redacted;
    std::string error;
    if (!RedactReport(*report, &redacted, &error)) {
        PrintGbkLine(stderr, ("tollvane: " + error).c_str());
        return false;
    }
    *report = std::move(redacted.report);
    PrintGbkLine(stderr, RedactionCountsLine(redacted.counts).c_str());
    return true;
}

// Every -o names a form this program writes; refused before the run, not after it.
bool ReportPathsWritable(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        EReportFormat format = EReportFormat::kText;
        CString error;
        if (!ReportFormatOfPath(path, &format, &error)) {
            PrintGbkLine(stderr, (CString("tollvane: ") + error).GetString());
            return false;
        }
    }
    return true;
}

// --convert --redact: the saved report read, redacted, and written in the -o form.
bool ConvertRedacted(const CCommandLine& line, CString* error) {
    std::string bytes;
    CReport report;
    if (!ReadReportFile(line.convertPath, &bytes, error) || !ReadReportBytes(bytes, &report, error))
        return false;
    if (!RedactForSaving(&report)) return false;
    return SaveReportAs(line.reportPaths.front(), report, error);
}

int ConvertReport(const CCommandLine& line) {
    CString error;
    if (line.redact ? ConvertRedacted(line, &error)
                    : ConvertReportFile(line.convertPath, line.reportPaths.front(), &error))
        return 0;
    if (!error.IsEmpty()) PrintGbkLine(stderr, (CString("tollvane: ") + error).GetString());
    return 1;
}

// The run's report to every -o file, each in its own form, all from the same records:
// the run's own, or, when it ended early, those read back from its text.
int SaveReports(const CCommandLine& line, const CString& domain, CTerminalFrontEnd* frontEnd) {
    CReport report;
    if (!frontEnd->Records(&report)) report = ReadReportText(frontEnd->Report().Snapshot().Bytes());
    report.version = TOLLVANE_VERSION;
    report.domain = domain.Bytes();
    if (line.redact && !line.reportPaths.empty() && !RedactForSaving(&report)) return 1;
    int status = 0;
    for (const std::string& path : line.reportPaths) {
        CString error;
        if (!SaveReportAs(path, report, &error)) {
            PrintGbkLine(stderr, (CString("tollvane: ") + error).GetString());
            status = 1;
        }
    }
    return status;
}

// Blocked in every thread (the worker inherits the mask), so they are only ever taken
// by the waits below.
sigset_t BlockInterrupts() {
    sigset_t interrupts;
    sigemptyset(&interrupts);
    sigaddset(&interrupts, SIGINT);
    sigaddset(&interrupts, SIGTERM);
    sigaddset(&interrupts, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &interrupts, nullptr);
    return interrupts;
}

// Waits up to sliceMs for one of the signals; returns it, or 0.
int WaitForSignal(const sigset_t& signals, int sliceMs) {
    const timespec slice{sliceMs / 1000, (sliceMs % 1000) * 1000L * 1000L};
    const int caught = sigtimedwait(&signals, nullptr, &slice);
    return caught > 0 ? caught : 0;
}

// Runs the check on a worker thread; an interrupt stops it and ends its children.
// Returns 0, or 128 + the signal that stopped the run.
int RunCheck(const std::shared_ptr<CTerminalFrontEnd>& frontEnd, const CString& domain,
             bool extended, int pathRounds) {
    const sigset_t interrupts = BlockInterrupts();
    std::unique_ptr<CCheckRun> run = CCheckRun::Start(
        frontEnd, domain, extended ? ExtendedCheckWorker(pathRounds) : CheckWorker(&RunCheckSequence));
    if (!run) {
        std::fprintf(stderr, "tollvane: cannot start the check\n");
        return 1;
    }
    int caught = 0;
    run->WaitForEnd(-1, [&](int sliceMs) {
        frontEnd->RefreshStatus();
        return (caught = WaitForSignal(interrupts, sliceMs)) == 0;
    });
    frontEnd->EndStatus();
    if (caught == 0) return 0;
    run->Stop();
    // A second interrupt, or the bound, and the program goes without waiting.
    if (!run->WaitForEnd(kWorkerEndWaitMs,
                         [&](int sliceMs) { return WaitForSignal(interrupts, sliceMs) == 0; })) {
        std::fprintf(stderr, "tollvane: stopped\n");
        std::_Exit(128 + caught);
    }
    return 128 + caught;
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    CCommandLine line;
    const int status = ParseCommandLine(argc, argv, &line);
    if (status >= 0) return status;
    if (line.analyze) return AnalyzeReportFiles(line.files, line.json, stdout, stderr);
    if (line.convert) return ConvertReport(line);
    if (line.uploadFiles) {
        StartNetworking();
        return UploadReportFiles(line.uploadUrl, line.files, !line.noRedact, stdout, stderr);
    }
    if (!ReportPathsWritable(line.reportPaths)) return 2;

    // The report and the whois table speak GBK; a name typed in UTF-8 must match "中国".
    std::string typed;
    const bool representable = TerminalTextToGbk(line.domain, &typed);
    const CString domain = representable ? CleanDomain(CString(typed)) : CString();
    if (!IsDomainAcceptable(domain)) {
        PrintGbkLine(stderr, kInvalidDomainMessage);
        return 2;
    }
    StartNetworking();
    auto frontEnd = std::make_shared<CTerminalFrontEnd>(
        stdout, isatty(STDERR_FILENO) ? stderr : nullptr, isatty(STDOUT_FILENO) != 0);
    const int runStatus = RunCheck(frontEnd, domain, line.extended, line.pathRounds);
    if (runStatus != 0) {
        if (runStatus > 128) std::fprintf(stderr, "tollvane: stopped\n");
        return runStatus;
    }
    // An extended report ends with its findings; when it went to the terminal they are
    // on the screen already.
    const bool findingsShown = line.extended && isatty(STDOUT_FILENO);
    if (isatty(STDERR_FILENO) && !findingsShown)
        ShowRunFindings(frontEnd->Report().Snapshot().Bytes(), stderr);
    const int saved = SaveReports(line, domain, frontEnd.get());
    if (saved != 0 || line.uploadUrl.empty()) return saved;
    return UploadRunReport(line.uploadUrl, frontEnd->Report().Snapshot().Bytes(), !line.noRedact, stdout,
                           stderr);
}
