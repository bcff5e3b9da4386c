// How many reports a second `tollvane --analyze` reads: support desks run it over whole
// mailboxes (the target is 1,000 a second for reports of 5 to 50 KB). Reports of that
// size are made from the corpus's healthy run, its local-network block grown as a
// machine with many adapters grows it.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/report_analysis.h"
#include "diagnosis/findings.h"

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// The corpus report with its ipconfig block repeated until the report is about size bytes.
std::string TypicalReport(size_t size) {
    std::string report = ReadFile(REPORT_CORPUS_DIR "/edited-path-loss.txt");
    const size_t adapter = report.find("Loopback adapter lo:");
    const size_t end = report.find("\r\n \r\n***", adapter);
    if (adapter == std::string::npos || end == std::string::npos) return report;
    const std::string block = report.substr(adapter, end - adapter);
    std::string grown;
    while (report.size() + grown.size() < size) grown += block;
    return report.insert(end, grown);
}

void AnalyzeInMemory(benchmark::State& state) {
    const std::string report = TypicalReport(static_cast<size_t>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(AnalyzeReport(report));
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(report.size()));
}
BENCHMARK(AnalyzeInMemory)->Arg(5 * 1024)->Arg(20 * 1024)->Arg(50 * 1024);

// The whole command: 300 files of 5 to 50 KB read from disk, findings printed.
void AnalyzeFiles(benchmark::State& state) {
    char folder[] = "/tmp/diagnosis-bench.XXXXXX";
    if (!mkdtemp(folder)) return state.SkipWithError("no scratch folder");
    std::vector<std::string> files;
    for (int i = 0; i < 300; ++i) {
        files.push_back(std::string(folder) + "/report" + std::to_string(i) + ".txt");
        std::ofstream(files.back(), std::ios::binary)
            << TypicalReport(5 * 1024 + (i % 10) * 5 * 1024);
    }
    std::FILE* sink = std::fopen("/dev/null", "w");
    for (auto _ : state) AnalyzeReportFiles(files, state.range(0) != 0, sink, sink);
    std::fclose(sink);
    for (const std::string& file : files) std::remove(file.c_str());
    rmdir(folder);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(files.size()));
}
BENCHMARK(AnalyzeFiles)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
