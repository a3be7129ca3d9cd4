#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "os/fakes/fake_system.h"
#include "support/halt.h"
#include "support/startup_defaults.h"

namespace {

using os::fakes::At;

struct OffsetRow {
    const char* name;
    os::SystemTime utc;
    os::SystemTime local;
    std::int32_t hours;
};

void PrintTo(const OffsetRow& row, std::ostream* out) { *out << row.name; }

class UtcOffset : public testing::TestWithParam<OffsetRow> {};

TEST_P(UtcOffset, WholeHoursPositiveWest) {
    const OffsetRow& row = GetParam();
    EXPECT_EQ(qor::ComputeUtcOffsetHours(row.utc, row.local), row.hours);
    os::fakes::FakeSystem system;
    system.utc = row.utc;
    system.local = row.local;
    qor::StartCalendarModule(system);
    EXPECT_EQ(qor::UtcOffsetHours, row.hours);
}

INSTANTIATE_TEST_SUITE_P(
    Zones, UtcOffset,
    testing::Values(OffsetRow{"CentralEuropeWinter", At(2026, 1, 15, 13, 20), At(2026, 1, 15, 14, 20), -1},
                    OffsetRow{"CentralEuropeSummer", At(2026, 7, 15, 12, 20), At(2026, 7, 15, 14, 20), -2},
                    OffsetRow{"UtcMinus5", At(2026, 3, 2, 3, 10), At(2026, 3, 1, 22, 10), 5},
                    OffsetRow{"Utc", At(2026, 3, 2, 3, 10), At(2026, 3, 2, 3, 10), 0},
                    OffsetRow{"YearChange", At(2026, 12, 31, 23, 40), At(2027, 1, 1, 0, 40), -1},
                    OffsetRow{"LeapDayChange", At(2028, 2, 28, 23, 0), At(2028, 2, 29, 1, 0), -2},
                    OffsetRow{"HalfHourBeforeTheHalf", At(2026, 5, 1, 4, 50), At(2026, 5, 1, 10, 20), -6},
                    OffsetRow{"HalfHourAfterTheHalf", At(2026, 5, 1, 5, 10), At(2026, 5, 1, 10, 40), -5},
                    OffsetRow{"FarWestAcrossTheDate", At(2026, 1, 1, 2, 0), At(2025, 12, 31, 14, 0), 12}),
    [](const auto& info) { return std::string(info.param.name); });

std::vector<std::pair<std::string, std::string>> boxes;

void RecordBox(const std::string& caption, const std::string& text) { boxes.emplace_back(caption, text); }

class RecordChecks : public testing::Test {
protected:
    void SetUp() override {
        boxes.clear();
        qor::ShowErrorMessageBox = RecordBox;
    }
    void TearDown() override { qor::ShowErrorMessageBox = nullptr; }

    static std::array<std::int32_t, qor::CheckedRecordCount> Required() {
        return {64, 1024, 512, 512, 512, 128, 1024, 3584, 256, 64, 414, 512, 1024, 3072, 6469};
    }
    // The exit code of a halt, or -1 when the checks pass.
    static int Run(const std::array<std::int32_t, qor::CheckedRecordCount>& sizes) {
        try {
            qor::CheckRecordSizes(sizes);
            return -1;
        } catch (const qor::Halt& halt) {
            return halt.exitCode;
        }
    }
};

TEST_F(RecordChecks, TheLibrarysRecordsPass) {
    EXPECT_NO_THROW(qor::StartRecordChecks());
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(Run(Required()), -1);
}

TEST_F(RecordChecks, OnlyTheFirstWrongRecordIsReported) {
    auto sizes = Required();
    sizes[2] = 511;
    sizes[11] = 0;
    EXPECT_EQ(Run(sizes), 1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].first, "Error");
    EXPECT_EQ(boxes[0].second, "SizeOf(DoorRecord) = 511 instead of 512. Check ZiDu.");
}

TEST_F(RecordChecks, TheMaximumIsExclusive) {
    auto sizes = Required();
    sizes[14] = 7999;
    EXPECT_EQ(Run(sizes), -1);
    sizes[14] = 8000;
    EXPECT_EQ(Run(sizes), 1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].second, "SizeOf(TBlokAutoRecord) = 8000, the maximum = 8000. Check ZiDu / Net_Sess.");
}

TEST(StartupDefaults, RootsAreGivenOnlyWhenUnset) {
    qor::RegistryRootA = 0;
    qor::RegistryRootC = 0x80000001;
    qor::StartRegistryRootA();
    qor::StartRegistryRootC();
    EXPECT_EQ(qor::RegistryRootA, os::HkeyLocalMachine);
    EXPECT_EQ(qor::RegistryRootC, 0x80000001u);
    qor::RegistryRootC = 0;
}

TEST(StartupDefaults, PlaceholderAndLocksLiveFromStartToStop) {
    qor::StartPlaceholderText();
    EXPECT_EQ(qor::PlaceholderText, "??");
    qor::StopPlaceholderText();
    EXPECT_EQ(qor::PlaceholderText, "");

    qor::StartSharedLocks();
    EXPECT_EQ(qor::SharedLockCount, 20);
    for (auto* lock : {qor::SharedLockA.get(), qor::SharedLockB.get(), qor::SharedLockC.get()}) {
        ASSERT_NE(lock, nullptr);
        lock->Enter();
        lock->Enter();  // recursive, like a critical section
        lock->Leave();
        lock->Leave();
    }
    qor::StopSharedLocks();
    EXPECT_EQ(qor::SharedLockA, nullptr);
    EXPECT_EQ(qor::SharedLockC, nullptr);
}

}  // namespace
