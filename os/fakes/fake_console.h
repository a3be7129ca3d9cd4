// An os::Console for tests: keeps what was written and the endings asked for, and never ends anything.
#pragma once

#include <optional>
#include <string>

#include "os/console.h"

namespace os::fakes {

class FakeConsole : public Console {
public:
    std::string out;
    std::string err;
    std::optional<Ending> interrupt;
    std::optional<Ending> deadline;
    std::chrono::milliseconds limit{0};

    void Write(Stream stream, std::string_view text) override { (stream == Stream::Out ? out : err) += text; }
    void EndOnInterrupt(const Ending& ending) override { interrupt = ending; }
    void EndAfter(std::chrono::milliseconds after, const Ending& ending) override {
        deadline = ending;
        limit = after;
    }
};

}  // namespace os::fakes
