// The record file object against callers and other openers that break its limits: record sizes below
// 1, negative counts, an opener that would empty a mapped file, a rename that could lose its target.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>

#include "os/testing/scratch_dir.h"
#include "support/qor_file.h"
#include "support/testing/qor_file_testing.h"

namespace qor {
namespace {

using filetest::GetFile;
using filetest::PutFile;
using filetest::RecordingFile;
using os::testing::ScratchDir;

constexpr std::int32_t ReadWriteShared = 2 | 48;
constexpr std::int32_t InvalidParameter = static_cast<std::int32_t>(os::ErrorInvalidParameter);
const std::string Content = "0123456789ABCDEF";

using Operation = std::pair<const char*, std::function<void(TQorFile&, char*)>>;

// Every record operation, with the label its refusal carries.
const Operation RecordOperations[] = {
    {"Seek", [](TQorFile& f, char*) { f.Seek(1); }},
    {"Write", [](TQorFile& f, char* b) { f.Write(b, 1); }},
    {"WriteBlock", [](TQorFile& f, char* b) { f.WriteBlock(b, 0, 2); }},
    {"WriteNoSk", [](TQorFile& f, char* b) { f.WriteNoSk(b); }},
    {"WriteBlockNoSk", [](TQorFile& f, char* b) { f.WriteBlockNoSk(b, 2); }},
    {"WriteStart", [](TQorFile& f, char* b) { f.WriteStart(b); }},
    {"WriteEnd", [](TQorFile& f, char* b) { f.WriteEnd(b); }},
    {"WriteEndBlock", [](TQorFile& f, char* b) { f.WriteEndBlock(b, 2); }},
    {"WriteEmpty", [](TQorFile& f, char*) { f.WriteEmpty(1); }},
    {"WriteText", [](TQorFile& f, char*) { f.WriteText("text", true); }},
    // The compound operations' transfer runs under its own label.
    {"Write", [](TQorFile& f, char* b) { f.OpenWriteClose(b, 0); }},
    {"Read", [](TQorFile& f, char* b) { f.Read(b, 1); }},
    {"ReadBlock", [](TQorFile& f, char* b) { f.ReadBlock(b, 0, 2); }},
    {"ReadNoSk", [](TQorFile& f, char* b) { f.ReadNoSk(b); }},
    {"ReadBlockNoSk", [](TQorFile& f, char* b) { f.ReadBlockNoSk(b, 2); }},
    {"ReadStartNoEofError", [](TQorFile& f, char* b) { f.ReadStartNoEofError(b); }},
    {"Read", [](TQorFile& f, char* b) { f.OpenReadClose(b, 0); }},
};

class BadRecordSize : public ::testing::TestWithParam<std::int32_t> {};

TEST_P(BadRecordSize, EveryRecordOperationIsRefusedAndTheFileKept) {
    const ScratchDir dir;
    PutFile(dir / "r.dat", Content);
    for (const bool mapped : {false, true}) {
        SCOPED_TRACE(mapped ? "mapped" : "normal");
        RecordingFile file(dir / "r.dat", GetParam());
        file.OpenMode = ReadWriteShared;
        file.Mapped = mapped;
        ASSERT_TRUE(file.Open(0));
        for (const auto& [label, operation] : RecordOperations) {
            SCOPED_TRACE(label);
            char buffer[64];
            std::memset(buffer, 'z', sizeof buffer);
            file.messages.clear();
            operation(file, buffer);
            EXPECT_EQ(file.LastError, InvalidParameter);
            ASSERT_EQ(file.messages.size(), 1u);
            EXPECT_NE(file.messages[0].find("\r\nError: Invalid parameter\r\nError code: 87\r\nAction: " +
                                            std::string(label) + "\r\nRecord size: " + std::to_string(GetParam())),
                      std::string::npos)
                << file.messages[0];
            file.ClearError();
        }
        file.Close();
        EXPECT_EQ(GetFile(dir / "r.dat"), Content);
    }
}

INSTANTIATE_TEST_SUITE_P(QorFileGuards, BadRecordSize, ::testing::Values(0, -1, -4096, INT32_MIN),
                         [](const auto& info) {
                             return info.param == 0 ? std::string("Zero") : "Minus" + std::to_string(-(info.param + 1));
                         });

TEST(QorFileGuards, NegativeCountsMoveNothing) {
    const ScratchDir dir;
    PutFile(dir / "r.dat", Content);
    RecordingFile file(dir / "r.dat", 4);
    file.OpenMode = ReadWriteShared;
    ASSERT_TRUE(file.Open(0));
    const Operation negative[] = {
        {"WriteBlock", [](TQorFile& f, char* b) { f.WriteBlock(b, 0, -1); }},
        {"WriteBlockNoSk", [](TQorFile& f, char* b) { f.WriteBlockNoSk(b, -2); }},
        {"WriteEndBlock", [](TQorFile& f, char* b) { f.WriteEndBlock(b, -1); }},
        {"ReadBlock", [](TQorFile& f, char* b) { f.ReadBlock(b, 0, -1); }},
        {"ReadBlockNoSk", [](TQorFile& f, char* b) { f.ReadBlockNoSk(b, -3); }},
    };
    for (const auto& [label, operation] : negative) {
        SCOPED_TRACE(label);
        char buffer[16];
        std::memset(buffer, 'z', sizeof buffer);
        file.messages.clear();
        operation(file, buffer);
        EXPECT_EQ(file.LastError, InvalidParameter);
        ASSERT_EQ(file.messages.size(), 1u);
        EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(16, 'z')) << "the caller's memory is left alone";
        file.ClearError();
    }
    file.Close();
    EXPECT_EQ(GetFile(dir / "r.dat"), Content);
}

TEST(QorFileGuards, AMappedFileIsNeverEmptiedUnderItsView) {
    const ScratchDir dir;
    PutFile(dir / "m.dat", Content);
    TQorFile mapped(dir / "m.dat", 4);
    mapped.OpenMode = ReadWriteShared;
    mapped.Mapped = true;
    ASSERT_TRUE(mapped.Open(0));
    ASSERT_NE(mapped.MappedView, nullptr);
    for (const std::uint8_t emptying : {2, 4}) {
        SCOPED_TRACE(emptying);
        RecordingFile other(dir / "m.dat", 4);
        other.OpenMode = ReadWriteShared;
        EXPECT_FALSE(other.Open(emptying));
        EXPECT_EQ(other.LastError, static_cast<std::int32_t>(os::ErrorUserMappedFile));
        ASSERT_EQ(GetFile(dir / "m.dat").size(), Content.size()) << "emptied under a view";
    }
    char record[5] = {};
    mapped.Read(record, 3);
    EXPECT_STREQ(record, "CDEF");
    // An opener that keeps the content is no danger to the view.
    TQorFile reader(dir / "m.dat", 4);
    reader.OpenMode = ReadWriteShared;
    EXPECT_TRUE(reader.Open(3));
    reader.Close();
    mapped.Close();

    TQorFile after(dir / "m.dat", 4);
    after.OpenMode = ReadWriteShared;
    EXPECT_TRUE(after.Open(4)) << "without a view the file may be emptied again";
    after.Close();
    EXPECT_EQ(GetFile(dir / "m.dat"), "");
}

TEST(QorFileGuards, AFailedReplacingRenameKeepsTheTarget) {
    const ScratchDir dir;
    PutFile(dir / "target.dat", "the only copy");
    RecordingFile missing(dir / "missing.dat", 1);
    missing.Rename("target.dat", true);
    EXPECT_EQ(missing.LastError, static_cast<std::int32_t>(os::ErrorFileNotFound));
    EXPECT_EQ(GetFile(dir / "target.dat"), "the only copy");

    // A directory in the target's place is not replaced either.
    PutFile(dir / "source.dat", "new");
    std::filesystem::create_directory(dir / "folder");
    const std::string inside = std::string("folder") + os::PathSeparator() + "inside.dat";
    PutFile(dir / inside, "kept");
    RecordingFile source(dir / "source.dat", 1);
    source.Rename("folder", true);
    EXPECT_FALSE(source.IsOk());
    EXPECT_EQ(GetFile(dir / "source.dat"), "new");
    EXPECT_EQ(GetFile(dir / inside), "kept");
}

}  // namespace
}  // namespace qor
