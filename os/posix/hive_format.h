// The text form of a POSIX registry hive: the registry editor's REGEDIT4 export format.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace os::posix {

struct HiveValue {
    std::string name;  // empty for the key's default value ("@")
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
};

struct HiveKey {
    std::string path;  // below the root, components joined by "\"; empty for the root itself
    std::vector<HiveValue> values;
};

struct Hive {
    std::vector<HiveKey> keys;
};

// The root every key of the file lies under.
inline constexpr std::string_view HiveRootName = "HKEY_LOCAL_MACHINE";

// Reads a whole hive; nothing when the text is not a well-formed hive of HiveRootName, so a damaged
// file is never partly believed.
std::optional<Hive> ParseHive(std::string_view text);

// What a hive's text says of one key and, when `name` is given, of one of its values: what ParseHive
// followed by KeyExists, FindKey and FindValue would give, found while the text is read without
// building the hive. Nothing when the text is not a well-formed hive, as from ParseHive.
struct HiveLookup {
    bool keyExists = false;          // as KeyExists
    std::optional<HiveValue> value;  // as FindValue on the key's own sections, when it has the value
};
std::optional<HiveLookup> LookUpHive(std::string_view text, std::string_view path,
                                     std::optional<std::string_view> name = std::nullopt);

// Writes the hive with CR LF line ends, as the registry editor does.
std::string FormatHive(const Hive& hive);

// Whether the file can hold a key path below the root (components joined by "\", none of them
// empty) or a value name. A line feed would end the line it is written on and leave a file that no
// longer parses, losing every key in it; Windows takes such names, this store refuses them.
bool ValidKeyPath(std::string_view path);
bool ValidValueName(std::string_view name);

// Names compare without regard to the case of Windows-1252 letters, as Windows compares key and
// value names; each keeps the spelling it was stored with.
bool SameName(std::string_view a, std::string_view b);

HiveKey* FindKey(Hive& hive, std::string_view path);
HiveValue* FindValue(HiveKey& key, std::string_view name);

// Whether the key has a section of its own or is the parent of one.
bool KeyExists(const Hive& hive, std::string_view path);

// Adds a section for the key and for every parent not already there; true when anything was added.
bool EnsureKey(Hive& hive, std::string_view path);

}  // namespace os::posix
