// A TCP listener on 127.0.0.1, for tests that connect without leaving this machine.
#pragma once

#include <cstdint>
#include <memory>

namespace os::testing {

// Listens at a port the system chose and never accepts: finished connections wait in its queue.
class LoopbackListener {
public:
    // backlog: how many connections the queue holds; once it is full, further ones go unanswered.
    explicit LoopbackListener(int backlog = 8);
    ~LoopbackListener();
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    std::uint16_t Port() const;
    // Stops listening, so that the port refuses connections.
    void Close();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace os::testing
