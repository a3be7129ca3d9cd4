// Throughput of reading the override file: a file that gives every text id in every language, read
// from a scratch directory into an empty table, beside the floor for any reader of it, a count of
// its line ends with memchr over the same bytes in memory. The run ends with the ratio of the two.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "os/fakes/fake_system.h"
#include "os/testing/scratch_dir.h"
#include "trans/trans.h"

namespace {

// Texts of ordinary length with a line break and a bar in some, as an installation's file has them.
std::string FullFile() {
    std::string content;
    for (std::uint8_t language = 0; language < qor::LanguageCount; ++language) {
        for (std::int32_t id = 1; id <= qor::MaxTextId; ++id) {
            content += "2|" + std::to_string(language) + "|" + std::to_string(id) + "|Tekst " + std::to_string(id) +
                       " in taal " + std::to_string(language);
            if (id % 7 == 0) content += "\\n\\rtweede regel";
            if (id % 11 == 0) content += " \\p kolom";
            content += "|\r\n";
        }
    }
    return content;
}

const std::string& Content() {
    static const std::string content = FullFile();
    return content;
}

void ReadFullFile(benchmark::State& state) {
    const os::testing::ScratchDir dir;
    std::ofstream(dir / std::string(qor::TranslationFileName), std::ios::binary) << Content();
    os::fakes::FakeSystem system;
    system.modulePath = dir / "corvix-tcpip";

    qor::ReadTranslationFile(os::RealFiles(), system);
    if (!qor::TranslationFileRead) {
        state.SkipWithError("the file was not read");
    } else {
        for (auto _ : state) {
            state.PauseTiming();
            qor::ReleaseTranslationTable();
            state.ResumeTiming();
            qor::ReadTranslationFile(os::RealFiles(), system);
        }
        state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Content().size()));
        state.counters["file_bytes"] = static_cast<double>(Content().size());
    }
    qor::ReleaseTranslationTable();
}
BENCHMARK(ReadFullFile)->Unit(benchmark::kMillisecond);

// The floor: finding every line end of the same bytes, and nothing else.
void CountNewlines(benchmark::State& state) {
    const std::string& content = Content();
    for (auto _ : state) {
        std::size_t lines = 0;
        const char* at = content.data();
        const char* const end = at + content.size();
        while (const void* found = std::memchr(at, '\n', static_cast<std::size_t>(end - at))) {
            ++lines;
            at = static_cast<const char*>(found) + 1;
        }
        benchmark::DoNotOptimize(lines);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * content.size()));
}
BENCHMARK(CountNewlines)->Unit(benchmark::kMillisecond);

// The console report, followed by the read's throughput as a share of the floor's (both benchmarks
// report in the same unit).
class RatioReporter : public benchmark::ConsoleReporter {
public:
    // Plain text: the figures are copied from the output into notes.
    RatioReporter() : ConsoleReporter(OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        // Repetitions report their median after the single runs, so the median is the figure kept.
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
            cpuTimes_[run.run_name.function_name] = run.GetAdjustedCPUTime();
        }
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        const auto read = cpuTimes_.find("ReadFullFile");
        const auto floor = cpuTimes_.find("CountNewlines");
        if (read == cpuTimes_.end() || floor == cpuTimes_.end() || read->second <= 0) return;
        GetOutputStream() << "Ratio of the full read's throughput to the newline count's: "
                          << floor->second / read->second << "\n";
    }

private:
    std::map<std::string, double> cpuTimes_;
};

}  // namespace

int main(int argc, char** argv) {
    // Repetitions of the two benchmarks run in random alternation, so that both medians come from the
    // same stretch of time on a machine that others share; flags on the command line come later and
    // win.
    static char repetitions[] = "--benchmark_repetitions=9";
    static char interleaving[] = "--benchmark_enable_random_interleaving=true";
    static char aggregatesOnly[] = "--benchmark_report_aggregates_only=true";
    std::vector<char*> arguments{argv[0], repetitions, interleaving, aggregatesOnly};
    arguments.insert(arguments.end(), argv + 1, argv + argc);
    int count = static_cast<int>(arguments.size());
    benchmark::Initialize(&count, arguments.data());
    if (benchmark::ReportUnrecognizedArguments(count, arguments.data())) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
