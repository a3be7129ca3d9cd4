// An os::Console for tests: keeps what was written and the ending asked for, and never ends anything.
#pragma once

#include <optional>
#include <string>

#include "os/console.h"
#include "os/errors.h"

namespace os::fakes {

class FakeConsole : public Console {
public:
    std::string out;
    std::string err;
    std::optional<Ending> interrupt;
    // Non-zero: writes to standard output fail with this code and write nothing.
    long outError = 0;

    long Write(Stream stream, std::string_view text) override {
        if (stream == Stream::Out && outError != 0) return outError;
        (stream == Stream::Out ? out : err) += text;
        return ErrorSuccess;
    }
    void EndOnInterrupt(const Ending& ending) override { interrupt = ending; }
};

}  // namespace os::fakes
