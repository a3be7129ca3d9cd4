// os::Registry on Windows: the ANSI registry calls of advapi32.
#include "os/registry.h"

#include <windows.h>

namespace os {
namespace {

HKEY ToHkey(RegKey key) { return reinterpret_cast<HKEY>(key); }

class Win32Registry final : public Registry {
public:
    long CreateKey(RegKey root, const std::string& path, std::uint32_t access, RegKey& key) override {
        // RegCreateKeyExA refuses a leading backslash (ErrorBadPathname); ours means "from the root".
        const char* subKey = path.c_str();
        if (*subKey == '\\') ++subKey;
        HKEY opened = nullptr;
        const LONG result = RegCreateKeyExA(ToHkey(root), subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr,
                                            &opened, nullptr);
        if (result == ERROR_SUCCESS) key = reinterpret_cast<RegKey>(opened);
        return result;
    }

    long OpenKey(RegKey root, const std::string& path, std::uint32_t access, RegKey& key) override {
        const char* subKey = path.c_str();
        if (*subKey == '\\') ++subKey;
        HKEY opened = nullptr;
        const LONG result = RegOpenKeyExA(ToHkey(root), subKey, 0, access, &opened);
        if (result == ERROR_SUCCESS) key = reinterpret_cast<RegKey>(opened);
        return result;
    }

    long QueryValue(RegKey key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                    std::uint32_t* size) override {
        DWORD valueType = 0;
        DWORD valueSize = size ? *size : 0;
        const LONG result =
            RegQueryValueExA(ToHkey(key), name.c_str(), nullptr, &valueType, data, size ? &valueSize : nullptr);
        if (type) *type = valueType;
        if (size) *size = valueSize;
        return result;
    }

    long SetValue(RegKey key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                  std::uint32_t size) override {
        return RegSetValueExA(ToHkey(key), name.c_str(), 0, type, data, size);
    }

    long CloseKey(RegKey key) override { return RegCloseKey(ToHkey(key)); }
};

}  // namespace

Registry& RealRegistry() {
    static Win32Registry registry;
    return registry;
}

std::string_view WriteAccessHint() { return "Run the program as an administrator."; }

}  // namespace os
