// An os::Sockets for tests: chosen outcomes for each call, and a record of every call made, failed ones
// included. It keeps the
// service's contract: until a start-up has succeeded (and again after the last clean-up) every call
// but the conversions fails with WsaNotInitialised.
#pragma once

#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "os/sockets.h"

namespace os::fakes {

class FakeSockets : public Sockets {
public:
    struct Option {
        int level;
        int option;
        std::int32_t value;
        int length;
    };

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
    // inet_addr's answers; any other text gives InaddrNone.
    std::map<std::string, InAddr> dotted;
    // gethostbyname's answers; any other name fails with lookupError.
    std::map<std::string, HostEntry> hosts;
    int lookupError = WsaHostNotFound;
    // Non-zero: socket, or connect, fails with this code.
    int socketError = 0;
    int connectError = 0;
    // Runs inside connect, while the caller waits for it.
    std::function<void()> duringConnect;
    os::Socket nextSocket = 7;

    int startups = 0;
    int cleanups = 0;
    int closes = 0;
    os::Socket lastClosed = InvalidSocket;
    std::vector<std::string> lookups;
    std::vector<Option> options;
    std::vector<std::uint16_t> htonsCalls;
    std::vector<SockAddrIn> connects;
    std::vector<int> connectLengths;
    int lastError = 0;

    int Startup(std::uint16_t, WsaData& out) override {
        ++startups;
        if (startupResult != 0) return startupResult;
        ++started_;
        out = data;
        return 0;
    }
    int Cleanup() override {
        ++cleanups;
        if (started_ == 0) return Fail(WsaNotInitialised);
        --started_;
        return 0;
    }
    int GetHostName(char* buffer, int length) override {
        if (started_ == 0) return Fail(WsaNotInitialised);
        if (static_cast<int>(hostName.size()) + 1 > length) return Fail(WsaEFault);
        std::memcpy(buffer, hostName.c_str(), hostName.size() + 1);
        return 0;
    }
    InAddr InetAddr(const std::string& text) override {
        const auto found = dotted.find(text);
        return found == dotted.end() ? InaddrNone : found->second;
    }
    std::optional<HostEntry> GetHostByName(const std::string& name) override {
        lookups.push_back(name);
        if (started_ == 0) {
            Fail(WsaNotInitialised);
            return std::nullopt;
        }
        const auto found = hosts.find(name);
        if (found == hosts.end()) {
            Fail(lookupError);
            return std::nullopt;
        }
        return found->second;
    }
    std::string InetNtoa(InAddr address) override {
        unsigned char bytes[4];
        std::memcpy(bytes, &address, sizeof bytes);
        return std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." + std::to_string(bytes[2]) + "." +
               std::to_string(bytes[3]);
    }
    os::Socket Socket(int, int, int) override {
        if (started_ == 0) {
            Fail(WsaNotInitialised);
            return InvalidSocket;
        }
        if (socketError != 0) {
            Fail(socketError);
            return InvalidSocket;
        }
        return nextSocket;
    }
    int SetSockOpt(os::Socket, int level, int option, const void* value, int length) override {
        std::int32_t v = 0;
        std::memcpy(&v, value, sizeof v);
        options.push_back({level, option, v, length});
        if (started_ == 0) return Fail(WsaNotInitialised);
        return 0;
    }
    std::uint16_t Htons(std::uint16_t value) override {
        htonsCalls.push_back(value);
        const unsigned char bytes[2] = {static_cast<unsigned char>(value >> 8), static_cast<unsigned char>(value)};
        std::uint16_t swapped = 0;
        std::memcpy(&swapped, bytes, sizeof swapped);
        return swapped;
    }
    int Connect(os::Socket, const SockAddrIn* address, int length) override {
        connects.push_back(*address);
        connectLengths.push_back(length);
        if (started_ == 0) return Fail(WsaNotInitialised);
        if (duringConnect) duringConnect();
        return connectError != 0 ? Fail(connectError) : 0;
    }
    // The local end getsockname gives a connected socket.
    SockAddrIn localEnd = [] {
        SockAddrIn local;
        local.sin_family = AfInet;
        const unsigned char bytes[8] = {0xC0, 0x1F, 127, 0, 0, 1};  // port 49183, 127.0.0.1
        std::memcpy(&local.sin_port, bytes, 2);
        std::memcpy(&local.sin_addr, bytes + 2, 4);
        return local;
    }();
    int GetSockName(os::Socket, SockAddrIn* address, int* length) override {
        if (started_ == 0) return Fail(WsaNotInitialised);
        if (!address || !length || *length < static_cast<int>(sizeof(SockAddrIn))) return Fail(WsaEFault);
        *address = localEnd;
        *length = sizeof(SockAddrIn);
        return 0;
    }
    int CloseSocket(os::Socket socket) override {
        ++closes;
        lastClosed = socket;
        if (started_ == 0) return Fail(WsaNotInitialised);
        return 0;
    }
    int GetLastError() override { return lastError; }

private:
    int started_ = 0;  // successful start-ups not yet cleaned up

    int Fail(int code) {
        lastError = code;
        return SocketError;
    }
};

}  // namespace os::fakes
