// The registry service's contract, held by the real service (in a scratch root) and by its fake alike.
#include <gtest/gtest.h>

#include <string>

#include "os/fakes/fake_registry.h"
#include "os/registry.h"
#include "os/testing/scratch_registry.h"

namespace os {
namespace {

struct RealRegistryInScratch {
    testing::ScratchRegistry scratch;
    Registry& Get() { return scratch.Get(); }
};

struct FakeRegistryService {
    fakes::FakeRegistry fake;
    Registry& Get() { return fake; }
};

template <typename Service>
class RegistryContract : public ::testing::Test {
    // Made first: the reference below is taken from it.
    Service service_;

protected:
    Registry& registry_ = service_.Get();
};

struct ServiceNames {
    template <typename Service>
    static std::string GetName(int) {
        return std::is_same_v<Service, RealRegistryInScratch> ? "Real" : "Fake";
    }
};

using Services = ::testing::Types<RealRegistryInScratch, FakeRegistryService>;
TYPED_TEST_SUITE(RegistryContract, Services, ServiceNames);

TYPED_TEST(RegistryContract, QueryFollowsWindowsContract) {
    Registry& registry = this->registry_;
    RegKey key = 0;
    ASSERT_EQ(registry.CreateKey(HkeyLocalMachine, "Software\\Qor", KeyAllAccess, key), 0);
    const std::uint8_t text[] = "12345";
    ASSERT_EQ(registry.SetValue(key, "Text", RegSz, text, sizeof text), 0);

    std::uint32_t type = 0, size = 0;
    EXPECT_EQ(registry.QueryValue(key, "TEXT", &type, nullptr, &size), 0);  // names ignore case
    EXPECT_EQ(type, RegSz);
    EXPECT_EQ(size, 6u);
    std::uint8_t small[4] = {};
    size = sizeof small;
    EXPECT_EQ(registry.QueryValue(key, "Text", &type, small, &size), ErrorMoreData);
    EXPECT_EQ(size, 6u);
    std::uint8_t big[16] = {};
    size = sizeof big;
    EXPECT_EQ(registry.QueryValue(key, "Text", &type, big, &size), 0);
    EXPECT_STREQ(reinterpret_cast<char*>(big), "12345");
    EXPECT_EQ(registry.QueryValue(key, "Missing", &type, nullptr, &size), ErrorFileNotFound);

    RegKey readOnly = 0;
    ASSERT_EQ(registry.CreateKey(HkeyLocalMachine, "\\SOFTWARE\\QOR", KeyQueryValue, readOnly), 0);
    EXPECT_EQ(registry.SetValue(readOnly, "Text", RegSz, text, sizeof text), ErrorAccessDenied);
    size = sizeof big;
    EXPECT_EQ(registry.QueryValue(readOnly, "text", &type, big, &size), 0) << "one key, whatever the spelling";
    EXPECT_EQ(registry.CloseKey(readOnly), 0);
    EXPECT_EQ(registry.CloseKey(key), 0);
}

TYPED_TEST(RegistryContract, KeysOpenBelowAnOpenKeyAndHandlesEndWithTheirClose) {
    Registry& registry = this->registry_;
    RegKey parent = 0;
    ASSERT_EQ(registry.CreateKey(HkeyLocalMachine, "\\Software\\Qor", KeyAllAccess, parent), 0);
    RegKey child = 0;
    ASSERT_EQ(registry.CreateKey(parent, "Corvix\\TcpIp", KeyAllAccess, child), 0);
    const std::uint8_t port[4] = {234, 0, 0, 0};
    ASSERT_EQ(registry.SetValue(child, "HostPort", RegDword, port, 4), 0);
    RegKey direct = 0;
    ASSERT_EQ(registry.CreateKey(HkeyLocalMachine, "\\Software\\Qor\\Corvix\\TcpIp", KeyQueryValue, direct), 0);
    std::uint32_t type = 0, size = 0;
    EXPECT_EQ(registry.QueryValue(direct, "HostPort", &type, nullptr, &size), 0);
    EXPECT_EQ(type, RegDword);
    for (const RegKey key : {direct, child, parent}) EXPECT_EQ(registry.CloseKey(key), 0);

    // A closed handle names nothing: every call answers ErrorInvalidHandle, and nothing throws.
    EXPECT_EQ(registry.CloseKey(parent), ErrorInvalidHandle);
    EXPECT_EQ(registry.QueryValue(child, "HostPort", &type, nullptr, &size), ErrorInvalidHandle);
    EXPECT_EQ(registry.SetValue(child, "HostPort", RegDword, port, 4), ErrorInvalidHandle);
    RegKey below = 0;
    EXPECT_EQ(registry.CreateKey(parent, "Corvix", KeyQueryValue, below), ErrorInvalidHandle);
}

}  // namespace
}  // namespace os
