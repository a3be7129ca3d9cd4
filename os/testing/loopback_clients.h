// Clients of a listener on this machine (127.0.0.1 or ::1), many at once, for tests and benchmarks.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "os/listener.h"

namespace os::testing {

class LoopbackClients {
public:
    using Clock = std::chrono::steady_clock;

    struct Answer {
        std::string text;             // what came, up to the bytes asked for
        bool ended = false;           // the listener ended the connection
        Clock::time_point connected;  // when its connect began
        Clock::time_point last;       // when its last byte or its end came
    };

    // `count` connections, each connect finished before the next begins (the listener's queue takes
    // them, accepted or not). Throws std::runtime_error when one fails.
    LoopbackClients(IpFamily family, std::uint16_t port, std::size_t count);
    ~LoopbackClients();
    LoopbackClients(const LoopbackClients&) = delete;
    LoopbackClients& operator=(const LoopbackClients&) = delete;

    // Reads from every open connection until each has ended or has `atMost` bytes, or `wait` passes.
    // Each connection's answer adds up over the calls.
    const std::vector<Answer>& Read(std::size_t atMost, std::chrono::milliseconds wait);
    // Sends from connection `index`; false when the system refused it.
    bool Send(std::size_t index, std::string_view data);
    void Close(std::size_t index);

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace os::testing
