// The settings loader over a registry whose HostName and HostPort come from the input, type and
// bytes. It may raise only its own errors; a failed read stores nothing and leaves the settings as
// they were; a load that succeeds shows port 234 and writes both values straight back; every key it
// opens it closes.
//
// Input: one byte of flags (bit 0 HostName present, bit 1 HostPort present, bit 2 the key opens for
// reading only, bit 3 every write fails), then for each present value its type (4 bytes,
// little-endian), a length byte and that many bytes of data (fewer when the input ends).
#include <algorithm>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "app/settings.h"
#include "fuzz_target.h"
#include "os/fakes/fake_registry.h"
#include "recipe.h"
#include "support/error.h"

namespace {

using corvix::fuzz::Check;
using os::fakes::FakeRegistry;

FakeRegistry::Value StoredValue(corvix::fuzz::Recipe& input) {
    const std::uint32_t type = input.Word();
    const std::string data = input.Text();
    return FakeRegistry::Value{type, std::vector<std::uint8_t>(data.begin(), data.end())};
}

const std::string HostName = FakeRegistry::Slot(std::string(corvix::SettingsKeyPath), "HostName");
const std::string HostPort = FakeRegistry::Slot(std::string(corvix::SettingsKeyPath), "HostPort");

bool OneOf(const std::string& message, std::initializer_list<const char*> formats) {
    for (const char* format : formats) {
        for (const char* name : {"HostName", "HostPort"}) {
            std::string expected = format;
            expected.replace(expected.find("%s"), 2, name);
            if (message == expected) return true;
        }
    }
    return false;
}

using Values = decltype(FakeRegistry::values);

bool SameValues(const Values& a, const Values& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
        return x.first == y.first && x.second.type == y.second.type && x.second.data == y.second.data;
    });
}

// The host name a load must show: the text up to its first zero byte, or the default when missing.
std::string ExpectedHostName(const FakeRegistry& registry) {
    const auto it = registry.values.find(HostName);
    if (it == registry.values.end()) return std::string(corvix::DefaultServerHost);
    const std::vector<std::uint8_t>& data = it->second.data;
    return std::string(data.begin(), std::find(data.begin(), data.end(), 0));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    corvix::fuzz::Recipe input(data, size);
    FakeRegistry registry;
    const std::uint8_t flags = input.Byte();
    if (flags & 1) registry.values[HostName] = StoredValue(input);
    if (flags & 2) registry.values[HostPort] = StoredValue(input);
    registry.denyWrite = (flags & 4) != 0;
    registry.failSet = (flags & 8) != 0;
    const Values stored = registry.values;

    corvix::StartRegistryRootB();
    corvix::ServerSettings settings;
    try {
        corvix::LoadSettings(settings, registry);
        Check(settings.port == corvix::DefaultServerPort, "the loaded port is not 234");
        Check(settings.hostName == ExpectedHostName(registry), "the host name is not the stored text");
        if (registry.denyWrite) {
            Check(registry.sets == 0, "a read-only key was written");
        } else {
            const auto& name = registry.values.at(HostName);
            const auto& port = registry.values.at(HostPort);
            std::vector<std::uint8_t> text(settings.hostName.begin(), settings.hostName.end());
            text.push_back(0);
            Check(name.type == os::RegSz && name.data == text, "HostName was not written back as REG_SZ");
            Check(port.type == os::RegDword && port.data == std::vector<std::uint8_t>{234, 0, 0, 0},
                  "HostPort was not written back as 234");
        }
    } catch (const qor::Error& error) {
        const std::string message = error.what();
        if (OneOf(message, {"Failed to set data for '%s'"})) {
            Check(registry.failSet && !registry.denyWrite, "a write failed that could not fail");
        } else {
            Check(OneOf(message, {"Invalid data type for '%s'", "Failed to get data for '%s'"}),
                  "the load raised an error of its own making");
            Check(settings.hostName.empty() && settings.port == 0, "a failed load changed the settings");
            Check(registry.sets == 0, "a failed load wrote to the registry");
        }
        Check(SameValues(registry.values, stored), "the stored values changed although the load failed");
    }
    Check(registry.opened == registry.closed, "a key was left open");
    return 0;
}
