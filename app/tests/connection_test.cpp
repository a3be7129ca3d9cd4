// "&Test connection": the steps against a faked socket service, and against real sockets on loopback.
#include <gtest/gtest.h>

#include <cstring>
#include <ostream>

#include "app/form.h"
#include "os/errors.h"
#include "os/fakes/fake_registry.h"
#include "os/fakes/fake_sockets.h"
#include "os/fakes/fake_system.h"
#include "os/fakes/fake_system_log.h"
#include "os/testing/loopback_listener.h"
#include "recording_view.h"

namespace {

using corvix::ControlId;
using corvix::Red;
using corvix::TForm1;

// What the window showed when the logic repainted it (or raised an error box).
struct Shown {
    std::string host, addr, port, ghi, os, c;
    bool ghiRed = false, osRed = false, cRed = false;
    bool buttonsEnabled = false;
    bool waiting = false;

    bool operator==(const Shown&) const = default;
};

void PrintTo(const Shown& s, std::ostream* out) {
    *out << "{host " << s.host << ", addr " << s.addr << ", port " << s.port << ", ghi " << s.ghi
         << (s.ghiRed ? " red" : "") << ", os " << s.os << (s.osRed ? " red" : "") << ", c " << s.c
         << (s.cRed ? " red" : "") << (s.buttonsEnabled ? ", buttons on" : ", buttons off")
         << (s.waiting ? ", waiting}" : "}");
}

Shown Capture(const TForm1& form) {
    const auto text = [&](ControlId id) { return form.Control(id).text; };
    const auto red = [&](ControlId id) { return form.Control(id).fontColour == Red; };
    const bool ok = form.Control(ControlId::ButtonOk).enabled;
    const bool cancel = form.Control(ControlId::ButtonCancel).enabled;
    const bool test = form.Control(ControlId::ButtonTest).enabled;
    EXPECT_TRUE(ok == cancel && cancel == test) << "OK, Cancel and the test button go together";
    return {text(ControlId::LabelHost),
            text(ControlId::LabelAddr),
            text(ControlId::LabelPort),
            text(ControlId::LabelResultGHI),
            text(ControlId::LabelResultOS),
            text(ControlId::LabelResultC),
            red(ControlId::LabelResultGHI),
            red(ControlId::LabelResultOS),
            red(ControlId::LabelResultC),
            ok,
            form.Control(ControlId::LabelWait).visible};
}

// Records the window at each repaint and at each error box.
class SnapshotView : public corvix::testing::RecordingView {
public:
    const TForm1* form = nullptr;
    std::vector<Shown> painted;
    std::vector<Shown> atError;

    void RepaintNow() override {
        RecordingView::RepaintNow();
        painted.push_back(Capture(*form));
    }
    void ShowError(const std::string& text) override {
        RecordingView::ShowError(text);
        atError.push_back(Capture(*form));
    }
};

os::InAddr Address(unsigned char a, unsigned char b, unsigned char c, unsigned char d) {
    const unsigned char bytes[4] = {a, b, c, d};
    os::InAddr value = 0;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

// Labels during a test: "?" on black, buttons off, "Please wait..." shown.
Shown Waiting() { return {"?", "?", "?", "?", "?", "?", false, false, false, false, true}; }

class ConnectionTest : public testing::Test {
protected:
    void SetUp() override {
        corvix::StartRegistryRootB();
        view_.form = &form_;
        form_.Run([](TForm1& f) { f.FormCreate(); });
        sockets_.dotted["127.0.0.1"] = Address(127, 0, 0, 1);
    }
    void Test() {
        form_.Run([](TForm1& f) { f.ButtonTestClick(); });
    }
    void Type(ControlId id, const std::string& text) { form_.Control(id).text = text; }
    Shown Now() const { return Capture(form_); }

    os::fakes::FakeRegistry registry_;
    os::fakes::FakeSockets sockets_;
    os::fakes::FakeSystem system_;
    os::fakes::FakeSystemLog systemLog_;
    SnapshotView view_;
    TForm1 form_{view_, registry_, sockets_, system_, systemLog_};
};

TEST_F(ConnectionTest, DottedAddressStepByStep) {
    Test();
    Shown s = Waiting();
    std::vector<Shown> expected{s};
    s.ghi = s.host = "-";
    expected.push_back(s);
    s.addr = "127.0.0.1";
    s.port = "234";
    expected.push_back(s);
    s.os = "Ok";
    expected.push_back(s);
    s.c = "Ok";
    expected.push_back(s);
    EXPECT_EQ(view_.painted, expected);
    s.buttonsEnabled = true;
    s.waiting = false;
    EXPECT_EQ(Now(), s);

    EXPECT_TRUE(sockets_.lookups.empty());
    ASSERT_EQ(sockets_.options.size(), 2u);
    EXPECT_EQ(sockets_.options[0].level, 0xFFFF);
    EXPECT_EQ(sockets_.options[0].option, 0xFF7F);
    EXPECT_EQ(sockets_.options[1].level, 0xFFFF);
    EXPECT_EQ(sockets_.options[1].option, 8);
    for (const auto& option : sockets_.options) {
        EXPECT_EQ(option.value, 1);
        EXPECT_EQ(option.length, 4);
    }
    ASSERT_EQ(sockets_.connects.size(), 1u);
    const os::SockAddrIn& address = sockets_.connects[0];
    EXPECT_EQ(address.sin_family, 2);
    EXPECT_EQ(address.sin_port, sockets_.Htons(234));
    EXPECT_EQ(address.sin_addr, Address(127, 0, 0, 1));
    EXPECT_EQ(std::string(address.sin_zero, sizeof address.sin_zero), std::string(8, '\0'));
    EXPECT_EQ(sockets_.connectLengths, std::vector<int>{16});
    EXPECT_EQ(sockets_.closes, 1);
    EXPECT_EQ(sockets_.lastClosed, sockets_.nextSocket);
    EXPECT_EQ(form_.TestSocket, os::InvalidSocket);
    EXPECT_EQ(form_.ServerAddr, Address(127, 0, 0, 1));
    EXPECT_TRUE(view_.errors.empty());
}

TEST_F(ConnectionTest, NameLookedUpShowsTheOfficialName) {
    Type(ControlId::EditHostName, "srv");
    sockets_.hosts["srv"] = {"srv.corvix.example", {Address(10, 1, 2, 3), Address(10, 1, 2, 4)}};
    Test();
    ASSERT_EQ(view_.painted.size(), 5u);
    Shown s = Waiting();
    s.ghi = "Ok";
    s.host = "srv.corvix.example";
    EXPECT_EQ(view_.painted[1], s);
    EXPECT_EQ(Now().addr, "10.1.2.3");
    EXPECT_EQ(sockets_.connects.at(0).sin_addr, Address(10, 1, 2, 3));
    EXPECT_EQ(sockets_.lookups, std::vector<std::string>{"srv"});
    // The window's own host name takes the official one; the field keeps what was typed.
    EXPECT_EQ(form_.settings.hostName, "srv.corvix.example");
    EXPECT_EQ(form_.Control(ControlId::EditHostName).text, "srv");
    form_.Run([](TForm1& f) { f.CopyHostName(); });
    EXPECT_EQ(form_.Control(ControlId::EditHostName).text, "srv.corvix.example");
}

TEST_F(ConnectionTest, FailedLookupEndsWithoutARepaintOfItsOwn) {
    Type(ControlId::EditHostName, "nowhere");
    sockets_.lookupError = os::WsaTryAgain;
    Test();
    EXPECT_EQ(view_.painted, std::vector<Shown>{Waiting()});
    Shown s = Waiting();
    s.ghi = "11002:TRY_AGAIN";
    s.ghiRed = true;
    s.buttonsEnabled = true;
    s.waiting = false;
    EXPECT_EQ(Now(), s);
    EXPECT_TRUE(sockets_.connects.empty());
    EXPECT_EQ(sockets_.closes, 0);
    EXPECT_EQ(form_.settings.hostName, "nowhere");
}

TEST_F(ConnectionTest, FailedSocketLeavesConnectUntried) {
    sockets_.socketError = os::WsaEMFile;
    Test();
    ASSERT_EQ(view_.painted.size(), 4u);
    Shown s = view_.painted[2];
    s.os = "10024:MFILE";
    s.osRed = true;
    EXPECT_EQ(view_.painted[3], s);
    EXPECT_EQ(Now().c, "?");
    EXPECT_TRUE(sockets_.options.empty());
    EXPECT_TRUE(sockets_.connects.empty());
    EXPECT_EQ(sockets_.closes, 0);
    EXPECT_EQ(form_.TestSocket, os::InvalidSocket);
    EXPECT_TRUE(Now().buttonsEnabled);
}

TEST_F(ConnectionTest, ConnectTimeOutIsShownAndTheSocketClosed) {
    sockets_.connectError = os::WsaETimedOut;
    bool heldDuringConnect = false;
    sockets_.duringConnect = [&] { heldDuringConnect = form_.TestSocket == sockets_.nextSocket; };
    Test();
    EXPECT_TRUE(heldDuringConnect);
    ASSERT_EQ(view_.painted.size(), 5u);
    EXPECT_EQ(view_.painted[4].c, "10060:TIMEDOUT");
    EXPECT_TRUE(view_.painted[4].cRed);
    EXPECT_EQ(view_.painted[4].os, "Ok");
    EXPECT_EQ(sockets_.closes, 1);
    EXPECT_EQ(form_.TestSocket, os::InvalidSocket);
    EXPECT_TRUE(Now().buttonsEnabled);
    EXPECT_FALSE(Now().waiting);
}

TEST_F(ConnectionTest, NextTestStartsBlackAgain) {
    Type(ControlId::EditHostName, "nowhere");
    Test();
    sockets_.connectError = os::WsaEConnRefused;
    Type(ControlId::EditHostName, "127.0.0.1");
    Test();
    EXPECT_FALSE(Now().ghiRed);
    EXPECT_EQ(form_.Control(ControlId::LabelResultGHI).code, 0);
    EXPECT_TRUE(Now().cRed);
    EXPECT_EQ(form_.Control(ControlId::LabelResultC).code, os::WsaEConnRefused);
    view_.painted.clear();
    sockets_.connectError = 0;
    Test();
    ASSERT_FALSE(view_.painted.empty());
    EXPECT_EQ(view_.painted[0], Waiting());
    EXPECT_EQ(Now().c, "Ok");
    EXPECT_FALSE(Now().ghiRed || Now().osRed || Now().cRed);
    EXPECT_EQ(form_.Control(ControlId::LabelResultC).code, 0);
}

struct PortRow {
    const char* name;
    const char* text;
    const char* shown;
    std::uint16_t toSocket;
};
void PrintTo(const PortRow& row, std::ostream* out) { *out << row.name; }

class ConnectionPort : public ConnectionTest, public testing::WithParamInterface<PortRow> {};

TEST_P(ConnectionPort, OnlyTheLow16BitsReachTheSocket) {
    Type(ControlId::EditPort, GetParam().text);
    Test();
    EXPECT_EQ(sockets_.htonsCalls, std::vector<std::uint16_t>{GetParam().toSocket});
    EXPECT_EQ(Now().port, GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(Form, ConnectionPort,
                         testing::Values(PortRow{"Plain", "234", "234", 234},
                                         PortRow{"Above16Bits", "65770", "65770", 234},
                                         PortRow{"Negative", "-1", "-1", 0xFFFF}, PortRow{"Hex", "$10000", "65536", 0}),
                         [](const testing::TestParamInfo<PortRow>& info) { return info.param.name; });

TEST_F(ConnectionTest, PortThatIsNoNumberGoesToTheErrorBoxAfterTheButtonsAreBack) {
    Type(ControlId::EditHostName, "typed");
    Type(ControlId::EditPort, "23x");
    Test();
    EXPECT_EQ(view_.errors, std::vector<std::string>{"'23x' is not a valid integer value."});
    Shown s = Waiting();
    s.buttonsEnabled = true;
    s.waiting = false;
    EXPECT_EQ(view_.atError, std::vector<Shown>{s});
    EXPECT_TRUE(view_.painted.empty());
    EXPECT_EQ(form_.settings.hostName, "typed");
    EXPECT_EQ(form_.settings.port, 234);
    EXPECT_EQ(sockets_.closes, 0);
}

// Real sockets, never beyond 127.0.0.0/8.
class LoopbackConnectionTest : public testing::Test {
protected:
    void SetUp() override { corvix::StartRegistryRootB(); }
    void TearDown() override {
        form_.Run([](TForm1& f) { f.FormClose(); });
    }

    void Create() {
        view_.form = &form_;
        form_.Run([](TForm1& f) { f.FormCreate(); });
    }
    void TestWith(const std::string& host, std::uint16_t port) {
        form_.Control(ControlId::EditHostName).text = host;
        form_.Control(ControlId::EditPort).text = std::to_string(port);
        form_.Run([](TForm1& f) { f.ButtonTestClick(); });
    }
    Shown Now() const { return Capture(form_); }

    os::fakes::FakeRegistry registry_;
    os::fakes::FakeSystem system_;
    os::fakes::FakeSystemLog systemLog_;
    SnapshotView view_;
    TForm1 form_{view_, registry_, os::RealSockets(), system_, systemLog_};
};

TEST_F(LoopbackConnectionTest, ListenerAnswers) {
    Create();
    os::testing::LoopbackListener listener;
    TestWith("127.0.0.1", listener.Port());
    const std::string port = std::to_string(listener.Port());
    EXPECT_EQ(Now(), (Shown{"-", "127.0.0.1", port, "-", "Ok", "Ok", false, false, false, true, false}));
    EXPECT_EQ(view_.repaints, 5);
    EXPECT_EQ(form_.TestSocket, os::InvalidSocket);
}

TEST_F(LoopbackConnectionTest, ClosedPortRefuses) {
    Create();
    os::testing::LoopbackListener listener;
    listener.Close();
    TestWith("127.0.0.1", listener.Port());
    const std::string port = std::to_string(listener.Port());
    EXPECT_EQ(Now(), (Shown{"-", "127.0.0.1", port, "-", "Ok", "10061:CONNREFUSED", false, false, true, true, false}));
    EXPECT_EQ(form_.TestSocket, os::InvalidSocket);

    // The next test shows no red from this one.
    os::testing::LoopbackListener open;
    TestWith("127.0.0.1", open.Port());
    EXPECT_FALSE(view_.painted.at(5).cRed);
    EXPECT_EQ(Now().c, "Ok");
    EXPECT_FALSE(Now().cRed);
}

TEST_F(LoopbackConnectionTest, NameThatCannotExistShowsTheResolversError) {
    Create();
    TestWith("no-such-host.corvix.invalid", 234);
    const Shown now = Now();
    // Without a reachable name server the resolver can only say "try again".
    EXPECT_TRUE(now.ghi == "11001:HOST_NOT_FOUND" || now.ghi == "11002:TRY_AGAIN") << now.ghi;
    EXPECT_TRUE(now.ghiRed);
    Shown rest = Waiting();
    rest.ghi = now.ghi;
    rest.ghiRed = true;
    rest.buttonsEnabled = true;
    rest.waiting = false;
    EXPECT_EQ(now, rest);
}

TEST_F(LoopbackConnectionTest, LocalhostShowsTheOfficialName) {
    Create();
    os::testing::LoopbackListener listener;
    TestWith("localhost", listener.Port());
    const auto host = os::RealSockets().GetHostByName("localhost");
    ASSERT_TRUE(host.has_value());
    EXPECT_EQ(Now().ghi, "Ok");
    EXPECT_EQ(Now().host, host->name);
    EXPECT_EQ(Now().addr, "127.0.0.1");
    EXPECT_EQ(Now().c, "Ok");
    EXPECT_EQ(form_.settings.hostName, host->name);
    form_.Control(ControlId::EditHostName).text = "typed";
    form_.Run([](TForm1& f) { f.CopyHostName(); });
    EXPECT_EQ(form_.Control(ControlId::EditHostName).text, host->name);
}

TEST_F(LoopbackConnectionTest, WithoutWinsockStartedTheFirstWinsockStepFails) {
    // A creation step that fails before WinSock's start-up leaves it unstarted.
    system_.wow64 = os::Wow64Query::Failed;
    Create();
    ASSERT_EQ(view_.errors.size(), 1u);
    TestWith("127.0.0.1", 234);
    EXPECT_EQ(Now(),
              (Shown{"-", "127.0.0.1", "234", "-", "10093:NOTINITIALISED", "?", false, true, false, true, false}));
}

}  // namespace
