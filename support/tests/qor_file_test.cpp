// The record file object against real files in a scratch directory.
#include "support/qor_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <initializer_list>

#include "os/testing/scratch_dir.h"
#include "support/testing/qor_file_testing.h"

namespace qor {
namespace {

using filetest::GetFile;
using filetest::PutFile;
using filetest::RecordingFile;
using os::testing::ScratchDir;

constexpr std::int32_t ReadShared = ModeRead | ModeShareBoth;
constexpr std::int32_t ReadWriteShared = ModeReadWrite | ModeShareBoth;
constexpr std::int32_t ReadWriteExclusive = ModeReadWrite | ModeShareNone;
constexpr DayNumber January31Of2024 = 44955;

std::string ProgramPath() { return os::RealSystem().ModulePath(); }

// Leaves joined by the platform's separator; an empty last leaf leaves a trailing separator.
std::string Nested(std::initializer_list<const char*> leaves) {
    std::string path;
    for (const char* leaf : leaves) {
        if (!path.empty()) path += os::PathSeparator();
        path += leaf;
    }
    return path;
}

// ---- Names and extensions ----

TEST(QorFileNames, BarStandsForTheProgramDirectory) {
    const std::string expected = (std::filesystem::path(ProgramPath()).parent_path() / "data.dat").string();
    EXPECT_EQ(ExpandExeRelative("|data.dat"), expected);
    EXPECT_EQ(TQorFile("|data.dat", 1).FileName, expected);
    EXPECT_EQ(ExpandExeRelative("data.dat"), "data.dat");
    EXPECT_EQ(ExpandExeRelative(""), "");
}

TEST(QorFileNames, RelativeNameIsCompletedAgainstTheCurrentDirectory) {
    EXPECT_EQ(TQorFile("rel.dat", 1).FileName, (std::filesystem::current_path() / "rel.dat").string());
}

TEST(QorFileNames, ChangeExtension) {
    const ScratchDir dir;
    struct Row {
        const char* name;
        const char* stored;
        const char* ext;
        const char* expected;
    };
    const Row rows[] = {
        {"bare word", "data.txt", "log", "data.log"},
        {"with dot", "data.txt", ".log", "data.log"},
        {"empty removes", "data.txt", "", "data"},
        {"only the last part counts", "data.txt", "a.b", "data.b"},
        {"added when missing", "noext", "log", "noext.log"},
        {"last extension replaced", "data.2024.txt", ".log", "data.2024.log"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TQorFile file(dir / row.stored, 1);
        file.ChangeExtension(row.ext);
        EXPECT_EQ(file.FileName, dir / row.expected);
    }
    TQorFile dotted(dir / Nested({"d.x", "name"}), 1);
    dotted.ChangeExtension("log");
    EXPECT_EQ(dotted.FileName, dir / Nested({"d.x", "name.log"}));
}

TEST(QorFileNames, ProgramPathGetsTheLogExtension) {
    TQorFile file(ProgramPath(), 1);
    file.ChangeExtension(".log");
    EXPECT_EQ(file.FileName, std::filesystem::path(ProgramPath()).replace_extension(".log").string());
}

TEST(QorFileNames, PathBaseAndExtension) {
    const ScratchDir dir;
    const TQorFile file(dir / "data.2024.log", 1);
    EXPECT_EQ(file.GetFilePath(), dir / "");
    EXPECT_EQ(file.GetBaseName(), "data");
    EXPECT_EQ(file.GetFileExt(), ".log");
    const TQorFile plain(dir / Nested({"d.x", "name"}), 1);
    EXPECT_EQ(plain.GetBaseName(), "name");
    EXPECT_EQ(plain.GetFileExt(), "");
}

TEST(QorFileNames, DatePlaceholders) {
    const ScratchDir dir;
    TQorFile file(dir / "log#Y#M#D.txt", 1);
    EXPECT_EQ(file.GetFileName(), dir / "log#Y#M#D.txt") << "no day, no stamp";
    file.NameDay = January31Of2024;
    EXPECT_EQ(file.GetFileName(), dir / "log20240131.txt");
    EXPECT_EQ(file.FileName, dir / "log#Y#M#D.txt") << "the stored name keeps its placeholders";
    file.NameDay = LastDateDay + 1;
    EXPECT_EQ(file.GetFileName(), dir / "log00000000.txt") << "a rejected day stamps zeros";

    TQorFile twice(dir / "#Y-#Y-#m.txt", 1);
    twice.NameDay = January31Of2024;
    EXPECT_EQ(twice.GetFileName(), dir / "2024-#Y-#m.txt") << "first occurrence only, case-sensitive";
}

TEST(QorFileNames, ExistsLooksForTheStampedName) {
    const ScratchDir dir;
    PutFile(dir / "log20240131.txt", "x");
    TQorFile file(dir / "log#Y#M#D.txt", 1);
    EXPECT_FALSE(file.Exists());
    file.NameDay = January31Of2024;
    EXPECT_TRUE(file.Exists());
    std::filesystem::create_directory(dir / "folder");
    EXPECT_FALSE(TQorFile(dir / "folder", 1).Exists()) << "a directory is not a file";
}

// ---- Opening, nesting and counters ----

TEST(QorFileOpen, NestedOpensNeedAsManyCloses) {
    const ScratchDir dir;
    RecordingFile file(dir / "n.dat", 1);
    const std::int32_t openBefore = OpenFiles;
    ASSERT_TRUE(file.Open(OpenOrCreate));
    ASSERT_TRUE(file.Open(OpenOrCreate));
    EXPECT_EQ(file.OpenCount, 2);
    EXPECT_EQ(OpenFiles, openBefore + 1);
    file.Close();
    EXPECT_NE(file.Handle, os::InvalidFileHandle);
    file.Close();
    EXPECT_EQ(file.Handle, os::InvalidFileHandle);
    EXPECT_EQ(OpenFiles, openBefore);
    file.Close();
    EXPECT_EQ(file.OpenCount, 0);
    EXPECT_EQ(file.Action, "Close");
    EXPECT_TRUE(file.messages.empty());
}

TEST(QorFileOpen, NestedCreateAlwaysKeepsTheContent) {
    const ScratchDir dir;
    PutFile(dir / "keep.dat", "abc");
    {
        TQorFile file(dir / "keep.dat", 1);
        ASSERT_TRUE(file.Open(OpenOrCreate));
        ASSERT_TRUE(file.Open(CreateOrEmpty));
    }
    EXPECT_EQ(GetFile(dir / "keep.dat"), "abc");
}

TEST(QorFileOpen, DestructionReleasesTheHandleAtAnyDepth) {
    const ScratchDir dir;
    const std::int32_t objects = LiveObjects, files = LiveFiles, open = OpenFiles;
    {
        TQorFile file(dir / "deep.dat", 1);
        file.OpenMode = ReadWriteExclusive;
        ASSERT_TRUE(file.Open(OpenOrCreate));
        ASSERT_TRUE(file.Open(OpenOrCreate));
        EXPECT_EQ(LiveObjects, objects + 1);
        EXPECT_EQ(LiveFiles, files + 1);
    }
    EXPECT_EQ(LiveObjects, objects);
    EXPECT_EQ(LiveFiles, files);
    EXPECT_EQ(OpenFiles, open);
    TQorFile again(dir / "deep.dat", 1);
    again.OpenMode = ReadWriteExclusive;
    EXPECT_TRUE(again.Open(OpenExistingOnly)) << again.GetErrorText();
}

TEST(QorFileOpen, Dispositions) {
    const ScratchDir dir;
    struct Row {
        const char* name;
        bool existing;
        std::uint8_t disposition;
        std::int32_t error;  // 0: opens
        const char* after;   // content afterwards; null: no file
    };
    const Row rows[] = {
        {"OpenExistingOnly opens an existing file", true, OpenExistingOnly, 0, "old"},
        {"OpenExistingOnly on a missing file", false, OpenExistingOnly, os::ErrorFileNotFound, nullptr},
        {"CreateNewOnly creates a missing file", false, CreateNewOnly, 0, ""},
        {"CreateNewOnly on an existing file", true, CreateNewOnly, os::ErrorFileExists, "old"},
        {"EmptyExisting empties an existing file", true, EmptyExisting, 0, ""},
        {"EmptyExisting on a missing file", false, EmptyExisting, os::ErrorFileNotFound, nullptr},
        {"OpenOrCreate creates a missing file", false, OpenOrCreate, 0, ""},
        {"OpenOrCreate keeps an existing file", true, OpenOrCreate, 0, "old"},
        {"CreateOrEmpty empties an existing file", true, CreateOrEmpty, 0, ""},
        {"CreateOrEmpty creates a missing file", false, CreateOrEmpty, 0, ""},
        {"above 4 opens an existing file", true, 9, 0, "old"},
        {"above 4 on a missing file", false, 9, os::ErrorFileNotFound, nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string name = dir / "d.dat";
        std::filesystem::remove(name);
        if (row.existing) PutFile(name, "old");
        {
            TQorFile file(name, 1);
            EXPECT_EQ(file.Open(row.disposition), row.error == 0);
            EXPECT_EQ(file.LastError, row.error);
            EXPECT_EQ(file.OpenCount, row.error == 0 ? 1 : 0);
        }
        EXPECT_EQ(std::filesystem::exists(name), row.after != nullptr);
        if (row.after) {
            EXPECT_EQ(GetFile(name), row.after);
        }
    }
}

TEST(QorFileOpen, NotFoundAnswersOnceAndClears) {
    const ScratchDir dir;
    TQorFile file(dir / "missing.dat", 1);
    EXPECT_FALSE(file.Open(OpenExistingOnly));
    EXPECT_TRUE(file.IsNotFoundError());
    EXPECT_EQ(file.LastError, 0);
    EXPECT_TRUE(file.IsOk());
    EXPECT_FALSE(file.IsNotFoundError());

    TQorFile deeper(dir / Nested({"nodir", "missing.dat"}), 1);
    EXPECT_FALSE(deeper.Open(OpenExistingOnly));
    EXPECT_EQ(deeper.LastError, std::int32_t{os::ErrorPathNotFound});
    EXPECT_TRUE(deeper.IsNotFoundError());
}

// ---- Record reads and writes ----

TEST(QorFileRecords, WriteAndReadRecords) {
    const ScratchDir dir;
    TQorFile file(dir / "r.dat", 4);
    ASSERT_TRUE(file.Open(OpenOrCreate));
    file.Write("AAAA", 0);
    file.Write("CCCC", 2);
    file.WriteEmpty(1);
    file.WriteBlock("DDDDEEEE", 3, 2);
    EXPECT_EQ(file.Position, 20);
    file.WriteStart("aaaa");
    EXPECT_EQ(file.Position, 4);
    char record[5] = {};
    file.Read(record, 2);
    EXPECT_STREQ(record, "CCCC");
    char block[9] = {};
    file.ReadBlock(block, 3, 2);
    EXPECT_STREQ(block, "DDDDEEEE");
    file.Seek(0);
    file.ReadNoSk(record);
    EXPECT_STREQ(record, "aaaa");
    file.ReadBlockNoSk(block, 2);
    EXPECT_EQ(std::string(block, 8), std::string("\0\0\0\0CCCC", 8));
    EXPECT_EQ(file.LastCount, 8);
    EXPECT_TRUE(file.IsOk());
    file.Close();
    EXPECT_EQ(GetFile(dir / "r.dat"), std::string("aaaa\0\0\0\0CCCCDDDDEEEE", 20));
}

TEST(QorFileRecords, ReadPastTheEnd) {
    const ScratchDir dir;
    PutFile(dir / "short.dat", "abcdef");
    RecordingFile file(dir / "short.dat", 4);
    ASSERT_TRUE(file.Open(OpenExistingOnly));
    char buffer[4];
    std::memset(buffer, 'x', sizeof buffer);
    file.Read(buffer, 1);
    EXPECT_EQ(std::string(buffer, 4), std::string("ef\0\0", 4));
    EXPECT_EQ(file.LastCount, 2);
    EXPECT_TRUE(file.EofReached);
    EXPECT_EQ(file.LastError, FileErrorReadAfterEof);
    EXPECT_FALSE(file.IsOk());
    ASSERT_EQ(file.messages.size(), 1u);
    EXPECT_NE(file.messages[0].find("Error: Read after EOF\r\n"), std::string::npos);
    EXPECT_NE(file.messages[0].find("\r\nRead Record: 1"), std::string::npos);

    // While the error stands, reads only clear the buffer and writes do nothing.
    std::memset(buffer, 'x', sizeof buffer);
    file.Read(buffer, 0);
    EXPECT_EQ(std::string(buffer, 4), std::string(4, '\0'));
    file.Write("WXYZ", 0);
    EXPECT_EQ(file.LastCount, 0);
    file.Close();
    EXPECT_EQ(GetFile(dir / "short.dat"), "abcdef");
}

TEST(QorFileRecords, ReadStartWithoutEofErrorOnAnEmptyFile) {
    const ScratchDir dir;
    PutFile(dir / "empty.dat", "");
    RecordingFile file(dir / "empty.dat", 4);
    ASSERT_TRUE(file.Open(OpenExistingOnly));
    char buffer[4];
    std::memset(buffer, 'x', sizeof buffer);
    file.ReadStartNoEofError(buffer);
    EXPECT_EQ(std::string(buffer, 4), std::string(4, '\0'));
    EXPECT_EQ(file.LastError, FileErrorReadAfterEof);
    EXPECT_TRUE(file.IsOk());
    EXPECT_TRUE(file.messages.empty());
    EXPECT_TRUE(file.IsEofError());
    EXPECT_EQ(file.LastError, 0);
}

TEST(QorFileRecords, EofSilenceEndsWithTheNextAction) {
    const ScratchDir dir;
    PutFile(dir / "empty.dat", "");
    RecordingFile file(dir / "empty.dat", 4);
    ASSERT_TRUE(file.Open(OpenExistingOnly));
    char buffer[4];
    file.IgnoreEofError();
    file.ReadNoSk(buffer);
    EXPECT_FALSE(file.IsOk());
    EXPECT_EQ(file.messages.size(), 1u);
}

TEST(QorFileRecords, AppendsStartAtTheLastWholeRecord) {
    const ScratchDir dir;
    PutFile(dir / "ten.dat", "0123456789");
    TQorFile file(dir / "ten.dat", 4);
    ASSERT_TRUE(file.Open(OpenExistingOnly));
    file.WriteEnd("WXYZ");
    EXPECT_EQ(file.Position, 12);
    file.WriteEndBlock("abcdefgh", 2);
    EXPECT_EQ(file.Position, 20);
    file.Close();
    EXPECT_EQ(GetFile(dir / "ten.dat"), "01234567WXYZabcdefgh");
}

TEST(QorFileRecords, WriteText) {
    const ScratchDir dir;
    PutFile(dir / "t.txt", "x");
    TQorFile file(dir / "t.txt", 1);
    ASSERT_TRUE(file.Open(OpenExistingOnly));
    file.WriteText("", false);
    EXPECT_EQ(file.LastCount, 0);
    file.WriteText("", true);
    file.WriteText("abc", true);
    file.WriteText("de", false);
    EXPECT_TRUE(file.IsOk());
    file.Close();
    EXPECT_EQ(GetFile(dir / "t.txt"), "x\r\nabc\r\nde");
}

// ---- Error state and suppression ----

TEST(QorFileErrors, FinalCloseClearsAFailedWrite) {
    const ScratchDir dir;
    PutFile(dir / "ro.dat", "abcd");
    RecordingFile file(dir / "ro.dat", 2);
    file.OpenMode = ReadShared;
    ASSERT_TRUE(file.Open(OpenExistingOnly));
    file.Write("zz", 1);
    EXPECT_EQ(file.LastError, std::int32_t{os::ErrorAccessDenied});
    EXPECT_EQ(file.LastCount, 0);
    ASSERT_EQ(file.messages.size(), 1u);
    EXPECT_NE(file.messages[0].find("\r\nAction: Write\r\nWrite Record: 1"), std::string::npos);
    file.Close();
    EXPECT_TRUE(file.IsOk());
    EXPECT_EQ(file.LastError, 0);
    EXPECT_EQ(GetFile(dir / "ro.dat"), "abcd");
}

TEST(QorFileErrors, IgnoreErrorsOnceSilencesTheNextActionOnly) {
    const ScratchDir dir;
    RecordingFile file(dir / "closed.dat", 1);
    file.IgnoreErrorsOnce();
    file.Write("a", 0);
    EXPECT_EQ(file.LastError, std::int32_t{os::ErrorInvalidHandle});
    EXPECT_FALSE(file.ErrorFlag);
    EXPECT_TRUE(file.messages.empty());
    file.Write("a", 0);
    EXPECT_TRUE(file.ErrorFlag);
    EXPECT_EQ(file.messages.size(), 1u);
}

TEST(QorFileErrors, IgnoreErrorsOnceBelongsToTheCompoundLabel) {
    const ScratchDir dir;
    PutFile(dir / "ro.dat", "abcd");
    RecordingFile file(dir / "ro.dat", 1);
    file.OpenMode = ReadShared;
    file.IgnoreErrorsOnce();
    file.OpenWriteClose("z", 0);
    ASSERT_EQ(file.messages.size(), 1u);
    EXPECT_NE(file.messages[0].find("\r\nAction: Write\r\n"), std::string::npos);
    EXPECT_EQ(GetFile(dir / "ro.dat"), "abcd");
}

TEST(QorFileErrors, CompoundOperationsRoundTrip) {
    const ScratchDir dir;
    PutFile(dir / "c.dat", "aabbcc");
    TQorFile file(dir / "c.dat", 2);
    file.OpenWriteClose("XY", 1);
    char record[3] = {};
    file.OpenReadClose(record, 1);
    EXPECT_STREQ(record, "XY");
    EXPECT_EQ(file.Handle, os::InvalidFileHandle);
    EXPECT_TRUE(file.IsOk());
    EXPECT_EQ(GetFile(dir / "c.dat"), "aaXYcc");
}

TEST(QorFileErrors, SizeOfClosedAndOpenFiles) {
    const ScratchDir dir;
    RecordingFile missing(dir / "none.dat", 1);
    EXPECT_EQ(missing.GetMaxBytes(), 0);
    EXPECT_EQ(missing.Action, "GetMaxBytes");
    EXPECT_TRUE(missing.messages.empty());

    PutFile(dir / "ten.dat", "0123456789");
    TQorFile file(dir / "ten.dat", 1);
    EXPECT_EQ(file.GetMaxBytes(), 10);
    ASSERT_TRUE(file.Open(OpenExistingOnly));
    file.WriteEndBlock("ab", 2);
    EXPECT_EQ(file.GetMaxBytes(), 12);
}

TEST(QorFileErrors, CreatePathMakesEveryMissingLevel) {
    const ScratchDir dir;
    RecordingFile file(dir / Nested({"a", "b", "f.dat"}), 1);
    file.CreatePath();
    EXPECT_TRUE(std::filesystem::is_directory(dir / Nested({"a", "b"})));
    EXPECT_TRUE(file.IsOk());
    file.CreatePath();
    EXPECT_TRUE(file.IsOk()) << "existing levels are no error";
    EXPECT_TRUE(file.Open(OpenOrCreate));
    EXPECT_TRUE(file.messages.empty());
}

// ---- Mapped mode ----

bool OpenMapped(TQorFile& file, std::uint8_t disposition) {
    file.OpenMode = ReadWriteShared;
    file.Mapped = true;
    return file.Open(disposition);
}

TEST(QorFileMapped, PositionDependentOperationsAreRefused) {
    const ScratchDir dir;
    PutFile(dir / "m.dat", "0123456789ABCDEF");
    RecordingFile file(dir / "m.dat", 4);
    ASSERT_TRUE(OpenMapped(file, 0));
    ASSERT_TRUE(file.IsOk());
    char buffer[8] = {};
    const std::pair<const char*, std::function<void()>> refused[] = {
        {"WriteNoSk", [&] { file.WriteNoSk(buffer); }},
        {"WriteBlockNoSk", [&] { file.WriteBlockNoSk(buffer, 2); }},
        {"WriteEnd", [&] { file.WriteEnd(buffer); }},
        {"WriteEndBlock", [&] { file.WriteEndBlock(buffer, 2); }},
        {"WriteText", [&] { file.WriteText("abc", true); }},
        {"ReadNoSk", [&] { file.ReadNoSk(buffer); }},
        {"ReadBlockNoSk", [&] { file.ReadBlockNoSk(buffer, 2); }},
        {"ReadStartNoEofError", [&] { file.ReadStartNoEofError(buffer); }},
    };
    for (const auto& [label, operation] : refused) {
        SCOPED_TRACE(label);
        file.messages.clear();
        operation();
        EXPECT_EQ(file.LastError, FileErrorMemoryFile);
        ASSERT_EQ(file.messages.size(), 1u);
        EXPECT_NE(
            file.messages[0].find("\r\nError: Cannot perform action on memory file\r\nError code: 252\r\nAction: " +
                                  std::string(label) + "\r\n"),
            std::string::npos);
        file.ClearError();
    }
    file.Seek(3);
    EXPECT_EQ(file.Position, 0);
    EXPECT_TRUE(file.IsOk());
    file.Close();
    EXPECT_EQ(GetFile(dir / "m.dat"), "0123456789ABCDEF");
}

TEST(QorFileMapped, CopiesReachTheFile) {
    const ScratchDir dir;
    PutFile(dir / "m.dat", "0123456789ABCDEF");
    TQorFile file(dir / "m.dat", 4);
    ASSERT_TRUE(OpenMapped(file, 0));
    ASSERT_NE(file.MappedView, nullptr);
    char record[5] = {};
    file.Read(record, 1);
    EXPECT_STREQ(record, "4567");
    file.Write("wxyz", 2);
    file.WriteStart("abcd");
    file.WriteEmpty(3);
    char block[9] = {};
    file.ReadBlock(block, 1, 2);
    EXPECT_STREQ(block, "4567wxyz");
    EXPECT_EQ(file.Position, 0);
    EXPECT_EQ(file.LastCount, 0);
    file.Close();
    EXPECT_EQ(file.MappedView, nullptr);
    EXPECT_EQ(file.MappingHandle, 0u);
    EXPECT_EQ(GetFile(dir / "m.dat"), std::string("abcd4567wxyz\0\0\0\0", 16));
}

TEST(QorFileMapped, AnEmptyFileCannotBeMapped) {
    const ScratchDir dir;
    RecordingFile file(dir / "empty.dat", 4);
    EXPECT_TRUE(OpenMapped(file, 3)) << "the file is open even though its view is not";
    ASSERT_EQ(file.messages.size(), 1u);
    EXPECT_NE(file.messages[0].find("\r\nAction: Open\r\nCreateFileMapping"), std::string::npos);
    EXPECT_EQ(file.MappedView, nullptr);
    file.Write("abcd", 0);
    EXPECT_EQ(file.LastError, FileErrorMemoryFile) << "no view, no copy";
    file.Close();
    EXPECT_EQ(GetFile(dir / "empty.dat"), "");
}

TEST(QorFileMapped, CopiesOutsideTheViewAreRefused) {
    const ScratchDir dir;
    PutFile(dir / "m.dat", "0123456789ABCDEF");
    RecordingFile file(dir / "m.dat", 4);
    ASSERT_TRUE(OpenMapped(file, 0));
    file.Write("wxyz", 4);
    EXPECT_EQ(file.LastError, FileErrorMemoryFile);
    char block[12] = {};
    file.ReadBlock(block, 2, 3);
    EXPECT_EQ(file.LastError, FileErrorMemoryFile);
    file.Read(block, -1);
    EXPECT_EQ(file.LastError, FileErrorMemoryFile);
    EXPECT_EQ(file.messages.size(), 3u);
    file.Close();
    EXPECT_EQ(GetFile(dir / "m.dat"), "0123456789ABCDEF");
}

TEST(QorFileMapped, DifferentFilesNeverShareAView) {
    const ScratchDir dir;
    // Both names reduce to the same letters and digits.
    PutFile(dir / "a-1.dat", "first...");
    PutFile(dir / "a_1.dat", "second..");
    TQorFile first(dir / "a-1.dat", 8), second(dir / "a_1.dat", 8);
    for (TQorFile* file : {&first, &second}) {
        ASSERT_TRUE(OpenMapped(*file, 0));
    }
    first.Write("FIRST!!!", 0);
    char record[9] = {};
    second.Read(record, 0);
    EXPECT_STREQ(record, "second..");
    first.Close();
    second.Close();
    EXPECT_EQ(GetFile(dir / "a-1.dat"), "FIRST!!!");
    EXPECT_EQ(GetFile(dir / "a_1.dat"), "second..");
}

TEST(QorFileMapped, TwoViewsOfOneFileShareItsPages) {
    const ScratchDir dir;
    PutFile(dir / "one.dat", "abcdefgh");
    TQorFile first(dir / "one.dat", 4), second(dir / "one.dat", 4);
    for (TQorFile* file : {&first, &second}) {
        ASSERT_TRUE(OpenMapped(*file, 0));
    }
    first.Write("WXYZ", 1);
    char record[5] = {};
    second.Read(record, 1);
    EXPECT_STREQ(record, "WXYZ");
}

// ---- Rename and erase ----

TEST(QorFileWholeFile, EraseAndRenameRefuseAnOpenFile) {
    const ScratchDir dir;
    PutFile(dir / "open.dat", "x");
    RecordingFile file(dir / "open.dat", 1);
    ASSERT_TRUE(file.Open(OpenExistingOnly));
    file.Erase();
    EXPECT_EQ(file.LastError, FileErrorOpenFile);
    file.ClearError();
    file.Rename("other.dat", true);
    EXPECT_EQ(file.LastError, FileErrorOpenFile);
    ASSERT_EQ(file.messages.size(), 2u);
    for (const auto& message : file.messages) {
        EXPECT_NE(message.find("\r\nError: Cannot perform action on open file\r\n"), std::string::npos);
    }
    file.Close();
    EXPECT_EQ(GetFile(dir / "open.dat"), "x");
    EXPECT_FALSE(std::filesystem::exists(dir / "other.dat"));
}

TEST(QorFileWholeFile, RenameOntoAnExistingTarget) {
    const ScratchDir dir;
    PutFile(dir / "src.dat", "new");
    PutFile(dir / "dst.dat", "old");
    RecordingFile file(dir / "src.dat", 1);
    file.Rename("dst.dat", false);
    EXPECT_EQ(file.LastError, std::int32_t{os::ErrorAlreadyExists});
    ASSERT_EQ(file.messages.size(), 1u);
    EXPECT_NE(file.messages[0].find("\r\nAction: Rename\r\nNew name: " + (dir / "dst.dat")), std::string::npos);
    EXPECT_EQ(GetFile(dir / "dst.dat"), "old");

    file.ClearError();
    file.Rename("dst.dat", true);
    EXPECT_TRUE(file.IsOk());
    EXPECT_EQ(GetFile(dir / "dst.dat"), "new");
    EXPECT_FALSE(std::filesystem::exists(dir / "src.dat"));
    EXPECT_EQ(file.FileName, dir / "src.dat") << "the object still names the old path";
}

TEST(QorFileWholeFile, RenameFillsInTheMissingParts) {
    const ScratchDir dir;
    std::filesystem::create_directory(dir / "sub");
    PutFile(dir / "data.2024.log", "x");
    TQorFile file(dir / "data.2024.log", 1);
    file.Rename(dir / Nested({"sub", ""}), false);
    EXPECT_TRUE(file.IsOk());
    EXPECT_TRUE(std::filesystem::exists(dir / Nested({"sub", "data.log"})));

    TQorFile moved(dir / Nested({"sub", "data.log"}), 1);
    moved.Rename("kept.log", false);
    EXPECT_TRUE(moved.IsOk());
    EXPECT_TRUE(std::filesystem::exists(dir / Nested({"sub", "kept.log"})));
}

TEST(QorFileWholeFile, Erase) {
    const ScratchDir dir;
    PutFile(dir / "gone.dat", "x");
    TQorFile file(dir / "gone.dat", 1);
    file.Erase();
    EXPECT_TRUE(file.IsOk());
    EXPECT_FALSE(std::filesystem::exists(dir / "gone.dat"));
    file.Erase();
    EXPECT_EQ(file.LastError, std::int32_t{os::ErrorFileNotFound});
}

// ---- Messages, error texts and overrides ----

TEST(QorFileMessages, Layout) {
    const ScratchDir dir;
    RecordingFile file(dir / "missing.dat", 1);
    file.Open(OpenExistingOnly);
    ASSERT_EQ(file.messages.size(), 1u);
    EXPECT_EQ(file.messages[0], "\r\nDisk error\r\nFile: " + (dir / "missing.dat") +
                                    "\r\nError: File not found\r\nError code: 2\r\nAction: Open\r\n");
}

TEST(QorFileMessages, CutAt255Characters) {
    const ScratchDir dir;
    const std::string longLeaf = std::string(150, 'n') + ".dat";
    PutFile(dir / longLeaf, "a");
    PutFile(dir / "target.dat", "b");
    RecordingFile file(dir / longLeaf, 1);
    file.Rename("target.dat", false);
    const std::string whole =
        "\r\nDisk error\r\nFile: " + (dir / longLeaf) +
        "\r\nError: Unknown error: 183\r\nError code: 183\r\nAction: Rename\r\nNew name: " + (dir / "target.dat");
    ASSERT_GT(whole.size(), 255u);
    ASSERT_EQ(file.messages.size(), 1u);
    EXPECT_EQ(file.messages[0], whole.substr(0, 255));
}

TEST(QorFileMessages, ErrorTexts) {
    const std::pair<std::int32_t, const char*> rows[] = {
        {2, "File not found"},
        {5, "Access denied"},
        {65, "Access denied"},
        {14, "Unknown unit"},
        {20, "Unknown unit"},
        {53, "Network name not found"},
        {67, "Network name not found"},
        {36, "Sharing buffer exceeded"},
        {37, "Unknown error: 37"},
        {81, "Unknown error: 81"},
        {88, "Net write fault"},
        {112, "Unknown error: 112"},
        {0, "Unknown error: 0"},
        {-1, "Unknown error: 4294967295"},
        {252, "Cannot perform action on memory file"},
        {253, "Cannot perform action on open file"},
        {254, "Read after EOF"},
        {255, "Disk full"},
        {256, "Unknown error: 256"},
    };
    TQorFile file("x.dat", 1);
    for (const auto& [code, text] : rows) {
        file.LastError = code;
        EXPECT_EQ(file.GetErrorText(), text) << code;
    }
}

// A descendant's overrides take effect inside the class's own compound operations.
class CountingDescendant : public RecordingFile {
public:
    using RecordingFile::RecordingFile;
    bool Open(std::uint8_t disposition) override {
        ++opens;
        return RecordingFile::Open(disposition);
    }
    void Close() override {
        ++closes;
        RecordingFile::Close();
    }
    std::string GetErrorText() override { return "own text"; }
    int opens = 0;
    int closes = 0;
};

TEST(QorFileMessages, OverridesAreCalledFromWithin) {
    const ScratchDir dir;
    PutFile(dir / "o.dat", "ab");
    CountingDescendant file(dir / "o.dat", 1);
    char byte = 0;
    file.OpenReadClose(&byte, 1);
    file.OpenWriteClose("z", 0);
    EXPECT_EQ(file.opens, 2);
    EXPECT_EQ(file.closes, 2);
    file.Erase();
    file.Erase();
    ASSERT_EQ(file.messages.size(), 1u);
    EXPECT_NE(file.messages[0].find("\r\nError: own text\r\n"), std::string::npos);
}

// ---- Share modes between two handles of one process ----

TEST(QorFileShare, TwoObjectsInOneProcess) {
    const ScratchDir dir;
    const std::string name = dir / "shared.dat";
    filetest::CheckShareTable(name, [&] { return filetest::SecondOpenRow(name); });
}

}  // namespace
}  // namespace qor
