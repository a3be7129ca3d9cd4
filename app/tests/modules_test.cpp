#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/modules.h"
#include "app/settings.h"

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

}  // namespace
