// A listener for the agent tests, on an address of the test's own network namespace, until it is killed.
//   port_listener ADDRESS PORT accept   answers every connection and closes it again
//   port_listener ADDRESS PORT hold     listens with a queue of one and fills it itself: further
//                                       connects get no answer at all, as from a blocked server
// It prints "ready" once connects get their answer (or none).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char* argv[]) {
    if (argc != 4 || (std::strcmp(argv[3], "accept") != 0 && std::strcmp(argv[3], "hold") != 0)) {
        std::fprintf(stderr, "usage: port_listener ADDRESS PORT accept|hold\n");
        return 2;
    }
    const bool hold = std::strcmp(argv[3], "hold") == 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(std::atoi(argv[2])));
    if (inet_pton(AF_INET, argv[1], &address.sin_addr) != 1) {
        std::fprintf(stderr, "port_listener: bad address %s\n", argv[1]);
        return 2;
    }
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    // Linux queues one connection more than the backlog: with 0, one fills it.
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, hold ? 0 : 64) != 0) {
        std::perror("port_listener");
        return 1;
    }
    if (hold) {
        const int filler = socket(AF_INET, SOCK_STREAM, 0);
        if (filler < 0 || connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            std::perror("port_listener: filling the queue");
            return 1;
        }
        std::printf("ready\n");
        std::fflush(stdout);
        for (;;) pause();
    }
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;) {
        const int connection = accept(listener, nullptr, nullptr);
        if (connection >= 0) close(connection);
    }
}
