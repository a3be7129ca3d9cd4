#include <gtest/gtest.h>

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "app/modules.h"
#include "app/settings.h"
#include "support/log_except.h"
#include "support/startup_defaults.h"
#include "trans/trans.h"

namespace {

std::vector<std::string> trace;

template <char Name>
void Up() {
    trace.push_back(std::string("up ") + Name);
}
template <char Name>
void Down() {
    trace.push_back(std::string("down ") + Name);
}
void HaltWithOne() {
    trace.push_back("halt");
    throw qor::Halt{1};
}

TEST(ModuleRunner, StartsInOrderAndStopsInReverseOnce) {
    trace.clear();
    const corvix::ModuleStep steps[] = {
        {"a", Up<'a'>, Down<'a'>}, {"b", nullptr, Down<'b'>}, {"c", Up<'c'>, nullptr}, {"d", Up<'d'>, Down<'d'>}};
    {
        corvix::ModuleRunner runner(steps);
        EXPECT_EQ(runner.StartUp(), std::nullopt);
        runner.ShutDown();
        runner.ShutDown();
    }
    EXPECT_EQ(trace, (std::vector<std::string>{"up a", "up c", "up d", "down d", "down b", "down a"}));
}

TEST(ModuleRunner, HaltStopsOnlyTheModulesThatStarted) {
    trace.clear();
    const corvix::ModuleStep steps[] = {
        {"a", Up<'a'>, Down<'a'>}, {"b", HaltWithOne, Down<'b'>}, {"c", Up<'c'>, Down<'c'>}};
    corvix::ModuleRunner runner(steps);
    EXPECT_EQ(runner.StartUp(), 1);
    EXPECT_EQ(trace, (std::vector<std::string>{"up a", "halt", "down a"}));
}

TEST(ProgramModules, RegistryRootBIsGivenItsDefaultOnlyWhenUnset) {
    corvix::RegistryRootB = 0x80000001;
    {
        corvix::ModuleRunner runner(corvix::ProgramModules());
        ASSERT_EQ(runner.StartUp(), std::nullopt);
    }
    EXPECT_EQ(corvix::RegistryRootB, 0x80000001u);
    corvix::RegistryRootB = 0;
    {
        corvix::ModuleRunner runner(corvix::ProgramModules());
        ASSERT_EQ(runner.StartUp(), std::nullopt);
    }
    EXPECT_EQ(corvix::RegistryRootB, os::HkeyLocalMachine);
}

TEST(ProgramModules, ThirteenStepsInOrderAndShutDownInReverse) {
    std::vector<std::string> trace;
    {
        corvix::ModuleRunner runner(corvix::ProgramModules(), [&](const corvix::ModuleStep& module, bool up) {
            trace.push_back(std::string(up ? "up " : "down ") + std::string(module.module));
        });
        ASSERT_EQ(runner.StartUp(), std::nullopt);
        EXPECT_EQ(qor::PlaceholderText, "??");
        EXPECT_EQ(qor::SharedLockCount, 20);
        EXPECT_NE(qor::SharedLockB, nullptr);
        EXPECT_EQ(qor::RegistryRootA, os::HkeyLocalMachine);
        EXPECT_EQ(qor::RegistryRootC, os::HkeyLocalMachine);
    }
    const std::vector<std::string> order = {
        "calendar helpers", "record file objects", "error log",   "registry root A",   "WinSock error texts",
        "registry root B",  "registry root C",     "marker text", "translation table", "record checks",
        "shared locks",     "built-in texts",      "main window",
    };
    std::vector<std::string> expected;
    for (const auto& module : order) expected.push_back("up " + module);
    for (auto it = order.rbegin(); it != order.rend(); ++it) expected.push_back("down " + *it);
    EXPECT_EQ(trace, expected);
    EXPECT_EQ(qor::PlaceholderText, "");
    EXPECT_EQ(qor::SharedLockB, nullptr);
}

std::vector<std::string> boxes;

TEST(ProgramModules, AWrongRecordSizeHaltsWithExitCodeOneAfterTheStartedModulesStop) {
    trace.clear();
    boxes.clear();
    qor::ShowErrorMessageBox = [](const std::string& caption, const std::string& text) {
        boxes.push_back(caption + "|" + text);
    };
    const corvix::ModuleStep steps[] = {
        {"a", Up<'a'>, Down<'a'>},
        {"b", Up<'b'>, Down<'b'>},
        {"record checks",
         [] {
             std::array<std::int32_t, qor::CheckedRecordCount> sizes = {64,  1024, 512, 512, 512,  128,  1024, 3584,
                                                                        256, 64,   414, 512, 1024, 3072, 8000};
             qor::CheckRecordSizes(sizes);
         },
         Down<'r'>},
        {"c", Up<'c'>, Down<'c'>},
    };
    corvix::ModuleRunner runner(steps);
    EXPECT_EQ(runner.StartUp(), 1);
    qor::ShowErrorMessageBox = nullptr;
    EXPECT_EQ(boxes, std::vector<std::string>{
                         "Error|SizeOf(TBlokAutoRecord) = 8000, the maximum = 8000. Check ZiDu / Net_Sess."});
    EXPECT_EQ(trace, (std::vector<std::string>{"up a", "up b", "down b", "down a"}));
}

TEST(ProgramModules, BuiltInTextsStayFromStartUpToShutDown) {
    corvix::ModuleRunner runner(corvix::ProgramModules());
    ASSERT_EQ(runner.StartUp(), std::nullopt);
    EXPECT_EQ(qor::TranslationTable[5].Texts[0], "Zoeken");
    runner.ShutDown();
    EXPECT_EQ(qor::TranslationTable[5].Texts[0], "");
}

TEST(ProgramModules, ErrorLogKnowsTheProgramFromStartUpToShutDown) {
    corvix::ModuleRunner runner(corvix::ProgramModules());
    ASSERT_EQ(runner.StartUp(), std::nullopt);
    EXPECT_EQ(qor::LogFileName, os::RealSystem().ModulePath());
    runner.ShutDown();
    EXPECT_EQ(qor::LogFileName, "");
}

}  // namespace
