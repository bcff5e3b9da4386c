// Throughput of the command capture against dd reading the same amount from a pipe.
#include <benchmark/benchmark.h>

#include <string>

#include "platform/child_process.h"
#include "probes/command_probes.h"

namespace {

const int kMebibytes = 256;

void CaptureRoutine(benchmark::State& state) {
    for (auto _ : state) {
        const CStepOutcome outcome = RunCommandCapture(
            CProbeContext(), {TEST_CHILD_PATH, "stream", std::to_string(kMebibytes).c_str()}, 600);
        if (outcome.text.GetLength() != kMebibytes * 1024 * 1024) state.SkipWithError("short capture");
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kMebibytes} * 1024 * 1024);
}

// The same child writing into a pipe that dd drains in 4096-byte reads.
void DdFromPipe(benchmark::State& state) {
    for (auto _ : state) {
        CChildProcess child;
        // sh is the benchmark's own tool here, never fed user input.
        const CArgumentList command = {"/bin/sh", BENCH_DD_SCRIPT, TEST_CHILD_PATH,
                                       std::to_string(kMebibytes).c_str()};
        if (!child.Start(command)) state.SkipWithError("cannot start dd");
        char buffer[256];
        while (child.Read(buffer, sizeof buffer, 1000) != CChildProcess::kReadEnd) {
        }
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kMebibytes} * 1024 * 1024);
}

}  // namespace

BENCHMARK(CaptureRoutine)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(DdFromPipe)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK_MAIN();
