// The scratch registry on Windows: what tests write goes to a key of its own, never to the machine's
// HKEY_LOCAL_MACHINE, and nothing of it is left afterwards.
#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <stdexcept>
#include <string>

#include "os/testing/scratch_registry.h"

namespace os::testing {
namespace {

constexpr char SettingsKey[] = "Software\\Qor\\Corvix\\TcpIp";

// The machine's HostName as this process sees it, read without creating anything.
std::optional<std::string> MachineHostName() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SettingsKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return std::nullopt;
    char text[256] = {};
    DWORD size = sizeof text - 1;
    const LONG read = RegQueryValueExA(key, "HostName", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size);
    RegCloseKey(key);
    return read == ERROR_SUCCESS ? std::optional<std::string>(text) : std::string("(no HostName)");
}

bool MachineHas(const char* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

TEST(ScratchRegistryWin32, TheMachineKeyIsNeverReached) {
    const std::optional<std::string> before = MachineHostName();
    // Every Windows, Wine's too, has this key; inside the scratch root it is not there.
    ASSERT_TRUE(MachineHas("Software\\Microsoft"));
    {
        ScratchRegistry scratch;
        EXPECT_FALSE(MachineHas("Software\\Microsoft")) << "the machine's keys are out of reach";
        EXPECT_EQ(MachineHostName(), std::nullopt) << "the scratch root starts empty";
        Registry& registry = scratch.Get();
        RegKey key = 0;
        ASSERT_EQ(registry.CreateKey(HkeyLocalMachine, std::string("\\") + SettingsKey, KeyAllAccess, key), 0);
        const std::uint8_t text[] = "scratch.invalid";
        ASSERT_EQ(registry.SetValue(key, "HostName", RegSz, text, sizeof text), 0);
        EXPECT_EQ(registry.CloseKey(key), 0);
        EXPECT_EQ(MachineHostName(), std::optional<std::string>("scratch.invalid"));
        EXPECT_THROW(ScratchRegistry second, std::logic_error) << "a second redirection would end the first";
    }
    EXPECT_EQ(MachineHostName(), before);
    EXPECT_TRUE(MachineHas("Software\\Microsoft")) << "the machine's root is back";
    // The next one starts empty again: the first left nothing behind in its place.
    ScratchRegistry again;
    EXPECT_EQ(MachineHostName(), std::nullopt);
}

}  // namespace
}  // namespace os::testing
