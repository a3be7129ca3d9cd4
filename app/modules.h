// The program's modules in their start-up order, and the runner that starts and stops them.
#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string_view>

#include "support/halt.h"

namespace corvix {

struct ModuleStep {
    std::string_view module;
    void (*startUp)();   // null: nothing to do at start-up
    void (*shutDown)();  // null: nothing to undo
};

// Runs each start-up step once, in order; shut-down steps run once each, in reverse, for exactly the
// modules that had started.
class ModuleRunner {
public:
    // Told of every module as it starts (true) and as it shuts down (false), steps or none.
    using Trace = std::function<void(const ModuleStep& module, bool startingUp)>;

    explicit ModuleRunner(std::span<const ModuleStep> steps, Trace trace = nullptr)
        : steps_(steps), trace_(std::move(trace)) {}
    ~ModuleRunner() { ShutDown(); }
    ModuleRunner(const ModuleRunner&) = delete;
    ModuleRunner& operator=(const ModuleRunner&) = delete;

    // Nothing when every module started; the exit code when a step halted (the started ones are
    // already shut down then).
    std::optional<int> StartUp();
    void ShutDown();

private:
    std::span<const ModuleStep> steps_;
    Trace trace_;
    std::size_t started_ = 0;
};

// This program's modules.
std::span<const ModuleStep> ProgramModules();

}  // namespace corvix
