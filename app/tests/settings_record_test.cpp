// The record every attempt to store the server settings leaves in the system's log.
#include <gtest/gtest.h>

#include <functional>

#include "app/form.h"
#include "app/settings_record.h"
#include "os/fakes/fake_registry.h"
#include "os/fakes/fake_sockets.h"
#include "os/fakes/fake_system.h"
#include "os/fakes/fake_system_log.h"
#include "recording_view.h"
#include "support/error.h"
#include "support/log_except.h"

namespace {

using corvix::ControlId;
using os::fakes::FakeRegistry;
using Record = os::fakes::FakeSystemLog::Record;

const std::string Who = "user \"alice\"; program \"corvix-tcpip\"; host name ";
const std::string Denied =
    "reason: the registry key HKEY_LOCAL_MACHINE\\Software\\Qor\\Corvix\\TcpIp cannot be opened for writing "
    "(access denied)";

class SettingsRecord : public testing::Test {
public:
    void SetUp() override {
        corvix::StartRegistryRootB();
        qor::LastLogBody.clear();
    }
    void Store(const std::string& name, std::uint32_t type, std::vector<std::uint8_t> data) {
        registry_.values[FakeRegistry::Slot(std::string(corvix::SettingsKeyPath), name)] = {type, std::move(data)};
    }
    void StoreHost(const std::string& host) {
        std::vector<std::uint8_t> bytes(host.begin(), host.end());
        bytes.push_back(0);
        Store("HostName", os::RegSz, bytes);
    }
    // Stores `host` with port 234; the result, or -1 when the store raised.
    long StoreRecorded(const std::string& host) {
        try {
            return corvix::StoreSettingsRecorded({host, 234}, registry_, system_, log_);
        } catch (const qor::Error&) {
            return -1;
        }
    }

    FakeRegistry registry_;
    os::fakes::FakeSystem system_;
    os::fakes::FakeSystemLog log_;
};

TEST_F(SettingsRecord, EveryAttemptLeavesOneRecordSayingWhatBecameOfIt) {
    struct Row {
        const char* name;
        std::function<void(SettingsRecord&, FakeRegistry&)> before;
        long result;
        Record record;
    };
    using L = os::LogLevel;
    const Row rows[] = {
        {"stored", [](auto& t, auto&) { t.StoreHost("old.example"); }, 0,
         {L::Notice, 1, "settings stored; " + Who + "\"old.example\" -> \"new.example\"; port 234"}},
        {"nothing stored before: the default was in force", [](auto&, auto& r) { r.keyMissing = true; }, 0,
         {L::Notice, 1, "settings stored; " + Who + "\"127.0.0.1\" -> \"new.example\"; port 234"}},
        {"access denied", [](auto& t, auto& r) {
             t.StoreHost("old.example");
             r.denyWrite = true;
         }, 5,
         {L::Warning, 2, "settings NOT stored; " + Who + "\"old.example\" -> \"new.example\"; port 234; " + Denied}},
        {"a failed write", [](auto&, auto& r) { r.failSet = true; }, -1,
         {L::Warning, 2,
          "settings NOT stored; " + Who +
              "\"127.0.0.1\" -> \"new.example\"; port 234; reason: Failed to set data for 'HostName'"}},
        {"the old value of the wrong type",
         [](auto& t, auto&) { t.Store("HostName", os::RegDword, {1, 0, 0, 0}); }, 0,
         {L::Notice, 1,
          "settings stored; " + Who + "unknown (Invalid data type for 'HostName') -> \"new.example\"; port 234"}},
        {"nothing readable", [](auto&, auto& r) { r.denyAll = true; }, 5,
         {L::Warning, 2,
          "settings NOT stored; " + Who + "unknown (the key cannot be read) -> \"new.example\"; port 234; " + Denied}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        registry_ = {};
        log_.records.clear();
        row.before(*this, registry_);
        EXPECT_EQ(StoreRecorded("new.example"), row.result);
        ASSERT_EQ(log_.records.size(), 1u);
        EXPECT_EQ(log_.records[0].level, row.record.level);
        EXPECT_EQ(log_.records[0].eventId, row.record.eventId);
        EXPECT_EQ(log_.records[0].text, row.record.text);
    }
}

TEST_F(SettingsRecord, TextsFromOutsideStayOnOneLineAndInsideTheirQuotes) {
    struct Row {
        const char* name;
        std::string host;
        std::string recorded;  // UTF-8
    };
    const Row rows[] = {
        {"a line feed", "evil\nMay 1 host sshd: accepted", "\"evil\\x0AMay 1 host sshd: accepted\""},
        {"a terminal's escape", "\x1B]0;owned\x07", "\"\\x1B]0;owned\\x07\""},
        {"quotes and backslashes", "a\" -> \"b\\", "\"a\\\" -> \\\"b\\\\\""},
        {"bytes Windows-1252 leaves undefined", "x\x9D\x81y", "\"x\\x9D\\x81y\""},
        {"Windows-1252 letters", "caf\xE9", "\"caf\xC3\xA9\""},
        {"longer than a DNS name", std::string(300, 'a'), "\"" + std::string(255, 'a') + "\"... (300 bytes)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        log_.records.clear();
        StoreHost(row.host);  // as the old host name
        system_.userName = row.host;
        ASSERT_EQ(StoreRecorded(row.host), 0);
        ASSERT_EQ(log_.records.size(), 1u);
        EXPECT_EQ(log_.records[0].text, "settings stored; user " + row.recorded +
                                            "; program \"corvix-tcpip\"; host name " + row.recorded +
                                            " -> " + row.recorded + "; port 234");
    }
}

TEST_F(SettingsRecord, ALogThatFailsNeitherBlocksTheStoreNorLosesTheRecord) {
    log_.failWith = os::ErrorGenFailure;
    ASSERT_EQ(StoreRecorded("new.example"), 0);
    std::vector<std::uint8_t> stored = {'n', 'e', 'w', '.', 'e', 'x', 'a', 'm', 'p', 'l', 'e', 0};
    EXPECT_EQ(registry_.values[FakeRegistry::Slot(std::string(corvix::SettingsKeyPath), "HostName")].data, stored);
    EXPECT_NE(qor::LastLogBody.find("settings stored; " + Who +
                                    "\"127.0.0.1\" -> \"new.example\"; port 234 [not in the system log: error 31]"),
              std::string::npos)
        << qor::LastLogBody;
    EXPECT_NE(qor::LastLogBody.find("\"SettingsRecord\"  Procedure: \"RecordSettingsChange\""), std::string::npos);
}

// The window: OK records, whatever becomes of it; opening it (which writes the settings back) does not.
TEST_F(SettingsRecord, TheWindowRecordsOkButNotItsStartUpWriteBack) {
    os::fakes::FakeSockets sockets;
    corvix::testing::RecordingView view;
    corvix::TForm1 form{view, registry_, sockets, system_, log_};
    StoreHost("old.example");
    form.Run([](corvix::TForm1& f) { f.FormCreate(); });
    EXPECT_GT(registry_.sets, 0);
    EXPECT_TRUE(log_.records.empty());

    form.Control(ControlId::EditHostName).text = "new.example";
    form.Control(ControlId::EditPort).text = "port";
    form.Run([](corvix::TForm1& f) { f.ButtonOkClick(); });
    form.Control(ControlId::EditPort).text = "234";
    form.Run([](corvix::TForm1& f) { f.ButtonOkClick(); });
    ASSERT_EQ(log_.records.size(), 2u);
    EXPECT_EQ(log_.records[0].text, "settings NOT stored; " + Who +
                                        "\"old.example\" -> \"new.example\"; reason: 'port' is not a valid integer value");
    EXPECT_EQ(log_.records[1].text, "settings stored; " + Who + "\"old.example\" -> \"new.example\"; port 234");
    EXPECT_EQ(view.errors, std::vector<std::string>{"'port' is not a valid integer value."});
    EXPECT_EQ(view.closes, 1);
}

}  // namespace
