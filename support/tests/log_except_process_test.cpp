// The error log between processes: several copies of a program logging into one log at once, across
// the size limit. The executable starts copies of itself as those programs; its own main tells a
// child run from a test run.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "os/fakes/fake_system.h"
#include "os/fakes/refusing_files.h"
#include "os/testing/scratch_dir.h"
#include "support/error.h"
#include "support/log_except.h"
#include "support/testing/qor_file_testing.h"

namespace qor {
namespace {

using filetest::CountEntries;
using filetest::GetFile;
using filetest::PutFile;
using filetest::RunSelfTogether;
using filetest::Word;
using os::testing::ScratchDir;

constexpr int Loggers = 8;
constexpr int EntriesPerLogger = 2000;
constexpr std::size_t MessageSize = 100;

// Every entry the same size, so that both files split into whole entries.
std::string Message(int logger, int index) {
    std::string text = "logger " + std::to_string(logger) + " entry " + std::to_string(index) + " ";
    text.resize(MessageSize, '.');
    return text;
}

std::string Entry(int logger, int index) {
    return "06-12-2026 09:05:06 [LocalHostName=] [User=]\r\nUnit:    \"Child\"  Procedure: \"Run\"\r\n"
           "Exception qor::Error in module Setup.exe at 00000000h.\r\n    \"" +
           Message(logger, index) + "\".\r\n\r\n";
}

// Each child says it is ready and waits for the word to go, so that all of them log at once.
std::string ReadyName(const std::string& programPath, int logger) {
    return programPath + ".ready" + std::to_string(logger);
}
std::string GoName(const std::string& programPath) { return programPath + ".go"; }

bool WaitFor(const std::string& name) {
    for (int waited = 0; waited < 60000; waited += 5) {
        if (std::filesystem::exists(name)) return true;
        os::RealSystem().Sleep(5);
    }
    return false;
}

// The files service of a logging child: each time the child has moved the log aside it links the new
// ".OLD" copy to a name of its own, while it still holds the log's lock, so that the test finds every
// generation even after the next rotation has deleted it.
class KeepingFiles : public os::fakes::RefusingFiles {
public:
    explicit KeepingFiles(int logger) : RefusingFiles(os::RealFiles()), logger_(logger) {}

    std::uint32_t Replace(const std::string& from, const std::string& to) override {
        const std::uint32_t error = RefusingFiles::Replace(from, to);
        if (error == 0 && to.size() > 4 && to.compare(to.size() - 4, 4, ".OLD") == 0) {
            std::error_code ignored;
            std::filesystem::create_hard_link(
                to, to + ".kept-" + std::to_string(logger_) + "-" + std::to_string(kept_++), ignored);
        }
        return error;
    }

private:
    int logger_;
    int kept_ = 0;
};

int LogChild(const std::string& programPath, int logger) {
    PutFile(ReadyName(programPath, logger), "");
    if (!WaitFor(GoName(programPath))) return 2;
    os::fakes::FakeSystem program;
    program.local = {2026, 12, 0, 6, 9, 5, 7, 0};
    program.modulePath = programPath;
    StartErrorLog(program);
    KeepingFiles files(logger);
    for (int index = 0; index < EntriesPerLogger; ++index) {
        try {
            throw Error(Message(logger, index));
        } catch (const Error&) {
            LogException("Child", "Run", "", program, files);
        }
    }
    StopErrorLog();
    return program.beeps == 0 ? 0 : 1;
}

TEST(ErrorLogProcesses, ConcurrentLoggersLoseNothingAndRotateOncePerCrossing) {
    const std::size_t entrySize = Entry(0, 0).size();
    const std::size_t total = std::size_t{Loggers} * EntriesPerLogger;
    // Every generation holds the entries up to and including the one that crosses the limit.
    const std::size_t perGeneration = LogRotateBytes / entrySize + 1;
    ASSERT_GE(total / perGeneration, 2u) << "the loggers must cross the limit more than once";

    const ScratchDir dir;
    const std::string program = dir / "Setup.exe";
    bool ready = true;
    const std::vector<int> exits = RunSelfTogether(
        Loggers, [&](int logger) { return "--log-child " + Word(program) + " " + std::to_string(logger); },
        [&] {
            for (int logger = 0; logger < Loggers; ++logger) ready = ready && WaitFor(ReadyName(program, logger));
            PutFile(GoName(program), "");
        });
    ASSERT_TRUE(ready) << "a child never started";
    for (int logger = 0; logger < Loggers; ++logger) EXPECT_EQ(exits[logger], 0) << logger;

    std::vector<std::string> generations;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("Setup.log.OLD.kept-", 0) == 0) generations.push_back(GetFile(entry.path().string()));
    }
    std::map<std::string, int> seen;
    int torn = 0, wrongSize = 0;
    for (const std::string& generation : generations) {
        wrongSize += generation.size() == perGeneration * entrySize ? 0 : 1;
        torn += generation.size() % entrySize == 0 ? 0 : 1;
        CountEntries(generation, entrySize, seen);
    }
    const std::string current = GetFile(dir / "Setup.log");
    EXPECT_EQ(current.size(), (total % perGeneration) * entrySize) << "the entries after the last crossing";
    torn += current.size() % entrySize == 0 ? 0 : 1;
    CountEntries(current, entrySize, seen);
    int lost = 0, duplicated = 0;
    for (int logger = 0; logger < Loggers; ++logger) {
        for (int index = 0; index < EntriesPerLogger; ++index) {
            const int count = seen[Entry(logger, index)];
            lost += count == 0 ? 1 : 0;
            duplicated += count > 1 ? 1 : 0;
        }
    }
    const std::size_t crossings = total / perGeneration;
    std::printf(
        "counts: error log: %d processes x %d entries, %zu rotations for %zu crossings, %d lost, %d torn "
        "files, %d duplicated\n",
        Loggers, EntriesPerLogger, generations.size(), crossings, lost, torn, duplicated);
    EXPECT_EQ(generations.size(), crossings) << "one rotation per crossing";
    EXPECT_EQ(wrongSize, 0) << "a generation moved aside too early or too late";
    EXPECT_EQ(lost, 0);
    EXPECT_EQ(torn, 0);
    EXPECT_EQ(duplicated, 0);
}

}  // namespace
}  // namespace qor

int main(int argc, char** argv) {
    const std::string role = argc > 1 ? argv[1] : "";
    if (role == "--log-child" && argc == 4) return qor::LogChild(argv[2], std::atoi(argv[3]));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
