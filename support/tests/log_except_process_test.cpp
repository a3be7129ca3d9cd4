// The error log between processes: several copies of a program logging into one log at once, across
// the size limit. The executable starts copies of itself as those programs; its own main tells a
// child run from a test run.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
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

constexpr int Loggers = 6;
constexpr int EntriesPerLogger = 900;
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

TEST(ErrorLogProcesses, ConcurrentLoggersCrossTheLimitOnce) {
    const std::size_t entrySize = Entry(0, 0).size();
    const std::size_t total = entrySize * Loggers * EntriesPerLogger;
    ASSERT_GT(total, std::size_t{LogRotateBytes} + entrySize * Loggers) << "the log must cross the limit";
    ASSERT_LT(total, 2 * std::size_t{LogRotateBytes}) << "the new log must stay below it";

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

    const std::string old = GetFile(dir / "Setup.log.OLD");
    const std::string current = GetFile(dir / "Setup.log");
    EXPECT_GT(old.size(), std::size_t{LogRotateBytes}) << "moved aside only once past the limit";
    EXPECT_LE(current.size(), std::size_t{LogRotateBytes});
    EXPECT_EQ(old.size() + current.size(), total) << "a second rotation would have lost a megabyte";

    std::map<std::string, int> seen;
    for (const std::string* log : {&old, &current}) {
        EXPECT_EQ(log->size() % entrySize, 0u) << "torn entries";
        CountEntries(*log, entrySize, seen);
    }
    int wrong = 0;
    for (int logger = 0; logger < Loggers; ++logger) {
        for (int index = 0; index < EntriesPerLogger; ++index) wrong += seen[Entry(logger, index)] == 1 ? 0 : 1;
    }
    EXPECT_EQ(wrong, 0) << "entries missing, torn or written twice";
}

}  // namespace
}  // namespace qor

int main(int argc, char** argv) {
    const std::string role = argc > 1 ? argv[1] : "";
    if (role == "--log-child" && argc == 4) return qor::LogChild(argv[2], std::atoi(argv[3]));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
