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
#include <fstream>
#include <string>

#include "os/posix/hive_registry.h"
#include "os/testing/benchmark_runs.h"
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
void CountNewlines(benchmark::State& state) { os::testing::CountLineEnds(state, Content()); }
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
class HiveReporter : public os::testing::MedianReporter {
public:
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
};

}  // namespace

int main(int argc, char** argv) {
    HiveReporter reporter;
    return os::testing::RunBenchmarks(argc, argv, reporter);
}
