#include "app/modules.h"

#include "app/settings.h"
#include "support/log_except.h"
#include "support/startup_defaults.h"
#include "trans/builtin_texts.h"
#include "trans/trans.h"

namespace corvix {

std::optional<int> ModuleRunner::StartUp() {
    while (started_ < steps_.size()) {
        const ModuleStep& step = steps_[started_];
        if (trace_) trace_(step, true);
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
        if (trace_) trace_(step, false);
        if (step.shutDown) step.shutDown();
    }
}

std::span<const ModuleStep> ProgramModules() {
    static const ModuleStep modules[] = {
        {"calendar helpers", [] { qor::StartCalendarModule(); }, nullptr},
        {"record file objects", nullptr, nullptr},
        {"error log", qor::StartErrorLog, qor::StopErrorLog},
        {"registry root A", qor::StartRegistryRootA, nullptr},
        {"WinSock error texts", nullptr, nullptr},
        {"registry root B", StartRegistryRootB, nullptr},
        {"registry root C", qor::StartRegistryRootC, nullptr},
        {"marker text", qor::StartPlaceholderText, qor::StopPlaceholderText},
        {"translation table", qor::StartTranslationTable, qor::ReleaseTranslationTable},
        {"record checks", qor::StartRecordChecks, nullptr},
        {"shared locks", qor::StartSharedLocks, qor::StopSharedLocks},
        {"built-in texts", qor::RegisterBuiltInTexts, nullptr},
        {"main window", nullptr, nullptr},
    };
    return modules;
}

}  // namespace corvix
