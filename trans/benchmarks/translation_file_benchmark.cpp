// Throughput of reading the override file: a file that gives every text id in every language, read
// from a scratch directory into an empty table.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <fstream>
#include <string>

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

void ReadFullFile(benchmark::State& state) {
    const os::testing::ScratchDir dir;
    const std::string content = FullFile();
    std::ofstream(dir / std::string(qor::TranslationFileName), std::ios::binary) << content;
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
        state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * content.size()));
        state.counters["file_bytes"] = static_cast<double>(content.size());
    }
    qor::ReleaseTranslationTable();
}
BENCHMARK(ReadFullFile)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
