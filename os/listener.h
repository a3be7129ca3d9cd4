// The listening service: non-blocking TCP sockets that listen on every local address of a port and
// serve the connections they take, with WinSock's error numbers (WinSock 2.2 with WSAPoll on Windows).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "os/errors.h"
#include "os/sockets.h"

namespace os {

enum class IpFamily { V4, V6 };

// Who connected: the address as text ("192.0.2.7", "2001:db8::7") and the port.
struct Peer {
    std::string address;
    std::uint16_t port = 0;
};

// One socket for Poll: what to wait for, and what it found.
struct Watched {
    os::Socket socket = InvalidSocket;
    bool read = false;   // data, a connection to accept, or the peer's end
    bool write = false;  // room to send
    bool readable = false;
    bool writable = false;
    bool failed = false;  // an error or a hang-up; the next call on the socket says which
};

// Every call gives 0 or the WinSock code of its failure; WsaEWouldBlock when it would have to wait.
class Listener {
public:
    virtual ~Listener() = default;

    // WSAStartup for version 2.2 and WSACleanup; every other call needs a start-up.
    virtual int Startup() = 0;
    virtual void Cleanup() = 0;

    // A socket listening on every address of the family (0.0.0.0, or :: for IPv6 alone) at `port`, or at
    // a port the system picks for 0, written back. Its connections queue up to the system's limit.
    virtual int Open(IpFamily family, std::uint16_t& port, os::Socket& listening) = 0;
    // The next waiting connection, non-blocking like the listening socket, and who made it.
    virtual int Accept(os::Socket listening, os::Socket& accepted, Peer& peer) = 0;
    // As much of `data` as fits now; never raises a signal for a peer that is gone.
    virtual int Send(os::Socket socket, std::string_view data, std::size_t& sent) = 0;
    // Up to buffer.size() bytes; 0 of them when the peer has ended its sending.
    virtual int Receive(os::Socket socket, std::span<char> buffer, std::size_t& received) = 0;
    // shutdown for sending: the peer reads the end of the data.
    virtual int EndSending(os::Socket socket) = 0;
    // Waits until one of the sockets is ready or `timeout` passes (with none, just waits); `ready` counts
    // the ready ones.
    virtual int Poll(std::span<Watched> sockets, std::chrono::milliseconds timeout, int& ready) = 0;
    virtual void Close(os::Socket socket) = 0;
};

Listener& RealListener();

}  // namespace os
