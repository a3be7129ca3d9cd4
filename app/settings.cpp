#include "app/settings.h"

#include <vector>

#include "support/error.h"

namespace corvix {
namespace {

// Closes the key on every way out, errors included.
class OpenedKey {
public:
    enum class Mode { Create, OnlyExisting };

    OpenedKey(os::Registry& registry, std::uint32_t access, Mode mode = Mode::Create) : registry_(registry) {
        const std::string path(SettingsKeyPath);
        result_ = mode == Mode::Create ? registry_.CreateKey(RegistryRootB, path, access, key_)
                                       : registry_.OpenKey(RegistryRootB, path, access, key_);
        opened_ = result_ == os::ErrorSuccess;
    }
    ~OpenedKey() {
        if (opened_) registry_.CloseKey(key_);
    }
    OpenedKey(const OpenedKey&) = delete;
    OpenedKey& operator=(const OpenedKey&) = delete;

    bool Opened() const { return opened_; }
    long Result() const { return result_; }
    os::RegKey Key() const { return key_; }

private:
    os::Registry& registry_;
    os::RegKey key_ = 0;
    long result_ = os::ErrorSuccess;
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

// Both values, or the defaults, with the port fixed.
ServerSettings ReadValues(os::Registry& registry, os::RegKey key) {
    ServerSettings read;
    std::uint32_t size = 0;
    read.hostName = ValueExists(registry, key, "HostName", size) ? ReadHostName(registry, key, size)
                                                                 : std::string(DefaultServerHost);
    read.port = ValueExists(registry, key, "HostPort", size) ? ReadHostPort(registry, key) : DefaultServerPort;
    ApplyFixedPort(read.port);
    return read;
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
        settings = ReadValues(registry, key.Key());
    }
    // Storing back at start-up is a courtesy: a user who may not write simply does not.
    SaveSettings(settings, registry);
}

long ReadSettings(ServerSettings& settings, os::Registry& registry) {
    OpenedKey key(registry, os::KeyQueryValue, OpenedKey::Mode::OnlyExisting);
    if (key.Opened()) {
        settings = ReadValues(registry, key.Key());
    } else if (key.Result() == os::ErrorFileNotFound) {
        settings = ServerSettings{std::string(DefaultServerHost), DefaultServerPort};
        return os::ErrorSuccess;
    }
    return key.Result();
}

long SaveSettings(const ServerSettings& settings, os::Registry& registry) {
    OpenedKey key(registry, os::KeyAllAccess);
    if (!key.Opened()) return key.Result();
    std::vector<std::uint8_t> host(settings.hostName.begin(), settings.hostName.end());
    host.push_back(0);
    Write(registry, key.Key(), "HostName", os::RegSz, host);
    const auto port = static_cast<std::uint32_t>(settings.port);
    Write(registry, key.Key(), "HostPort", os::RegDword,
          {static_cast<std::uint8_t>(port), static_cast<std::uint8_t>(port >> 8), static_cast<std::uint8_t>(port >> 16),
           static_cast<std::uint8_t>(port >> 24)});
    return os::ErrorSuccess;
}

namespace {

std::string Why(long code) {
    if (code == os::ErrorAccessDenied) return "access denied";
    if (code == os::ErrorBadDb) return "the registry is damaged, error " + std::to_string(code);
    return "error " + std::to_string(code);
}

}  // namespace

std::string NotStoredReason(long code) {
    return "the registry key HKEY_LOCAL_MACHINE" + std::string(SettingsKeyPath) + " cannot be opened for writing (" +
           Why(code) + ")";
}

std::string NotStoredMessage(long code) {
    return "The settings were not stored: " + NotStoredReason(code) + ". " + std::string(os::WriteAccessHint());
}

std::string NotReadMessage(long code) {
    return "The stored settings cannot be read: the registry key HKEY_LOCAL_MACHINE" + std::string(SettingsKeyPath) +
           " cannot be opened (" + Why(code) + ")";
}

}  // namespace corvix
