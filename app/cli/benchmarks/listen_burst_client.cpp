// Opens N connections at once to a listener on this machine, then reads every one of them: prints how
// many were answered with the listener's greeting and ended, and how long they took from each connect
// to the listener's end. Exits 1 when one was not answered, or took longer than the limit.
// usage: listen_burst_client PORT CONNECTIONS [LIMIT_MS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "app/listener_greeting.h"
#include "os/testing/loopback_clients.h"

int main(int argc, char* argv[]) {
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: listen_burst_client PORT CONNECTIONS [LIMIT_MS]\n");
        return 64;
    }
    const auto port = static_cast<std::uint16_t>(std::atoi(argv[1]));
    const auto count = static_cast<std::size_t>(std::atol(argv[2]));
    const std::chrono::milliseconds limit(argc == 4 ? std::atol(argv[3]) : 1000);
    try {
        os::testing::LoopbackClients clients(os::IpFamily::V4, port, count);
        // Waits well past the limit, so that a late answer is measured rather than missed.
        const auto& answers = clients.Read(corvix::ListenerGreeting.size() + 1, limit * 10);
        std::vector<double> ms;
        std::size_t answered = 0;
        for (const auto& answer : answers) {
            if (answer.text != corvix::ListenerGreeting || !answer.ended) continue;
            ++answered;
            ms.push_back(std::chrono::duration<double, std::milli>(answer.last - answer.connected).count());
        }
        std::sort(ms.begin(), ms.end());
        const double slowest = ms.empty() ? 0 : ms.back();
        std::printf("connections: %zu, answered with the greeting and ended: %zu\n", count, answered);
        if (!ms.empty()) {
            std::printf("connect to end, ms: median %.1f, 99th percentile %.1f, slowest %.1f\n", ms[ms.size() / 2],
                        ms[ms.size() * 99 / 100], slowest);
        }
        return answered == count && slowest <= static_cast<double>(limit.count()) ? 0 : 1;
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "listen_burst_client: %s\n", failure.what());
        return 1;
    }
}
