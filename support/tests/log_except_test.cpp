// The error log against real files in a scratch directory, with the clock, the program's path and
// the beep given by a fake system.
#include "support/log_except.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <new>
#include <ostream>
#include <stdexcept>
#include <string_view>
#include <thread>
#include <vector>

#include "os/fakes/fake_system.h"
#include "os/fakes/refusing_files.h"
#include "os/testing/scratch_dir.h"
#include "support/error.h"
#include "support/qor_file.h"
#include "support/testing/qor_file_testing.h"

namespace qor {
namespace {

using filetest::GetFile;
using filetest::PutFile;
using os::testing::ScratchDir;

// Sunday 6 December 2026, 09:05:07: the clock counts in 2-second units, so the header shows 06.
constexpr os::SystemTime Clock{2026, 12, 0, 6, 9, 5, 7, 0};
constexpr std::string_view Header = "06-12-2026 09:05:06 [LocalHostName=] [User=]\r\n";
constexpr std::string_view NothingHandled = "Exception ?? in module Setup.exe at 00000000h.\r\n    \"\".";

// A whole entry: the header, the caller's lines, the description and the empty line after it.
std::string Entry(std::string_view lines, std::string_view description = NothingHandled) {
    return std::string(Header) + std::string(lines) + std::string(description) + "\r\n\r\n";
}

std::string MessageLine(const std::string& message) { return "Message: \"" + message + "\"\r\n"; }

class ErrorLog : public ::testing::Test {
protected:
    ErrorLog() {
        system_.local = Clock;
        Restart("Setup.exe");
    }
    ~ErrorLog() override { StopErrorLog(); }

    // Shut-down and start-up of the module for a program of this name in the scratch directory.
    void Restart(const std::string& program) {
        StopErrorLog();
        system_.modulePath = dir_ / program;
        StartErrorLog(system_);
    }
    void Log(const std::string& unit, const std::string& proc, const std::string& message) {
        LogException(unit, proc, message, system_, os::RealFiles());
    }
    std::string Path(const std::string& leaf) const { return dir_ / leaf; }
    std::string Read(const std::string& leaf) const { return GetFile(dir_ / leaf); }
    bool Exists(const std::string& leaf) const { return std::filesystem::exists(dir_ / leaf); }

    const ScratchDir dir_;
    os::fakes::FakeSystem system_;
};

// ---- The entry's bytes ----

struct EntryRow {
    const char* name;
    const char* unit;
    const char* proc;
    const char* message;
    const char* lines;  // what stands between the header and the description
};
void PrintTo(const EntryRow& row, std::ostream* out) { *out << row.name; }

class EntryBytes : public ErrorLog, public ::testing::WithParamInterface<EntryRow> {};

const EntryRow EntryRows[] = {
    {"ProcedureWithoutUnitHasNoLocationLine", "", "ReadTranslationFile", "", ""},
    {"MessageOnly", "", "", "File is damaged", "Message: \"File is damaged\"\r\n"},
    {"UnitWithEmptyProcedure", "Trans", "", "", "Unit:    \"Trans\"  Procedure: \"\"\r\n"},
    {"MessageComesBeforeLocation", "Trans", "ReadTranslationFile", "File is damaged",
     "Message: \"File is damaged\"\r\nUnit:    \"Trans\"  Procedure: \"ReadTranslationFile\"\r\n"},
};

TEST_P(EntryBytes, OutsideAnyHandler) {
    const EntryRow& row = GetParam();
    Log(row.unit, row.proc, row.message);
    EXPECT_EQ(Read("Setup.log"), Entry(row.lines));
    EXPECT_EQ(system_.beeps, 0);
}

INSTANTIATE_TEST_SUITE_P(ErrorLog, EntryBytes, ::testing::ValuesIn(EntryRows),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- The exception being handled ----

struct NotAnError {};

struct HandledRow {
    const char* name;
    void (*raise)();
    const char* description;
};
void PrintTo(const HandledRow& row, std::ostream* out) { *out << row.name; }

class HandledException : public ErrorLog, public ::testing::WithParamInterface<HandledRow> {};

const HandledRow HandledRows[] = {
    {"RootErrorClass", [] { throw Error("Disk gone"); },
     "Exception qor::Error in module Setup.exe at 00000000h.\r\n    \"Disk gone\"."},
    {"StandardError", [] { throw std::out_of_range("index 7"); },
     "Exception std::out_of_range in module Setup.exe at 00000000h.\r\n    \"index 7\"."},
    {"ClassOutsideTheRootHasNoMessage", [] { throw NotAnError{}; },
     "Exception qor::(anonymous namespace)::NotAnError in module Setup.exe at 00000000h.\r\n    \"\"."},
    {"PlainValueHasNoMessage", [] { throw 42; }, "Exception int in module Setup.exe at 00000000h.\r\n    \"\"."},
};

TEST_P(HandledException, IsDescribedAndForgottenAfterTheHandler) {
    const std::string location = "Unit:    \"Trans\"  Procedure: \"ReadTranslationFile\"\r\n";
    try {
        GetParam().raise();
    } catch (...) {
        Log("Trans", "ReadTranslationFile", "");
    }
    Log("Trans", "ReadTranslationFile", "");
    EXPECT_EQ(Read("Setup.log"), Entry(location, GetParam().description) + Entry(location));
}

INSTANTIATE_TEST_SUITE_P(ErrorLog, HandledException, ::testing::ValuesIn(HandledRows),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Repeats ----

struct RepeatRow {
    const char* name;
    std::vector<std::string> logged;
    std::vector<std::string> written;
};
void PrintTo(const RepeatRow& row, std::ostream* out) { *out << row.name; }

class Repeats : public ErrorLog, public ::testing::WithParamInterface<RepeatRow> {};

const RepeatRow RepeatRows[] = {
    {"OnlyThePreviousBodyCounts", {"A fault", "A fault", "B fault", "A fault"}, {"A fault", "B fault", "A fault"}},
    {"LetterCaseOfAToZIsIgnored", {"disk gone", "DISK Gone"}, {"disk gone"}},
    {"AccentedLettersCompareByValue", {"caf\xE9", "CAF\xC9"}, {"caf\xE9", "CAF\xC9"}},
    {"BracketsAreNotLetters", {"[x]^", "{X}~"}, {"[x]^", "{X}~"}},
};

TEST_P(Repeats, AreNotWrittenAgain) {
    std::string expected;
    for (const auto& message : GetParam().written) expected += Entry(MessageLine(message));
    for (const auto& message : GetParam().logged) Log("", "", message);
    EXPECT_EQ(Read("Setup.log"), expected);
    // The remembered body is the latest one, in its own letter case.
    EXPECT_EQ(LastLogBody, MessageLine(GetParam().logged.back()) + std::string(NothingHandled));
}

INSTANTIATE_TEST_SUITE_P(ErrorLog, Repeats, ::testing::ValuesIn(RepeatRows),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Logs that cannot be written ----

TEST_F(ErrorLog, LogHeldExclusivelyLosesTheEntryWithoutABeep) {
    PutFile(Path("Setup.log"), "kept");
    {
        TQorFile holder(Path("Setup.log"), 1);
        holder.OpenMode = ModeReadWrite | ModeShareNone;
        ASSERT_TRUE(holder.Open(OpenExistingOnly));
        Log("Trans", "ReadTranslationFile", "");
        EXPECT_EQ(system_.beeps, 0);
    }
    EXPECT_EQ(Read("Setup.log"), "kept");
    // The lost entry still counts as the previous one, so its repeat is not written either.
    Log("Trans", "ReadTranslationFile", "");
    EXPECT_EQ(Read("Setup.log"), "kept");
    Log("", "", "next");
    EXPECT_EQ(Read("Setup.log"), "kept" + Entry(MessageLine("next")));
}

TEST_F(ErrorLog, EntryWaitsWhileAnotherWriterHoldsTheLogLock) {
    os::Files& files = os::RealFiles();
    const os::OpenResult other = files.Open(Path("Setup.log.lock"), os::Files::GenericRead | os::Files::GenericWrite,
                                            os::Files::ShareRead | os::Files::ShareWrite | os::Files::ShareDelete,
                                            os::Files::OpenAlways, os::Files::AttributeNormal);
    ASSERT_EQ(other.error, 0u);
    ASSERT_EQ(files.LockAppends(other.handle), 0u);
    std::thread writer([&] { Log("", "", "waited"); });
    os::RealSystem().Sleep(200);
    EXPECT_FALSE(Exists("Setup.log")) << "appended while another writer was rotating";
    EXPECT_EQ(files.UnlockAppends(other.handle), 0u);
    writer.join();
    files.Close(other.handle);
    EXPECT_EQ(Read("Setup.log"), Entry(MessageLine("waited")));
}

// ---- Rotation ----

struct RotationRow {
    const char* name;
    std::size_t sizeAfterAppend;
    bool rotates;
};
void PrintTo(const RotationRow& row, std::ostream* out) { *out << row.name; }

class Rotation : public ErrorLog, public ::testing::WithParamInterface<RotationRow> {};

const RotationRow RotationRows[] = {
    {"JustPastTheLimitMovesAside", 1000050, true},
    {"ExactlyTheLimitStays", 1000000, false},
};

TEST_P(Rotation, AfterTheAppend) {
    const std::string entry = Entry(MessageLine("crossing"));
    const std::string before(GetParam().sizeAfterAppend - entry.size(), 'x');
    PutFile(Path("Setup.log"), before);
    PutFile(Path("Setup.log.OLD"), "older generation");
    Log("", "", "crossing");
    if (GetParam().rotates) {
        EXPECT_FALSE(Exists("Setup.log"));
        EXPECT_EQ(Read("Setup.log.OLD"), before + entry) << "the crossing entry goes with the old copy";
        Log("", "", "next");
        EXPECT_EQ(Read("Setup.log"), Entry(MessageLine("next")));
    } else {
        EXPECT_EQ(Read("Setup.log"), before + entry);
        EXPECT_EQ(Read("Setup.log.OLD"), "older generation");
    }
}

INSTANTIATE_TEST_SUITE_P(ErrorLog, Rotation, ::testing::ValuesIn(RotationRows),
                         [](const auto& info) { return std::string(info.param.name); });

// A lock file this user cannot write (left by another user), or cannot open at all: the log still
// rotates once it is past the limit.
struct LockRow {
    const char* name;
    std::uint32_t refusedAccess;  // opens of the lock file asking for any of these bits are refused
};
void PrintTo(const LockRow& row, std::ostream* out) { *out << row.name; }

class ForeignLock : public ErrorLog, public ::testing::WithParamInterface<LockRow> {};

const LockRow LockRows[] = {
    {"ReadableOnly", os::Files::GenericWrite},
    {"Unreadable", os::Files::GenericRead | os::Files::GenericWrite},
};

TEST_P(ForeignLock, DoesNotStopTheRotation) {
    os::fakes::RefusingFiles files(os::RealFiles());
    const std::string lock = Path("Setup.log.lock");
    files.refuseOpen = [&](const std::string& name, std::uint32_t access) {
        return name == lock && (access & GetParam().refusedAccess) != 0 ? os::ErrorAccessDenied : 0u;
    };
    const std::string entry = Entry(MessageLine("crossing"));
    const std::string before(1000050 - entry.size(), 'x');
    PutFile(Path("Setup.log"), before);
    LogException("", "", "crossing", system_, files);
    EXPECT_FALSE(Exists("Setup.log"));
    EXPECT_EQ(Read("Setup.log.OLD"), before + entry);
    LogException("", "", "next", system_, files);
    EXPECT_EQ(Read("Setup.log"), Entry(MessageLine("next")));
    EXPECT_EQ(system_.beeps, 0);
}

INSTANTIATE_TEST_SUITE_P(ErrorLog, ForeignLock, ::testing::ValuesIn(LockRows),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Names, header and life cycle ----

TEST_F(ErrorLog, ProgramWithoutExtensionGetsTheLogExtension) {
    Restart("Setup");
    Log("", "", "x");
    EXPECT_EQ(Read("Setup.log"), std::string(Header) + MessageLine("x") +
                                     "Exception ?? in module Setup at 00000000h.\r\n    \"\".\r\n\r\n");
}

TEST_F(ErrorLog, HeaderShowsTheTextsAsTheyAreAndNoDateOutsideTheCalendar) {
    LogHostName = "WS 07 [a]";
    LogUserName = "jan";
    system_.local.wYear = 2076;
    Log("", "", "x");
    const std::string header = "Geen datum 09:05:06 [LocalHostName=WS 07 [a]] [User=jan]\r\n";
    EXPECT_EQ(Read("Setup.log").substr(0, header.size()), header);
    Restart("Setup.exe");
    EXPECT_EQ(LogHostName, "");
    EXPECT_EQ(LogUserName, "");
}

// A clock that fails as running out of memory would, and optionally a beep that fails too.
class FailingSystem : public os::fakes::FakeSystem {
public:
    bool beepFails = false;
    os::SystemTime LocalTime() override { throw std::bad_alloc(); }
    void Beep() override {
        FakeSystem::Beep();
        if (beepFails) throw std::runtime_error("no sound");
    }
};

TEST_F(ErrorLog, AFailureOfItsOwnOnlyBeeps) {
    FailingSystem failing;
    failing.modulePath = system_.modulePath;
    LogException("Trans", "ReadTranslationFile", "", failing, os::RealFiles());
    EXPECT_EQ(failing.beeps, 1);
    EXPECT_FALSE(Exists("Setup.log"));
    // The body was remembered before the clock failed: its repeat stops before the clock.
    LogException("Trans", "ReadTranslationFile", "", failing, os::RealFiles());
    EXPECT_EQ(failing.beeps, 1);
    failing.beepFails = true;
    LogException("Trans", "Other", "", failing, os::RealFiles());
    EXPECT_EQ(failing.beeps, 2);
}

TEST_F(ErrorLog, ShutDownForgetsEverythingAndLogsNowhere) {
    EXPECT_EQ(LogFileName, system_.modulePath);
    Log("", "", "x");
    LogHostName = "host";
    LogUserName = "user";
    StopErrorLog();
    EXPECT_EQ(LogFileName + LogHostName + LogUserName + LastLogBody, "");
    std::filesystem::remove(Path("Setup.log"));
    Log("", "", "y");
    EXPECT_FALSE(Exists("Setup.log"));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::current_path() / ".log"));
    EXPECT_EQ(system_.beeps, 0);
}

}  // namespace
}  // namespace qor
