// What the suite's benchmark programs share: the floor for any reader of a text, a console report
// that keeps each benchmark's median, and a main that runs the benchmarks so that the medians can be
// compared. For programs linked with Google Benchmark only.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace os::testing {

// The floor: finding every line end of `text` in memory with memchr, and nothing else.
inline void CountLineEnds(benchmark::State& state, const std::string& text) {
    for (auto _ : state) {
        std::size_t lines = 0;
        const char* at = text.data();
        const char* const end = at + text.size();
        while (const void* found = std::memchr(at, '\n', static_cast<std::size_t>(end - at))) {
            ++lines;
            at = static_cast<const char*>(found) + 1;
        }
        benchmark::DoNotOptimize(lines);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

// The console report, keeping each benchmark's CPU and real time (in its own unit) for the figures a
// program prints after it.
class MedianReporter : public benchmark::ConsoleReporter {
public:
    // Plain text: the figures are copied from the output into notes.
    MedianReporter() : ConsoleReporter(OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        // Repetitions report their median after the single runs, so the median is the figure kept.
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
            cpuTimes_[run.run_name.function_name] = run.GetAdjustedCPUTime();
            realTimes_[run.run_name.function_name] = run.GetAdjustedRealTime();
        }
    }

protected:
    std::map<std::string, double> cpuTimes_;
    std::map<std::string, double> realTimes_;
};

// Runs the registered benchmarks into `reporter`: nine repetitions of each in random alternation, so
// that all medians come from the same stretch of time on a machine that others share. Flags on the
// command line come later and win.
inline int RunBenchmarks(int argc, char** argv, benchmark::BenchmarkReporter& reporter) {
    static char repetitions[] = "--benchmark_repetitions=9";
    static char interleaving[] = "--benchmark_enable_random_interleaving=true";
    static char aggregatesOnly[] = "--benchmark_report_aggregates_only=true";
    std::vector<char*> arguments{argv[0], repetitions, interleaving, aggregatesOnly};
    arguments.insert(arguments.end(), argv + 1, argv + argc);
    int count = static_cast<int>(arguments.size());
    benchmark::Initialize(&count, arguments.data());
    if (benchmark::ReportUnrecognizedArguments(count, arguments.data())) return 1;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}

}  // namespace os::testing
