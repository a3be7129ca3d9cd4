// An os::Sockets for tests: a chosen start-up outcome, and a record of the calls made.
#pragma once

#include <cstring>
#include <string>

#include "os/sockets.h"

namespace os::fakes {

class FakeSockets : public Sockets {
public:
    int startupResult = 0;
    WsaData data = [] {
        WsaData d;
        d.wVersion = 0x0101;
        d.wHighVersion = 0x0202;
        std::strcpy(d.szDescription, "WinSock 2.0");
        std::strcpy(d.szSystemStatus, "Running");
        d.iMaxSockets = 32767;
        d.iMaxUdpDg = 65467;
        return d;
    }();
    std::string hostName = "workstation-7";
    int startups = 0;
    int cleanups = 0;
    int closes = 0;
    int lastError = 0;

    int Startup(std::uint16_t, WsaData& out) override {
        ++startups;
        if (startupResult != 0) return startupResult;
        out = data;
        return 0;
    }
    int Cleanup() override {
        ++cleanups;
        return 0;
    }
    int GetHostName(char* buffer, int length) override {
        if (static_cast<int>(hostName.size()) + 1 > length) {
            lastError = WsaEFault;
            return SocketError;
        }
        std::memcpy(buffer, hostName.c_str(), hostName.size() + 1);
        return 0;
    }
    int CloseSocket(Socket) override {
        ++closes;
        return 0;
    }
    int GetLastError() override { return lastError; }
};

}  // namespace os::fakes
