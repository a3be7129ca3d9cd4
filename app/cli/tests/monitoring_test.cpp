#include "app/cli/monitoring.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "os/fakes/refusing_files.h"
#include "os/testing/scratch_dir.h"

namespace {

using corvix::cli::ParseRange;
using corvix::cli::PerfItem;
using corvix::cli::Range;

struct RangeRow {
    std::string text;
    std::string shown;
    std::vector<double> alerts;
    std::vector<double> quiet;
};

// The guidelines' table: 10 alerts below 0 and above 10; 10: below 10; ~:10 above 10; 10:20 outside
// 10 to 20; @10:20 inside it, the ends included.
TEST(Ranges, AlertAsTheGuidelinesSay) {
    const RangeRow rows[] = {
        {"10", "10.000", {-0.001, 10.001, 100}, {0, 5, 10}},
        {"10:", "10.000:", {0, 9.999}, {10, 1e9}},
        {"~:10", "~:10.000", {10.001}, {-1e9, 0, 10}},
        {"10:20", "10.000:20.000", {9.999, 20.001}, {10, 15, 20}},
        {"@10:20", "@10.000:20.000", {10, 15, 20}, {9.999, 20.001}},
        {"0", "0.000", {0.000001}, {0}},
        {"0.5", "0.500", {0.5001}, {0.5}},
        {"1.25:", "1.250:", {1.2}, {1.25}},
        {".0005", "0.0005", {0.0006}, {0.0005}},
        {"0:", "0.000:", {-0.5}, {0, 7}},
        {":3", "3.000", {3.5}, {0, 3}},
        {"~:", "~:", {}, {-5, 0, 5}},
        {"-1:2.", "-1.000:2.000", {-1.5, 2.5}, {-1, 2}},
    };
    for (const RangeRow& row : rows) {
        SCOPED_TRACE(row.text);
        const std::optional<Range> range = ParseRange(row.text);
        ASSERT_TRUE(range);
        EXPECT_EQ(range->Text(), row.shown);
        for (const double value : row.alerts) EXPECT_TRUE(range->Alerts(value)) << value;
        for (const double value : row.quiet) EXPECT_FALSE(range->Alerts(value)) << value;
        // What it prints reads back as the same range.
        const std::optional<Range> again = ParseRange(range->Text());
        ASSERT_TRUE(again);
        EXPECT_EQ(again->Text(), row.shown);
    }
}

TEST(Ranges, RefuseWhatIsNoRange) {
    for (const char* text : {"", "@", "x", "1x", "10:5", "1:2:3", "~", "~10", "1e3", "0x10", " 1", "1 ", "+1", "--1",
                             ".", "-", "@@1", "1,5", "~:~", "nan", "inf"}) {
        EXPECT_FALSE(ParseRange(text)) << text;
    }
}

TEST(Seconds, PlainDecimalNumbersOnly) {
    EXPECT_EQ(corvix::cli::ParseSeconds("10"), 10.0);
    EXPECT_EQ(corvix::cli::ParseSeconds("0.5"), 0.5);
    EXPECT_EQ(corvix::cli::ParseSeconds("2."), 2.0);
    EXPECT_EQ(corvix::cli::ParseSeconds(".25"), 0.25);
    for (const char* text : {"", "-1", "1s", "1e1", "one", " 1", "1.2.3"}) {
        EXPECT_FALSE(corvix::cli::ParseSeconds(text)) << text;
    }
    EXPECT_EQ(corvix::cli::ShortNumber(10), "10");
    EXPECT_EQ(corvix::cli::ShortNumber(0.5), "0.5");
    EXPECT_EQ(corvix::cli::ShortNumber(0), "0");
}

TEST(PerfData, AsTheGuidelinesWriteIt) {
    EXPECT_EQ((PerfItem{"dns", 0.000412, {}, {}, 0.0, {}, true}.Text()), "dns=0.000412s;;;0;");
    EXPECT_EQ((PerfItem{"connect", 0.00121, ParseRange("1"), ParseRange("5"), 0.0, 10.0}.Text()),
              "connect=0.001210s;1.000;5.000;0;10");
    EXPECT_EQ((PerfItem{"connect", std::nullopt, {}, {}, 0.0, 10.0}.Text()), "connect=U;;;0;10");
    EXPECT_EQ((PerfItem{"connect", 2.5, ParseRange("@1:2"), {}, 0.0, 0.5}.Text()),
              "connect=2.500000s;@1.000:2.000;;0;0.5");
    EXPECT_EQ((PerfItem{"time", 1.0}.Text()), "time=1.000000s");
}

TEST(ProbeMetrics, TheBlackboxExportersNamesWithHostAndPort) {
    corvix::cli::Probe probe;
    probe.host = "b\xC3\xBC\"cher\\";
    probe.port = 234;
    probe.success = true;
    probe.durationSeconds = 0.0015;
    probe.dnsLookupSeconds = 0.000412;
    const std::string labels = "{host=\"b\xC3\xBC\\\"cher\\\\\",port=\"234\"}";
    EXPECT_EQ(corvix::cli::ProbeMetrics(probe),
              "# HELP probe_success Displays whether or not the probe was a success\n"
              "# TYPE probe_success gauge\n"
              "probe_success" + labels + " 1\n"
              "# HELP probe_duration_seconds Returns how long the probe took to complete in seconds\n"
              "# TYPE probe_duration_seconds gauge\n"
              "probe_duration_seconds" + labels + " 0.001500\n"
              "# HELP probe_dns_lookup_time_seconds Returns the time taken for probe dns lookup in seconds\n"
              "# TYPE probe_dns_lookup_time_seconds gauge\n"
              "probe_dns_lookup_time_seconds" + labels + " 0.000412\n");
}

std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The names in the directory: only the file itself, when no temporary file was left behind.
std::vector<std::string> Names(const os::testing::ScratchDir& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

TEST(WriteFileAtomically, ReplacesTheFileWholeAndLeavesNothingElse) {
    os::testing::ScratchDir dir;
    os::Files& files = os::RealFiles();
    const std::string path = dir / "corvix_tcpip.prom";
    ASSERT_EQ(corvix::cli::WriteFileAtomically(files, path, "first\n"), 0u);
    EXPECT_EQ(Contents(path), "first\n");
    ASSERT_EQ(corvix::cli::WriteFileAtomically(files, path, "second, longer\n"), 0u);
    EXPECT_EQ(Contents(path), "second, longer\n");
    ASSERT_EQ(corvix::cli::WriteFileAtomically(files, path, "3\n"), 0u);
    EXPECT_EQ(Contents(path), "3\n");
    EXPECT_EQ(Names(dir), std::vector<std::string>{"corvix_tcpip.prom"});
}

TEST(WriteFileAtomically, AFailureLeavesTheOldFileAndNoTemporaryOne) {
    os::testing::ScratchDir dir;
    const std::string path = dir / "corvix_tcpip.prom";
    ASSERT_EQ(corvix::cli::WriteFileAtomically(os::RealFiles(), path, "old\n"), 0u);
    os::fakes::RefusingFiles refusing(os::RealFiles());
    std::string refused;
    refusing.refuseOpen = [&refused](const std::string& name, std::uint32_t) {
        refused = name;
        return os::ErrorAccessDenied;
    };
    EXPECT_EQ(corvix::cli::WriteFileAtomically(refusing, path, "new\n"), os::ErrorAccessDenied);
    // The new file is made beside the old one, under a name that node_exporter does not read.
    EXPECT_TRUE(refused.starts_with(path + ".")) << refused;
    EXPECT_TRUE(refused.ends_with(".tmp")) << refused;
    EXPECT_EQ(Contents(path), "old\n");
    EXPECT_EQ(Names(dir), std::vector<std::string>{"corvix_tcpip.prom"});
    // A directory that does not exist.
    EXPECT_EQ(corvix::cli::WriteFileAtomically(os::RealFiles(), (dir / "missing") + os::PathSeparator() + "x.prom", "x\n"),
              os::ErrorPathNotFound);
}

}  // namespace
