// An os::Sockets for tests: chosen outcomes for each call, and a record of every call made, failed ones
// included. It keeps the
// service's contract: until a start-up has succeeded (and again after the last clean-up) every call
// but the conversions fails with WsaNotInitialised.
#pragma once

#include <algorithm>
#include <cstdio>
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
    // getaddrinfo's IPv6 answers; any other name fails with lookupError.
    std::map<std::string, std::vector<IpAddress>> hosts6;
    // ConnectWithin's failures by the address's text; other addresses answer (or fail with connectError).
    std::map<std::string, int> connectErrors;
    // What getsockname gives for a socket connected over IPv4 and over IPv6.
    Endpoint local4{IpAddress::V4(0x0A02000A), 50123};  // 10.0.2.10
    Endpoint local6 = [] {
        Endpoint local;
        local.address.family = AfInet6;
        local.address.bytes = {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x10};
        local.port = 50124;
        return local;
    }();
    // The interface holding each address, by its text.
    std::map<std::string, std::string> interfaces;
    // What the peer sends; nothing: a receive waits in vain.
    std::string peerSends;

    int startups = 0;
    int cleanups = 0;
    int closes = 0;
    os::Socket lastClosed = InvalidSocket;
    std::vector<std::string> lookups;
    std::vector<Option> options;
    std::vector<std::uint16_t> htonsCalls;
    std::vector<SockAddrIn> connects;
    std::vector<Endpoint> endpointsConnected;
    std::vector<std::chrono::milliseconds> connectLimits;
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

    std::vector<IpAddress> GetIpv6Addresses(const std::string& name) override {
        lookups.push_back(name);
        if (started_ == 0) {
            Fail(WsaNotInitialised);
            return {};
        }
        const auto found = hosts6.find(name);
        if (found == hosts6.end()) {
            Fail(lookupError);
            return {};
        }
        return found->second;
    }
    std::string AddressText(const IpAddress& address) override {
        if (address.family == AfInet) {
            InAddr v4 = 0;
            std::memcpy(&v4, address.bytes.data(), sizeof v4);
            return InetNtoa(v4);
        }
        // Eight groups in hexadecimal, the first longest run of two or more zero groups as "::".
        int groups[8];
        for (int i = 0; i < 8; ++i) groups[i] = address.bytes[2 * i] << 8 | address.bytes[2 * i + 1];
        int bestStart = -1, bestLength = 1;
        for (int i = 0; i < 8;) {
            int j = i;
            while (j < 8 && groups[j] == 0) ++j;
            if (j - i > bestLength) bestStart = i, bestLength = j - i;
            i = j == i ? i + 1 : j;
        }
        std::string text;
        char hex[8];
        for (int i = 0; i < 8; ++i) {
            if (i == bestStart) {
                text += "::";
                i += bestLength - 1;
                continue;
            }
            if (!text.empty() && !text.ends_with(":")) text += ":";
            std::snprintf(hex, sizeof hex, "%x", groups[i]);
            text += hex;
        }
        return text;
    }
    int ConnectWithin(os::Socket, const Endpoint& to, std::chrono::milliseconds limit) override {
        endpointsConnected.push_back(to);
        connectLimits.push_back(limit);
        if (started_ == 0) return Fail(WsaNotInitialised);
        if (to.port == 0) return Fail(WsaEAddrNotAvail);
        if (duringConnect) duringConnect();
        const auto refused = connectErrors.find(AddressText(to.address));
        if (refused != connectErrors.end()) return Fail(refused->second);
        if (connectError != 0) return Fail(connectError);
        connectedFamily_ = to.address.family;
        return 0;
    }
    int GetLocalEndpoint(os::Socket, Endpoint& local) override {
        if (started_ == 0) return Fail(WsaNotInitialised);
        local = connectedFamily_ == AfInet6 ? local6 : local4;
        return 0;
    }
    std::string InterfaceName(const IpAddress& address) override {
        const auto found = interfaces.find(AddressText(address));
        return found == interfaces.end() ? "" : found->second;
    }
    int ReceiveWithin(os::Socket, char* buffer, int length, std::chrono::milliseconds) override {
        if (started_ == 0) return Fail(WsaNotInitialised);
        if (peerSends.empty()) return Fail(WsaETimedOut);
        const std::size_t size = std::min(peerSends.size(), static_cast<std::size_t>(length));
        std::memcpy(buffer, peerSends.data(), size);
        return static_cast<int>(size);
    }

private:
    int connectedFamily_ = AfInet;
    int started_ = 0;  // successful start-ups not yet cleaned up

    int Fail(int code) {
        lastError = code;
        return SocketError;
    }
};

}  // namespace os::fakes
