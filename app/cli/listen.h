// The listen verb: the server's port opened on every local address, each connection printed and
// answered with the listener's greeting, so that an installer can prove that the network and its
// firewalls pass the port before the server exists.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "os/listener.h"
#include "os/system.h"

namespace corvix::cli {

struct ListenRequest {
    std::uint16_t port = 0;                            // 0: a port the system picks
    std::optional<std::uint64_t> count;                // ends once this many connections came
    std::optional<std::chrono::milliseconds> timeout;  // ends once this time has passed
    // How long a connection keeps its place after the greeting, waiting for the client to end it.
    std::chrono::milliseconds clientTimeLimit{1000};
};

struct ListenOutput {
    // A line for standard output, "\n" included; false once standard output cannot be written, which
    // ends the run: nobody would learn of the connections.
    std::function<bool(std::string_view line)> out;
    std::function<void(std::string_view message)> err;  // a message for standard error, without a line end
};

// Connections served at once; the rest wait in the system's queue until a place is free.
inline constexpr std::size_t ListenClientLimit = 1024;

// Listens until the count or the time is reached, or for ever; Ctrl+C is the process's ending, which
// reads `served`, the number of connections taken so far. Gives the run's exit code.
int Listen(os::Listener& listener, os::System& system, const ListenRequest& request, const ListenOutput& output,
           std::atomic<std::uint64_t>& served);

// "--count" and "--timeout" as the command line takes them: a whole number from 1, and seconds with
// up to three decimals, above 0.
std::optional<std::uint64_t> ParseCount(std::string_view text);
std::optional<std::chrono::milliseconds> ParseDuration(std::string_view text);

}  // namespace corvix::cli
