// The record file object between processes: share modes and concurrent appends. The executable
// starts copies of itself as the other processes; its own main tells a child run from a test run.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "os/system.h"
#include "os/testing/scratch_dir.h"
#include "support/qor_file.h"
#include "support/testing/qor_file_testing.h"

namespace qor {
namespace {

using filetest::CountEntries;
using filetest::GetFile;
using filetest::PutFile;
using filetest::RunSelf;
using filetest::RunSelfTogether;
using filetest::Word;
using os::testing::ScratchDir;

constexpr int Appenders = 6;
constexpr int EntriesPerAppender = 400;

// One entry as the error log writes them: whole, so a lost or torn append shows.
std::string Entry(int appender, int index) {
    std::string text = "appender " + std::to_string(appender) + " entry " + std::to_string(index) + " ";
    text.resize(60, '.');
    return text + "\r\n";
}

int ShareChild(const std::string& name, const std::string& resultName) {
    PutFile(resultName, filetest::SecondOpenRow(name));
    return 0;
}

// Tries to empty a file that the parent holds mapped: 0 when refused as Windows refuses it.
int EmptyingChild(const std::string& name) {
    TQorFile file(name, 1);
    file.OpenMode = 2 | 48;
    if (file.Open(4)) return 1;
    return file.LastError == static_cast<std::int32_t>(os::ErrorUserMappedFile) ? 0 : 2;
}

int AppendChild(const std::string& name, int appender) {
    int failures = 0;
    for (int index = 0; index < EntriesPerAppender; ++index) {
        const std::string entry = Entry(appender, index);
        TQorFile file(name, 1);
        file.OpenMode = ModeWrite | ModeShareAny;
        file.Open(OpenOrCreate);
        file.WriteEndBlock(entry.data(), static_cast<std::int32_t>(entry.size()));
        if (!file.IsOk()) ++failures;
        file.Close();
    }
    return failures == 0 ? 0 : 1;
}

TEST(QorFileProcesses, ShareModesHoldAcrossProcesses) {
    const ScratchDir dir;
    const std::string name = dir / "shared.dat";
    const std::string result = dir / "row.txt";
    filetest::CheckShareTable(name, [&] {
        PutFile(result, "");
        EXPECT_EQ(RunSelf("--share-child " + Word(name) + " " + Word(result)), 0);
        return GetFile(result);
    });
}

TEST(QorFileProcesses, AViewKeepsItsFileWholeAgainstOtherProcesses) {
    const ScratchDir dir;
    const std::string name = dir / "mapped.dat";
    PutFile(name, "0123456789ABCDEF");
    TQorFile mapped(name, 4);
    mapped.OpenMode = 2 | 48;
    mapped.Mapped = true;
    ASSERT_TRUE(mapped.Open(0));
    ASSERT_NE(mapped.MappedView, nullptr);
    EXPECT_EQ(RunSelf("--emptying-child " + Word(name)), 0);
    ASSERT_EQ(GetFile(name).size(), 16u);
    char record[5] = {};
    mapped.Read(record, 2);
    EXPECT_STREQ(record, "89AB");
}

TEST(QorFileProcesses, ConcurrentAppendersLoseNothing) {
    const ScratchDir dir;
    const std::string name = dir / "appended.log";
    const std::vector<int> exits = RunSelfTogether(
        Appenders, [&](int appender) { return "--append-child " + Word(name) + " " + std::to_string(appender); });
    for (int appender = 0; appender < Appenders; ++appender) EXPECT_EQ(exits[appender], 0) << appender;

    const std::string log = GetFile(name);
    const std::size_t entrySize = Entry(0, 0).size();
    EXPECT_EQ(log.size(), entrySize * Appenders * EntriesPerAppender);
    std::map<std::string, int> seen;
    CountEntries(log, entrySize, seen);
    int lost = 0;
    for (int appender = 0; appender < Appenders; ++appender) {
        for (int index = 0; index < EntriesPerAppender; ++index) lost += seen[Entry(appender, index)] == 1 ? 0 : 1;
    }
    EXPECT_EQ(lost, 0) << "entries missing, torn or written twice";
}

}  // namespace
}  // namespace qor

int main(int argc, char** argv) {
    const std::string role = argc > 1 ? argv[1] : "";
    if (role == "--share-child" && argc == 4) return qor::ShareChild(argv[2], argv[3]);
    if (role == "--emptying-child" && argc == 3) return qor::EmptyingChild(argv[2]);
    if (role == "--append-child" && argc == 4) return qor::AppendChild(argv[2], std::atoi(argv[3]));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
