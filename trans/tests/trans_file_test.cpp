// Reading the override file beside the program: found or not, read whole, and given up on, with one
// error-log entry, when another opener keeps it open for writing.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/log_except.h"
#include "support/qor_file.h"
#include "trans/tests/trans_testing.h"
#include "trans/trans.h"

namespace qor {
namespace {

using namespace std::string_literals;

// Record file open modes: write access sharing both reading and writing, as the error log and other
// writers hold a file; read access sharing reading. Both open an existing file.
constexpr std::int32_t WriterOpenMode = ModeWrite | ModeShareAny;
constexpr std::int32_t SharedReaderOpenMode = ModeRead | ModeShareRead;

const std::string OneText = "2|3|100|Hello|\r\n";
const std::string LocationLine = "Unit:    \"Trans\"  Procedure: \"ReadTranslationFile\"\r\n";

class TranslationFile : public transtest::ProgramDirTest {
protected:
    void SetUp() override {
        ProgramDirTest::SetUp();
        StartErrorLog(system);
    }
    void TearDown() override {
        StopErrorLog();
        ProgramDirTest::TearDown();
    }

    // The file with one text, held open by another opener through the record file layer.
    TQorFile& HoldFile(std::int32_t openMode) {
        PutTranslationFile(OneText);
        holder_ = std::make_unique<TQorFile>(FilePath(), 1);
        holder_->OpenMode = openMode;
        EXPECT_TRUE(holder_->Open(OpenExistingOnly));
        return *holder_;
    }

    std::string Log() const { return filetest::GetFile(dir / "corvix-tcpip.log"); }

    static std::size_t Count(const std::string& text, const std::string& part) {
        std::size_t count = 0;
        for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
        return count;
    }

    void ExpectQuietlyNotRead() {
        EXPECT_FALSE(TranslationFileRead);
        EXPECT_EQ(FilledSlots(), 0);
        EXPECT_TRUE(system.sleeps.empty());
        EXPECT_EQ(Log(), "");
    }

    std::unique_ptr<TQorFile> holder_;
};

TEST_F(TranslationFile, NoFileIsSilent) {
    ReadTranslationFile(os::RealFiles(), system);
    ExpectQuietlyNotRead();
}

TEST_F(TranslationFile, DirectoryOfThatNameIsNoFile) {
    std::filesystem::create_directory(FilePath());
    ReadTranslationFile(os::RealFiles(), system);
    ExpectQuietlyNotRead();
}

TEST_F(TranslationFile, EmptyFileIsReadWithoutTexts) {
    PutTranslationFile("");
    ReadTranslationFile(os::RealFiles(), system);
    EXPECT_TRUE(TranslationFileRead);
    EXPECT_EQ(FilledSlots(), 0);
    EXPECT_TRUE(system.sleeps.empty());
    EXPECT_EQ(Log(), "");
}

TEST_F(TranslationFile, FileBesideTheProgramIsReadUpToAZeroByte) {
    PutTranslationFile(
        "2|0|1500|Eigen|\r\n"
        "2|1|5|Find|\r"
        "2|2|5|Suchen|\n\r"
        "2|3|5|Chercher|\n"
        "2|4|5|x\\py|\0\r\n"
        "2|4|6|after the zero byte|\r\n"s);
    ReadTranslationFile(os::RealFiles(), system);
    EXPECT_TRUE(TranslationFileRead);
    EXPECT_EQ(Slot(1500, 0), "Eigen");
    EXPECT_EQ(Slot(5, 1), "Find");
    EXPECT_EQ(Slot(5, 2), "Suchen");
    EXPECT_EQ(Slot(5, 3), "Chercher");
    EXPECT_EQ(Slot(5, 4), "x|y");
    EXPECT_EQ(FilledSlots(), 5);
    EXPECT_TRUE(system.sleeps.empty());
    EXPECT_EQ(Log(), "");
}

TEST_F(TranslationFile, ReaderSharingTheFileDoesNotDelayIt) {
    HoldFile(SharedReaderOpenMode);
    ReadTranslationFile(os::RealFiles(), system);
    EXPECT_TRUE(TranslationFileRead);
    EXPECT_EQ(Slot(100, 3), "Hello");
    EXPECT_TRUE(system.sleeps.empty());
}

TEST_F(TranslationFile, WriterHoldingItThroughoutCostsEveryAttemptAndOneLogEntry) {
    TQorFile& writer = HoldFile(WriterOpenMode);

    ReadTranslationFile(os::RealFiles(), system);

    EXPECT_EQ(system.sleeps, std::vector<std::uint32_t>(100, 500));
    EXPECT_FALSE(TranslationFileRead);
    EXPECT_EQ(FilledSlots(), 0);
    const std::string log = Log();
    EXPECT_EQ(Count(log, "[LocalHostName="), 1u) << log;
    EXPECT_EQ(Count(log, LocationLine), 1u) << log;
    EXPECT_EQ(Count(log, "Message:"), 0u) << log;
    // The description names the last attempt's error: the sharing violation.
    EXPECT_EQ(Count(log, "\"Cannot open file \"" + FilePath() + "\" (error 32)\"."), 1u) << log;
    writer.Close();
    EXPECT_EQ(filetest::GetFile(FilePath()), OneText);
}

// Lets the writer go once the reader has waited a given number of times.
class ReleasingSystem : public os::fakes::FakeSystem {
public:
    ReleasingSystem(TQorFile& writer, std::size_t afterSleeps) : writer_(writer), afterSleeps_(afterSleeps) {}
    void Sleep(std::uint32_t milliseconds) override {
        FakeSystem::Sleep(milliseconds);
        if (sleeps.size() == afterSleeps_) writer_.Close();
    }

private:
    TQorFile& writer_;
    std::size_t afterSleeps_;
};

TEST_F(TranslationFile, WriterThatLetsGoAfterAFewAttempts) {
    ReleasingSystem releasing(HoldFile(WriterOpenMode), 3);
    releasing.modulePath = system.modulePath;

    ReadTranslationFile(os::RealFiles(), releasing);

    EXPECT_EQ(releasing.sleeps, std::vector<std::uint32_t>(3, 500));
    EXPECT_TRUE(TranslationFileRead);
    EXPECT_EQ(Slot(100, 3), "Hello");
    EXPECT_EQ(Log(), "");
}

// The texts refer to the content the table keeps: a release lets it go, and the next read keeps the
// new content, unescaped where it stands.
TEST_F(TranslationFile, ReadAgainAfterARelease) {
    PutTranslationFile("2|3|100|Hello|\r\n2|0|1500|a\\n\\rb|\r\n");
    ReadTranslationFile(os::RealFiles(), system);
    ASSERT_EQ(Slot(1500, 0), "a\r\nb");

    ReleaseTranslationTable();
    EXPECT_EQ(TranslationTextBytes(), 0u);
    PutTranslationFile("2|3|100|Bonjour|\r\n2|4|7000|x\\py|");
    ReadTranslationFile(os::RealFiles(), system);

    EXPECT_TRUE(TranslationFileRead);
    EXPECT_EQ(Slot(100, 3), "Bonjour");
    EXPECT_EQ(Slot(7000, 4), "x|y");
    EXPECT_EQ(FilledSlots(), 2);
}

}  // namespace
}  // namespace qor
