// Helpers for the translation table tests: a clean table around each test, and a program directory
// of its own in which the override file is written.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "os/fakes/fake_system.h"
#include "os/testing/scratch_dir.h"
#include "support/testing/qor_file_testing.h"
#include "trans/trans.h"

namespace qor::transtest {

class TableTest : public ::testing::Test {
protected:
    void SetUp() override { ReleaseTranslationTable(); }
    void TearDown() override { ReleaseTranslationTable(); }

    static std::string_view Slot(std::int32_t id, std::uint8_t language) {
        return TranslationTable[static_cast<std::size_t>(id)].Texts[language];
    }

    static int FilledSlots() {
        int filled = 0;
        for (const TTransRecord& record : TranslationTable) {
            for (const std::string_view text : record.Texts) filled += text.empty() ? 0 : 1;
        }
        return filled;
    }
};

// The program runs from a scratch directory, so the override file is looked for there.
class ProgramDirTest : public TableTest {
protected:
    ProgramDirTest() { system.modulePath = dir / "corvix-tcpip.exe"; }

    std::string FilePath() const { return dir / std::string(TranslationFileName); }
    void PutTranslationFile(const std::string& bytes) const { filetest::PutFile(FilePath(), bytes); }

    os::testing::ScratchDir dir;
    os::fakes::FakeSystem system;
};

}  // namespace qor::transtest
