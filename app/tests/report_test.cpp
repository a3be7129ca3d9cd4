#include "app/report.h"

#include <gtest/gtest.h>

#include <cstring>

#include "os/errors.h"
#include "os/fakes/fake_registry.h"
#include "os/fakes/fake_sockets.h"
#include "os/fakes/fake_system.h"
#include "os/fakes/fake_system_log.h"
#include "recording_view.h"

namespace {

using corvix::ControlId;
using corvix::TForm1;

class Report : public testing::Test {
protected:
    void SetUp() override {
        corvix::StartRegistryRootB();
        const unsigned char loopback[4] = {127, 0, 0, 1};
        os::InAddr address = 0;
        std::memcpy(&address, loopback, sizeof address);
        sockets_.dotted["127.0.0.1"] = address;
        sockets_.connectError = os::WsaEConnRefused;
    }

    os::fakes::FakeRegistry registry_;
    os::fakes::FakeSockets sockets_;
    os::fakes::FakeSystem system_;
    os::fakes::FakeSystemLog systemLog_;
    corvix::testing::RecordingView view_;
    TForm1 form_{view_, registry_, sockets_, system_, systemLog_};
};

TEST_F(Report, EveryGroupInReadingOrderWithTheLastTestsResults) {
    form_.Run([](TForm1& f) { f.FormCreate(); });
    form_.Run([](TForm1& f) { f.ButtonTestClick(); });
    const std::string expected = "Tcp/Ip Configuration, version " + std::string(corvix::ProgramVersion()) +
                                 "\n"
                                 "Report made 2026-03-07 09:05:02\n"
                                 "\n"
                                 "WinSock Information\n"
                                 "  Version:              1.1  2.2\n"
                                 "  Description:          WinSock 2.0\n"
                                 "  System status:        Running\n"
                                 "  Max. Sockets:         32767\n"
                                 "  Max.Datagram:         65467\n"
                                 "  Host Name:            workstation-7\n"
                                 "\n"
                                 "System Information\n"
                                 "  Os:                   Win 7 (2.6.1)\n"
                                 "  Wow 64:               Nee\n"
                                 "\n"
                                 "Corvix server information\n"
                                 "  Host Name:            127.0.0.1\n"
                                 "  Port Nr:              234\n"
                                 "\n"
                                 "Retrieved server information\n"
                                 "  Host Name:            -\n"
                                 "  INet Addr:            127.0.0.1\n"
                                 "  Port:                 234\n"
                                 "\n"
                                 "Results\n"
                                 "  Init winsock (TCPIP): Ok\n"
                                 "  Get host information: -\n"
                                 "  Open socket:          Ok\n"
                                 "  Connect:              10061:CONNREFUSED\n";
    EXPECT_EQ(corvix::FormReport(form_, os::fakes::At(2026, 3, 7, 9, 5, 2)), expected);
}

TEST_F(Report, TheOfferedDefaultPortIsPartOfItsRow) {
    registry_.denyAll = true;
    form_.Run([](TForm1& f) { f.FormCreate(); });
    const std::string report = corvix::FormReport(form_, os::fakes::At(2026, 3, 7));
    EXPECT_NE(report.find("\n  Host Name:            \n  Port Nr:              0  Def: 234\n"), std::string::npos)
        << report;
}

}  // namespace
