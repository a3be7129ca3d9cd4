// The record every attempt to store the server settings leaves in the system's log.
#include <gtest/gtest.h>

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
using os::LogLevel;

const std::string Who = "user \"alice\"; program \"corvix-tcpip\"; host name ";
const std::string Denied =
    "; port 234; reason: the registry key HKEY_LOCAL_MACHINE\\Software\\Qor\\Corvix\\TcpIp "
    "cannot be opened for writing (access denied)";

class SettingsRecord : public testing::Test {
public:
    void SetUp() override {
        corvix::StartRegistryRootB();
        qor::LastLogBody.clear();
    }
    void StoreHost(const std::string& host, std::uint32_t type = os::RegSz) {
        std::vector<std::uint8_t> bytes(host.begin(), host.end());
        bytes.push_back(0);
        registry_.values[os::fakes::FakeRegistry::Slot(std::string(corvix::SettingsKeyPath), "HostName")] = {type,
                                                                                                             bytes};
    }
    // Stores `host` with port 234: the result, or -1 when the store raised.
    long StoreRecorded(const std::string& host) {
        try {
            return corvix::StoreSettingsRecorded({host, 234}, registry_, system_, log_);
        } catch (const qor::Error&) {
            return -1;
        }
    }

    os::fakes::FakeRegistry registry_;
    os::fakes::FakeSystem system_;
    os::fakes::FakeSystemLog log_;
};

TEST_F(SettingsRecord, EveryAttemptLeavesOneRecordSayingWhatBecameOfIt) {
    using Setup = void (*)(SettingsRecord&);
    struct Row {
        const char* name;
        Setup setup;
        long result;
        os::fakes::FakeSystemLog::Record record;
    };
    const Row rows[] = {
        {"stored",
         [](SettingsRecord& t) { t.StoreHost("old.example"); },
         0,
         {LogLevel::Notice, 1, "settings stored; " + Who + "\"old.example\" -> \"new.example\"; port 234"}},
        {"nothing stored before: the default",
         [](SettingsRecord& t) { t.registry_.keyMissing = true; },
         0,
         {LogLevel::Notice, 1, "settings stored; " + Who + "\"127.0.0.1\" -> \"new.example\"; port 234"}},
        {"the old value of the wrong type",
         [](SettingsRecord& t) { t.StoreHost("x", os::RegDword); },
         0,
         {LogLevel::Notice, 1,
          "settings stored; " + Who + "unknown (Invalid data type for 'HostName') -> \"new.example\"; port 234"}},
        {"access denied",
         [](SettingsRecord& t) {
             t.StoreHost("old.example");
             t.registry_.denyWrite = true;
         },
         5,
         {LogLevel::Warning, 2, "settings NOT stored; " + Who + "\"old.example\" -> \"new.example\"" + Denied}},
        {"nothing readable",
         [](SettingsRecord& t) { t.registry_.denyAll = true; },
         5,
         {LogLevel::Warning, 2,
          "settings NOT stored; " + Who + "unknown (the key cannot be read) -> \"new.example\"" + Denied}},
        {"a failed write",
         [](SettingsRecord& t) { t.registry_.failSet = true; },
         -1,
         {LogLevel::Warning, 2,
          "settings NOT stored; " + Who +
              "\"127.0.0.1\" -> \"new.example\"; port 234; reason: Failed to set data for 'HostName'"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        registry_ = {};
        log_.records.clear();
        row.setup(*this);
        EXPECT_EQ(StoreRecorded("new.example"), row.result);
        ASSERT_EQ(log_.records.size(), 1u);
        EXPECT_EQ(log_.records[0].level, row.record.level);
        EXPECT_EQ(log_.records[0].eventId, row.record.eventId);
        EXPECT_EQ(log_.records[0].text, row.record.text);
    }
}

TEST_F(SettingsRecord, TextsFromOutsideStayOnOneLineAndInsideTheirQuotes) {
    const std::pair<std::string, std::string> rows[] = {
        // the text, and in the record (UTF-8)
        {"evil\nMay 1 host sshd: accepted", "\"evil\\x0AMay 1 host sshd: accepted\""},
        {"\x1B]0;owned\x07", "\"\\x1B]0;owned\\x07\""},
        {"a\" -> \"b\\", "\"a\\\" -> \\\"b\\\\\""},
        {"x\x9D\x81y", "\"x\\x9D\\x81y\""},  // undefined in Windows-1252: C1 controls
        {"caf\xE9", "\"caf\xC3\xA9\""},
        {std::string(300, 'a'), "\"" + std::string(255, 'a') + "\"... (300 bytes)"},
    };
    for (const auto& [text, recorded] : rows) {
        SCOPED_TRACE(recorded);
        log_.records.clear();
        StoreHost(text);
        system_.userName = text;
        ASSERT_EQ(StoreRecorded(text), 0);
        ASSERT_EQ(log_.records.size(), 1u);
        EXPECT_EQ(log_.records[0].text, "settings stored; user " + recorded + "; program \"corvix-tcpip\"; host name " +
                                            recorded + " -> " + recorded + "; port 234");
    }
}

TEST_F(SettingsRecord, ALogThatFailsNeitherBlocksTheStoreNorLosesTheRecord) {
    log_.failWith = os::ErrorGenFailure;
    ASSERT_EQ(StoreRecorded("new.example"), 0);
    EXPECT_EQ(registry_.sets, 2);
    EXPECT_NE(qor::LastLogBody.find("settings stored; " + Who +
                                    "\"127.0.0.1\" -> \"new.example\"; port 234 [not in the system log: error 31]"),
              std::string::npos)
        << qor::LastLogBody;
}

// OK records whatever becomes of it; opening the window, which writes the settings back, does not.
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
    EXPECT_EQ(log_.records[0].text,
              "settings NOT stored; " + Who +
                  "\"old.example\" -> \"new.example\"; reason: 'port' is not a valid integer value");
    EXPECT_EQ(log_.records[1].text, "settings stored; " + Who + "\"old.example\" -> \"new.example\"; port 234");
    EXPECT_EQ(view.closes, 1);
}

}  // namespace
