#include "app/modules.h"

#include "app/settings.h"

namespace corvix {

std::optional<int> ModuleRunner::StartUp() {
    while (started_ < steps_.size()) {
        const ModuleStep& step = steps_[started_];
        try {
            if (step.startUp) step.startUp();
        } catch (const qor::Halt& halt) {
            ShutDown();
            return halt.exitCode;
        }
        ++started_;
    }
    return std::nullopt;
}

void ModuleRunner::ShutDown() {
    while (started_ > 0) {
        const ModuleStep& step = steps_[--started_];
        if (step.shutDown) step.shutDown();
    }
}

std::span<const ModuleStep> ProgramModules() {
    static const ModuleStep modules[] = {
        {"WinSock error texts", nullptr, nullptr},
        {"registry root B", StartRegistryRootB, nullptr},
        {"main window", nullptr, nullptr},
    };
    return modules;
}

}  // namespace corvix
