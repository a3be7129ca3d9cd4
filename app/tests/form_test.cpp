#include <gtest/gtest.h>

#include "app/form.h"
#include "os/errors.h"
#include "os/fakes/fake_registry.h"
#include "os/fakes/fake_sockets.h"
#include "os/fakes/fake_system.h"
#include "os/fakes/fake_system_log.h"
#include "recording_view.h"

namespace {

using corvix::ControlId;
using corvix::TForm1;

class Form : public testing::Test {
protected:
    void SetUp() override { corvix::StartRegistryRootB(); }
    void Create() {
        form_.Run([](TForm1& f) { f.FormCreate(); });
    }
    const corvix::ControlState& State(ControlId id) const { return form_.Control(id); }

    os::fakes::FakeRegistry registry_;
    os::fakes::FakeSockets sockets_;
    os::fakes::FakeSystem system_;
    os::fakes::FakeSystemLog systemLog_;
    corvix::testing::RecordingView view_;
    TForm1 form_{view_, registry_, sockets_, system_, systemLog_};
};

TEST_F(Form, StartsWithTheLayoutsTexts) {
    EXPECT_EQ(State(ControlId::LabelWait).text, "Please wait...");
    EXPECT_FALSE(State(ControlId::LabelWait).visible);
    EXPECT_EQ(State(ControlId::LabelWait).fontColour, corvix::Red);
    EXPECT_EQ(State(ControlId::LabelHost).text, "-");
    EXPECT_FALSE(State(ControlId::EditDefault).enabled);
    EXPECT_EQ(form_.settings.hostName, "");
    EXPECT_EQ(form_.settings.port, 0);
}

TEST_F(Form, ShowsWinsockAndSystemFacts) {
    sockets_.data.wHighVersion = 0x0002;
    system_.wow64 = os::Wow64Query::Yes;
    Create();
    EXPECT_TRUE(view_.errors.empty());
    EXPECT_EQ(State(ControlId::LabelResultInit).text, "Ok");
    EXPECT_EQ(State(ControlId::LabelResultInit).fontColour, corvix::Black);
    EXPECT_EQ(State(ControlId::LabelVersion).text, "1.1  2.0");
    EXPECT_EQ(State(ControlId::LabelDescription).text, "WinSock 2.0");
    EXPECT_EQ(State(ControlId::LabelSysStat).text, "Running");
    EXPECT_EQ(State(ControlId::LabelMaxSockets).text, "32767");
    EXPECT_EQ(State(ControlId::LabelMaxDataGram).text, "65467");
    EXPECT_EQ(State(ControlId::LabelHostName).text, "workstation-7");
    EXPECT_EQ(State(ControlId::LabelOs).text, "Win 7 (2.6.1)");
    EXPECT_EQ(State(ControlId::LabelIsWow64).text, "Ja");
    EXPECT_EQ(State(ControlId::EditDefault).text, "Def: 234");
    EXPECT_EQ(form_.TestSocket, os::InvalidSocket);
    EXPECT_EQ(State(ControlId::LabelHost).text, "-");  // never set at creation
}

TEST_F(Form, FailedStartupIsShownInRed) {
    sockets_.startupResult = os::WsaSysNotReady;
    Create();
    EXPECT_TRUE(view_.errors.empty());
    EXPECT_EQ(State(ControlId::LabelResultInit).text, "10091:SYSNOTREADY");
    EXPECT_EQ(State(ControlId::LabelResultInit).fontColour, corvix::Red);
    EXPECT_EQ(State(ControlId::LabelVersion).text, "LabelVersion");
    EXPECT_EQ(State(ControlId::LabelHostName).text, "LabelHostName");
    EXPECT_EQ(State(ControlId::EditPort).text, "234");
}

TEST_F(Form, HostNameOfFortyCharactersDoesNotFit) {
    sockets_.hostName = std::string(39, 'h');
    Create();
    EXPECT_EQ(State(ControlId::LabelHostName).text, std::string(39, 'h'));
    sockets_.hostName = std::string(40, 'h');
    Create();
    EXPECT_EQ(State(ControlId::LabelHostName).text, "");
}

TEST_F(Form, KeyThatCannotBeOpenedLeavesEmptyFieldsAndOffersTheDefault) {
    registry_.denyAll = true;
    Create();
    EXPECT_TRUE(view_.errors.empty());
    EXPECT_EQ(registry_.sets, 0);
    EXPECT_EQ(State(ControlId::EditHostName).text, "");
    EXPECT_EQ(State(ControlId::EditPort).text, "0");
    EXPECT_TRUE(State(ControlId::EditDefault).visible);
    EXPECT_FALSE(State(ControlId::EditDefault).enabled);
    EXPECT_EQ(State(ControlId::EditDefault).text, "Def: 234");
    EXPECT_TRUE(State(ControlId::ButtonSetDefault).visible);
    EXPECT_EQ(State(ControlId::EditPort).width, 88);
    form_.Run([](TForm1& f) { f.ButtonSetDefaultClick(); });
    EXPECT_EQ(State(ControlId::EditPort).text, "234");
    EXPECT_EQ(registry_.sets, 0);
}

TEST_F(Form, ReadOnlyKeyShowsTheSettingsAndOkThatCannotStoreSaysSoAndKeepsTheWindowOpen) {
    registry_.values[registry_.Slot(std::string(corvix::SettingsKeyPath), "HostName")] = {os::RegSz,
                                                                                          {'s', 'r', 'v', 0}};
    registry_.denyWrite = true;
    Create();
    EXPECT_TRUE(view_.errors.empty());  // the write-back at creation stays silent
    EXPECT_EQ(State(ControlId::EditHostName).text, "srv");
    EXPECT_EQ(State(ControlId::EditPort).text, "234");
    form_.Control(ControlId::EditHostName).text = "other";
    form_.Run([](TForm1& f) { f.ButtonOkClick(); });
    ASSERT_EQ(view_.errors.size(), 1u);
    EXPECT_EQ(view_.errors[0].rfind("The settings were not stored: the registry key "
                                    "HKEY_LOCAL_MACHINE\\Software\\Qor\\Corvix\\TcpIp cannot be opened for "
                                    "writing (access denied). ",
                                    0),
              0u)
        << view_.errors[0];
    EXPECT_EQ(view_.errors[0].back(), '.');
    EXPECT_EQ(view_.closes, 0);
    EXPECT_EQ(State(ControlId::EditHostName).text, "other");
    EXPECT_EQ(registry_.sets, 0);
    EXPECT_EQ(registry_.opened, registry_.closed);
    form_.Run([](TForm1& f) { f.ButtonCancelClick(); });
    EXPECT_EQ(view_.closes, 1);
}

TEST(NotStoredMessage, NamesTheFailureThatIsNotAccessDenied) {
    const std::string message = corvix::NotStoredMessage(os::ErrorRegistryIoFailed);
    EXPECT_NE(message.find("(error " + std::to_string(os::ErrorRegistryIoFailed) + ")"), std::string::npos) << message;
}

TEST_F(Form, CreatingWithoutStoringWritesNothing) {
    registry_.values[registry_.Slot(std::string(corvix::SettingsKeyPath), "HostPort")] = {os::RegDword,
                                                                                          {0xD2, 0x04, 0, 0}};
    form_.Run([](TForm1& f) { f.FormCreateWithoutStoring(); });
    EXPECT_TRUE(view_.errors.empty());
    EXPECT_EQ(State(ControlId::EditHostName).text, "127.0.0.1");
    EXPECT_EQ(State(ControlId::EditPort).text, "234");
    EXPECT_EQ(State(ControlId::LabelResultInit).text, "Ok");
    EXPECT_EQ(registry_.sets, 0);
}

TEST_F(Form, CreatingWithoutStoringTellsAMissingKeyFromAnUnreadableOne) {
    registry_.keyMissing = true;
    form_.Run([](TForm1& f) { f.FormCreateWithoutStoring(); });
    EXPECT_EQ(State(ControlId::EditHostName).text, "127.0.0.1");
    EXPECT_EQ(registry_.opened, 0);  // not created

    os::fakes::FakeRegistry denied;
    denied.denyAll = true;
    TForm1 other{view_, denied, sockets_, system_, systemLog_};
    other.Run([](TForm1& f) { f.FormCreateWithoutStoring(); });
    EXPECT_EQ(other.Control(ControlId::EditHostName).text, "");
    EXPECT_EQ(other.Control(ControlId::EditPort).text, "0");
}

TEST_F(Form, FailedWriteIsReportedAndKeepsTheWindowOpen) {
    Create();
    registry_.failSet = true;
    form_.Run([](TForm1& f) { f.ButtonOkClick(); });
    EXPECT_EQ(view_.errors, std::vector<std::string>{"Failed to set data for 'HostName'"});
    EXPECT_EQ(view_.closes, 0);
    EXPECT_EQ(registry_.opened, registry_.closed);
}

TEST_F(Form, FailingWow64QueryEndsCreationBeforeWinsock) {
    system_.wow64 = os::Wow64Query::Failed;
    Create();
    EXPECT_EQ(view_.errors, std::vector<std::string>{"Bad process handle."});
    EXPECT_EQ(State(ControlId::LabelOs).text, "Win 7 (2.6.1)");
    EXPECT_EQ(State(ControlId::LabelIsWow64).text, "LabelVersion");
    EXPECT_EQ(sockets_.startups, 0);
}

TEST_F(Form, CloseReleasesWinsockOnceAndOnlyARealSocket) {
    Create();
    form_.Run([](TForm1& f) { f.FormClose(); });
    form_.Run([](TForm1& f) { f.FormClose(); });
    EXPECT_EQ(sockets_.cleanups, 1);
    EXPECT_EQ(sockets_.closes, 0);

    for (const os::Socket socket : {os::Socket{0}, os::Socket{42}}) {
        os::fakes::FakeSockets sockets;
        TForm1 form{view_, registry_, sockets, system_, systemLog_};
        form.TestSocket = socket;
        form.Run([](TForm1& f) { f.FormClose(); });
        EXPECT_EQ(sockets.closes, socket == 42 ? 1 : 0);
        EXPECT_EQ(sockets.cleanups, 1);
        EXPECT_EQ(form.TestSocket, socket == 42 ? os::InvalidSocket : 0);
    }
}

TEST_F(Form, ClicksOnDisabledOrHiddenControlsDoNotCount) {
    Create();
    // EditDefault and ButtonSetDefault are hidden at the default port.
    form_.Control(ControlId::EditPort).text = "1";
    form_.Run([](TForm1& f) { f.Click(ControlId::ButtonSetDefault); });
    EXPECT_EQ(State(ControlId::EditPort).text, "1");
    form_.Control(ControlId::ButtonSetDefault).visible = true;
    form_.Run([](TForm1& f) { f.Click(ControlId::ButtonSetDefault); });
    EXPECT_EQ(State(ControlId::EditPort).text, "234");

    form_.Control(ControlId::LabelAddr).text = "10.1.2.3";
    form_.Control(ControlId::LabelAddr).enabled = false;
    form_.Run([](TForm1& f) { f.Click(ControlId::LabelAddr); });
    EXPECT_EQ(State(ControlId::EditHostName).text, "127.0.0.1");
    form_.Run([](TForm1& f) { f.Click(ControlId::Label10); });
    EXPECT_EQ(State(ControlId::EditHostName).text, "10.1.2.3");

    form_.Control(ControlId::ButtonCancel).enabled = false;
    form_.Run([](TForm1& f) { f.Click(ControlId::ButtonCancel); });
    EXPECT_EQ(view_.closes, 0);
    form_.Control(ControlId::ButtonCancel).enabled = true;
    form_.Run([](TForm1& f) { f.Click(ControlId::ButtonCancel); });
    EXPECT_EQ(view_.closes, 1);
    form_.Run([](TForm1& f) { f.Click(ControlId::LabelOs); });  // no handler: nothing happens
    EXPECT_TRUE(view_.errors.empty());
}

TEST_F(Form, CopyHandlersCopyAnythingButADash) {
    Create();
    form_.Run([](TForm1& f) { f.CopyHostName(); });
    form_.Run([](TForm1& f) { f.CopyIpAddr(); });
    EXPECT_EQ(State(ControlId::EditHostName).text, "127.0.0.1");
    form_.Control(ControlId::LabelHost).text = "?";
    form_.Run([](TForm1& f) { f.CopyHostName(); });
    EXPECT_EQ(State(ControlId::EditHostName).text, "?");
    form_.Control(ControlId::LabelAddr).text = "10.1.2.3";
    form_.Run([](TForm1& f) { f.CopyIpAddr(); });
    EXPECT_EQ(State(ControlId::EditHostName).text, "10.1.2.3");
    form_.Control(ControlId::LabelAddr).text = "--";
    form_.Run([](TForm1& f) { f.CopyIpAddr(); });
    EXPECT_EQ(State(ControlId::EditHostName).text, "--");
}

TEST(ErrorBoxText, AppendsAFullStopAfterCharactersSortingAfterIt) {
    const std::pair<const char*, const char*> rows[] = {
        {"abc", "abc."},       {"ends.", "ends."},    {"ends!", "ends!"}, {"quote'", "quote'"},
        {"slash/", "slash/."}, {"digit0", "digit0."}, {"", ""},           {"\xe9", "\xe9."},
    };
    for (const auto& [message, shown] : rows) EXPECT_EQ(corvix::ErrorBoxText(message), shown) << message;
}

}  // namespace
