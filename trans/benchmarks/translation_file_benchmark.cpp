// Throughput of reading the override file: a file that gives every text id in every language, read
// from a scratch directory into an empty table, beside the floor for any reader of it, a count of
// its line ends with memchr over the same bytes in memory. The run ends with the ratio of the two.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <fstream>
#include <string>

#include "os/fakes/fake_system.h"
#include "os/testing/benchmark_runs.h"
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
void CountNewlines(benchmark::State& state) { os::testing::CountLineEnds(state, Content()); }
BENCHMARK(CountNewlines)->Unit(benchmark::kMillisecond);

// The console report, followed by the read's throughput as a share of the floor's (both benchmarks
// report in the same unit).
class RatioReporter : public os::testing::MedianReporter {
public:
    void Finalize() override {
        ConsoleReporter::Finalize();
        const auto read = cpuTimes_.find("ReadFullFile");
        const auto floor = cpuTimes_.find("CountNewlines");
        if (read == cpuTimes_.end() || floor == cpuTimes_.end() || read->second <= 0) return;
        GetOutputStream() << "Ratio of the full read's throughput to the newline count's: "
                          << floor->second / read->second << "\n";
    }
};

}  // namespace

int main(int argc, char** argv) {
    RatioReporter reporter;
    return os::testing::RunBenchmarks(argc, argv, reporter);
}
