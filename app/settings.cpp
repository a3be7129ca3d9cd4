#include "app/settings.h"

#include <vector>

#include "support/error.h"

namespace corvix {
namespace {

// Closes the key on every way out, errors included.
class OpenedKey {
public:
    OpenedKey(os::Registry& registry, std::uint32_t access) : registry_(registry) {
        opened_ = registry_.CreateKey(RegistryRootB, std::string(SettingsKeyPath), access, key_) == os::ErrorSuccess;
    }
    ~OpenedKey() {
        if (opened_) registry_.CloseKey(key_);
    }
    OpenedKey(const OpenedKey&) = delete;
    OpenedKey& operator=(const OpenedKey&) = delete;

    bool Opened() const { return opened_; }
    os::RegKey Key() const { return key_; }

private:
    os::Registry& registry_;
    os::RegKey key_ = 0;
    bool opened_ = false;
};

[[noreturn]] void Raise(const char* format, const std::string& name) {
    std::string message = format;
    message.replace(message.find("%s"), 2, name);
    throw qor::Error(message);
}

bool ValueExists(os::Registry& registry, os::RegKey key, const std::string& name, std::uint32_t& size) {
    std::uint32_t type = 0;
    size = 0;
    return registry.QueryValue(key, name, &type, nullptr, &size) == os::ErrorSuccess;
}

std::string ReadHostName(os::Registry& registry, os::RegKey key, std::uint32_t size) {
    const std::string name = "HostName";
    if (size == 0) return {};
    std::vector<std::uint8_t> buffer(size);
    std::uint32_t type = 0;
    std::uint32_t got = size;
    if (registry.QueryValue(key, name, &type, buffer.data(), &got) != os::ErrorSuccess) {
        Raise("Failed to get data for '%s'", name);
    }
    // An expandable string is taken as it stands: no variables are expanded.
    if (type != os::RegSz && type != os::RegExpandSz) Raise("Invalid data type for '%s'", name);
    std::string text(buffer.begin(), buffer.begin() + got);
    return text.substr(0, text.find('\0'));
}

std::int32_t ReadHostPort(os::Registry& registry, os::RegKey key) {
    const std::string name = "HostPort";
    std::uint8_t buffer[4] = {};
    std::uint32_t type = 0;
    std::uint32_t size = sizeof buffer;
    if (registry.QueryValue(key, name, &type, buffer, &size) != os::ErrorSuccess) {
        Raise("Failed to get data for '%s'", name);
    }
    if (type != os::RegDword) Raise("Invalid data type for '%s'", name);
    const std::uint32_t value =
        buffer[0] | buffer[1] << 8 | buffer[2] << 16 | static_cast<std::uint32_t>(buffer[3]) << 24;
    return static_cast<std::int32_t>(value);
}

void Write(os::Registry& registry, os::RegKey key, const std::string& name, std::uint32_t type,
           const std::vector<std::uint8_t>& bytes) {
    if (registry.SetValue(key, name, type, bytes.data(), static_cast<std::uint32_t>(bytes.size())) !=
        os::ErrorSuccess) {
        Raise("Failed to set data for '%s'", name);
    }
}

}  // namespace

void StartRegistryRootB() {
    if (RegistryRootB == 0) RegistryRootB = os::HkeyLocalMachine;
}

void ApplyFixedPort(std::int32_t& port) { port = DefaultServerPort; }

void LoadSettings(ServerSettings& settings, os::Registry& registry) {
    {
        OpenedKey key(registry, os::KeyQueryValue);
        if (!key.Opened()) return;
        std::uint32_t size = 0;
        std::string hostName = ValueExists(registry, key.Key(), "HostName", size)
                                   ? ReadHostName(registry, key.Key(), size)
                                   : std::string(DefaultServerHost);
        std::int32_t port =
            ValueExists(registry, key.Key(), "HostPort", size) ? ReadHostPort(registry, key.Key()) : DefaultServerPort;
        ApplyFixedPort(port);
        settings.hostName = std::move(hostName);
        settings.port = port;
    }
    SaveSettings(settings, registry);
}

void SaveSettings(const ServerSettings& settings, os::Registry& registry) {
    OpenedKey key(registry, os::KeyAllAccess);
    if (!key.Opened()) return;
    std::vector<std::uint8_t> host(settings.hostName.begin(), settings.hostName.end());
    host.push_back(0);
    Write(registry, key.Key(), "HostName", os::RegSz, host);
    const auto port = static_cast<std::uint32_t>(settings.port);
    Write(registry, key.Key(), "HostPort", os::RegDword,
          {static_cast<std::uint8_t>(port), static_cast<std::uint8_t>(port >> 8), static_cast<std::uint8_t>(port >> 16),
           static_cast<std::uint8_t>(port >> 24)});
}

}  // namespace corvix
