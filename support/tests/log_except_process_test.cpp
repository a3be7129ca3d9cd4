// The error log between processes: several copies of a program logging into one log at once, across
// the size limit. The executable starts copies of itself as those programs; its own main tells a
// child run from a test run.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "os/fakes/fake_system.h"
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

int LogChild(const std::string& programPath, int logger) {
    PutFile(ReadyName(programPath, logger), "");
    if (!WaitFor(GoName(programPath))) return 2;
    os::fakes::FakeSystem program;
    program.local = {2026, 12, 0, 6, 9, 5, 7, 0};
    program.modulePath = programPath;
    StartErrorLog(program);
    for (int index = 0; index < EntriesPerLogger; ++index) {
        try {
            throw Error(Message(logger, index));
        } catch (const Error&) {
            LogException("Child", "Run", "", program, os::RealFiles());
        }
    }
    StopErrorLog();
    return program.beeps == 0 ? 0 : 1;
}

// Keeps every ".OLD" generation the loggers make: a hard link holds each one after the next rotation
// has deleted its name.
class Generations {
public:
    explicit Generations(std::filesystem::path old) : old_(std::move(old)) {}

    void Look() {
        std::error_code error;
        if (!std::filesystem::exists(old_, error)) return;
        if (!kept_.empty() && std::filesystem::equivalent(old_, kept_.back(), error)) return;
        const std::filesystem::path keep = old_.string() + ".kept" + std::to_string(kept_.size());
        std::filesystem::create_hard_link(old_, keep, error);
        if (!error) kept_.push_back(keep);
    }

    const std::vector<std::filesystem::path>& Kept() const { return kept_; }

private:
    std::filesystem::path old_;
    std::vector<std::filesystem::path> kept_;
};

TEST(ErrorLogProcesses, ConcurrentLoggersLoseNothingAndRotateOncePerCrossing) {
    const std::size_t entrySize = Entry(0, 0).size();
    const std::size_t total = std::size_t{Loggers} * EntriesPerLogger;
    // Every generation holds the entries up to and including the one that crosses the limit.
    const std::size_t perGeneration = LogRotateBytes / entrySize + 1;
    ASSERT_GE(total / perGeneration, 2u) << "the loggers must cross the limit more than once";

    const ScratchDir dir;
    const std::string program = dir / "Setup.exe";
    Generations generations(dir / "Setup.log.OLD");
    std::atomic<bool> done{false};
    std::thread watcher([&] {
        while (!done) {
            generations.Look();
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        generations.Look();
    });
    bool ready = true;
    const std::vector<int> exits = RunSelfTogether(
        Loggers, [&](int logger) { return "--log-child " + Word(program) + " " + std::to_string(logger); },
        [&] {
            for (int logger = 0; logger < Loggers; ++logger) ready = ready && WaitFor(ReadyName(program, logger));
            PutFile(GoName(program), "");
        });
    done = true;
    watcher.join();
    ASSERT_TRUE(ready) << "a child never started";
    for (int logger = 0; logger < Loggers; ++logger) EXPECT_EQ(exits[logger], 0) << logger;

    std::map<std::string, int> seen;
    int torn = 0, wrongSize = 0;
    for (const auto& kept : generations.Kept()) {
        const std::string generation = GetFile(kept.string());
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
        Loggers, EntriesPerLogger, generations.Kept().size(), crossings, lost, torn, duplicated);
    EXPECT_EQ(generations.Kept().size(), crossings) << "one rotation per crossing";
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
