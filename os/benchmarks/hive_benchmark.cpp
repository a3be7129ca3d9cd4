// The registry hive file at size: a generated hive of 30,000 keys (some 2.4 MB) in a scratch
// directory, used through the registry as the program uses it.
// - LoadHive: opens the tool's key, spelled in another case, which reads, parses and checks the whole
//   file and looks the key up; beside it the floor for any reader of the file, CountNewlines, a count
//   of its line ends with memchr over the same bytes in memory.
// - SaveHive: changes one value of the tool's key, which takes the lock, reads the file, changes it,
//   writes a temporary file, syncs it and renames it over the hive, as every save does.
// The run ends with the load's throughput as a share of the floor's and the save's time.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "os/posix/hive_registry.h"
#include "os/testing/generated_hive.h"
#include "os/testing/scratch_dir.h"

namespace {

constexpr int HiveKeys = 30000;
// The tool's key as a caller might spell it.
constexpr const char* ToolKeyOtherCase = "\\SOFTWARE\\qor\\CORVIX\\tcpip";

const std::string& Content() {
    static const std::string content = os::testing::GeneratedHive(HiveKeys);
    return content;
}

// A scratch directory holding the generated hive.
class HiveDir {
public:
    HiveDir() { std::ofstream(dir_ / "HKEY_LOCAL_MACHINE.reg", std::ios::binary) << Content(); }
    const std::string& Path() const { return dir_.Path(); }

private:
    const os::testing::ScratchDir dir_;
};

void LoadHive(benchmark::State& state) {
    const HiveDir dir;
    os::posix::HiveRegistry registry(dir.Path());
    for (auto _ : state) {
        os::RegKey key = 0;
        if (registry.OpenKey(os::HkeyLocalMachine, ToolKeyOtherCase, os::KeyRead, key) != os::ErrorSuccess) {
            state.SkipWithError("the tool's key was not found");
            break;
        }
        registry.CloseKey(key);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Content().size()));
    state.counters["file_bytes"] = static_cast<double>(Content().size());
}
BENCHMARK(LoadHive)->Unit(benchmark::kMillisecond);

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

// Every save really changes the value, so that every one writes the file.
void SaveHive(benchmark::State& state) {
    const HiveDir dir;
    os::posix::HiveRegistry registry(dir.Path());
    os::RegKey key = 0;
    if (registry.OpenKey(os::HkeyLocalMachine, ToolKeyOtherCase, os::KeyAllAccess, key) != os::ErrorSuccess) {
        state.SkipWithError("the tool's key was not found");
        return;
    }
    std::uint8_t port[4] = {0xEA, 0, 0, 0};
    for (auto _ : state) {
        ++port[1];
        if (registry.SetValue(key, "hostport", os::RegDword, port, sizeof port) != os::ErrorSuccess) {
            state.SkipWithError("the value was not saved");
            break;
        }
    }
    registry.CloseKey(key);
    state.counters["file_bytes"] = static_cast<double>(Content().size());
}
// Its time goes largely to waiting for the disk, so the figure is the time that passes.
BENCHMARK(SaveHive)->Unit(benchmark::kMillisecond)->UseRealTime();

// The console report, followed by the load's throughput as a share of the floor's and the save's time.
class HiveReporter : public benchmark::ConsoleReporter {
public:
    // Plain text: the figures are copied from the output into notes.
    HiveReporter() : ConsoleReporter(OO_Tabular) {}

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

    void Finalize() override {
        ConsoleReporter::Finalize();
        // Both are in milliseconds.
        const double megabytes = static_cast<double>(Content().size()) / 1e6;
        const auto load = cpuTimes_.find("LoadHive");
        const auto floor = cpuTimes_.find("CountNewlines");
        if (load != cpuTimes_.end() && floor != cpuTimes_.end() && load->second > 0 && floor->second > 0) {
            GetOutputStream() << "Load of the " << megabytes << " MB hive: " << megabytes / load->second * 1e3
                              << " MB/s; newline count: " << megabytes / floor->second * 1e3
                              << " MB/s; ratio of the load's throughput to the newline count's: "
                              << floor->second / load->second << " (goal: at least 0.1)\n";
        }
        const auto save = realTimes_.find("SaveHive");
        if (save != realTimes_.end()) {
            GetOutputStream() << "Load, change and save of the " << megabytes << " MB hive: " << save->second
                              << " ms (goal: at most 50 ms)\n";
        }
    }

private:
    std::map<std::string, double> cpuTimes_;
    std::map<std::string, double> realTimes_;
};

}  // namespace

int main(int argc, char** argv) {
    // Repetitions of the benchmarks run in random alternation, so that the medians come from the same
    // stretch of time on a machine that others share; flags on the command line come later and win.
    static char repetitions[] = "--benchmark_repetitions=9";
    static char interleaving[] = "--benchmark_enable_random_interleaving=true";
    static char aggregatesOnly[] = "--benchmark_report_aggregates_only=true";
    std::vector<char*> arguments{argv[0], repetitions, interleaving, aggregatesOnly};
    arguments.insert(arguments.end(), argv + 1, argv + argc);
    int count = static_cast<int>(arguments.size());
    benchmark::Initialize(&count, arguments.data());
    if (benchmark::ReportUnrecognizedArguments(count, arguments.data())) return 1;
    HiveReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
