// The connection test on its own: each step's outcome, in order, with what the look-up found.
#include <gtest/gtest.h>

#include <cstring>

#include "app/connection_test.h"
#include "os/errors.h"
#include "os/fakes/fake_sockets.h"

namespace {

using corvix::StepOutcome;
using corvix::TestStep;
using O = StepOutcome;

os::InAddr Address(unsigned char a, unsigned char b, unsigned char c, unsigned char d) {
    const unsigned char bytes[4] = {a, b, c, d};
    os::InAddr address = 0;
    std::memcpy(&address, bytes, sizeof address);
    return address;
}

struct Case {
    const char* name;
    std::string host;
    int socketError, connectError;
    std::array<StepOutcome, 3> outcomes;
    int failedCode;
    const char* address;  // as the window shows it
};

TEST(ConnectionModel, StepsInOrderAndTheFirstFailureSkipsTheRest) {
    const Case cases[] = {
        {"dotted", "10.1.2.3", 0, 0, {O::NotNeeded, O::Succeeded, O::Succeeded}, 0, "10.1.2.3"},
        {"looked up", "server", 0, 0, {O::Succeeded, O::Succeeded, O::Succeeded}, 0, "192.0.2.7"},
        {"unknown", "nowhere", 0, 0, {O::Failed, O::Skipped, O::Skipped}, os::WsaHostNotFound, "?"},
        {"no socket", "server", os::WsaEMFile, 0, {O::Succeeded, O::Failed, O::Skipped}, os::WsaEMFile, "192.0.2.7"},
        {"refused",
         "server",
         0,
         os::WsaEConnRefused,
         {O::Succeeded, O::Succeeded, O::Failed},
         os::WsaEConnRefused,
         "192.0.2.7"},
    };
    for (const Case& c : cases) {
        os::fakes::FakeSockets sockets;
        sockets.dotted["10.1.2.3"] = Address(10, 1, 2, 3);
        sockets.hosts["server"] = {"server.example", {Address(192, 0, 2, 7), Address(192, 0, 2, 8)}};
        sockets.socketError = c.socketError;
        sockets.connectError = c.connectError;
        os::WsaData data;
        ASSERT_EQ(sockets.Startup(0x0101, data), 0);
        std::vector<std::pair<bool, TestStep>> seen;
        corvix::ConnectionTest::Observer observer;
        observer.started = [&](const corvix::TestResult&, TestStep step) { seen.emplace_back(true, step); };
        observer.finished = [&](const corvix::TestResult&, TestStep step) { seen.emplace_back(false, step); };
        os::Socket socket = os::InvalidSocket;
        const corvix::TestResult result = corvix::ConnectionTest(sockets).Run(c.host, 70000, socket, observer);

        EXPECT_EQ(socket, os::InvalidSocket) << c.name;
        EXPECT_EQ(sockets.closes, c.socketError == 0 && c.host != "nowhere" ? 1 : 0) << c.name;
        std::size_t ran = 0;
        for (std::size_t i = 0; i < 3; ++i) {
            const corvix::StepResult& step = result.steps[i];
            EXPECT_EQ(step.outcome, c.outcomes[i]) << c.name << " step " << i;
            EXPECT_EQ(step.code, step.outcome == O::Failed ? c.failedCode : 0) << c.name;
            if (step.outcome == O::Skipped) {
                EXPECT_EQ(step.Text(), "?");
                EXPECT_EQ(step.elapsed.count(), 0);
            } else {
                ++ran;
                if (i > 0) {
                    EXPECT_GE(step.started, result.steps[i - 1].started + result.steps[i - 1].elapsed);
                }
            }
        }
        ASSERT_EQ(seen.size(), 2 * ran) << c.name;  // each step that ran: started, then finished
        for (std::size_t i = 0; i < seen.size(); ++i) {
            EXPECT_EQ(seen[i], std::make_pair(i % 2 == 0, corvix::TestSteps[i / 2])) << c.name;
        }
        EXPECT_EQ(result.AddressText(), c.address) << c.name;
        EXPECT_EQ(result.PortText(), result.HasAddress() ? "70000" : "?");
        if (c.host == "server") {
            ASSERT_TRUE(result.found);
            EXPECT_EQ(result.OfficialNameText(), "server.example");
            EXPECT_EQ(result.found->addresses, (std::vector{Address(192, 0, 2, 7), Address(192, 0, 2, 8)}));
        }
        if (result.Step(TestStep::Connect).Ran()) {
            ASSERT_EQ(sockets.htonsCalls.size(), 1u);
            EXPECT_EQ(sockets.htonsCalls[0], 70000 & 0xFFFF);  // only the low 16 bits reach the address
        }
    }
}

}  // namespace
