// The registry service: the four calls of RegCreateKeyExA, RegQueryValueExA, RegSetValueExA, RegCloseKey.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "os/errors.h"

namespace os {

// A key handle (HKEY): a predefined root or a key opened by CreateKey.
using RegKey = std::uintptr_t;

inline constexpr RegKey HkeyLocalMachine = 0x80000002;

// Access masks.
inline constexpr std::uint32_t KeyQueryValue = 0x0001;
inline constexpr std::uint32_t KeySetValue = 0x0002;
inline constexpr std::uint32_t KeyRead = 0x20019;  // query, enumerate and notify, with read control
inline constexpr std::uint32_t KeyAllAccess = 0xF003F;

// Value types.
inline constexpr std::uint32_t RegSz = 1;
inline constexpr std::uint32_t RegExpandSz = 2;
inline constexpr std::uint32_t RegBinary = 3;
inline constexpr std::uint32_t RegDword = 4;

class Registry {
public:
    virtual ~Registry() = default;

    // RegCreateKeyExA: opens `path` below `root`, creating it and its missing parents (non-volatile, no class, default
    // security). A leading backslash means "from the root". `key` receives the handle on success.
    virtual long CreateKey(RegKey root, const std::string& path, std::uint32_t access, RegKey& key) = 0;

    // RegOpenKeyExA: opens `path` below `root` only when it exists (ErrorFileNotFound otherwise), so that
    // a reader never changes the registry.
    virtual long OpenKey(RegKey root, const std::string& path, std::uint32_t access, RegKey& key) = 0;

    // With `data` null: the value's type and size. With a buffer of `*size` bytes: its data, or
    // ErrorMoreData (and the needed size) when it does not fit. `type` may be null.
    virtual long QueryValue(RegKey key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                            std::uint32_t* size) = 0;

    virtual long SetValue(RegKey key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                          std::uint32_t size) = 0;

    virtual long CloseKey(RegKey key) = 0;
};

// The machine's registry: the real one on Windows, the hive files on POSIX.
Registry& RealRegistry();

// One sentence telling a user who was denied writing HKEY_LOCAL_MACHINE what gives that right here.
std::string_view WriteAccessHint();

}  // namespace os
