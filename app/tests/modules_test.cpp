#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "app/modules.h"
#include "app/settings.h"
#include "support/log_except.h"
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

// A module's place in the start-up order; past the end when it is missing.
std::size_t StartUpPlace(std::string_view module) {
    const auto modules = corvix::ProgramModules();
    std::size_t place = 0;
    while (place < modules.size() && modules[place].module != module) ++place;
    return place;
}

TEST(ProgramModules, OverrideFileIsReadBeforeTheBuiltInTextsAreRegistered) {
    EXPECT_LT(StartUpPlace("error log"), StartUpPlace("translation table"));
    EXPECT_LT(StartUpPlace("registry root B"), StartUpPlace("translation table"));
    EXPECT_LT(StartUpPlace("translation table"), StartUpPlace("built-in texts"));
    EXPECT_LT(StartUpPlace("built-in texts"), StartUpPlace("main window"));
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
