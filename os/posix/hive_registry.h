// os::Registry on POSIX, kept in one REGEDIT4 hive file per root in a directory.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "os/posix/hive_format.h"
#include "os/registry.h"

namespace os::posix {

// HKEY_LOCAL_MACHINE lives in <directory>/HKEY_LOCAL_MACHINE.reg. Every change is a read-modify-write
// under an exclusive lock on <hive>.lock, written to a temporary file and renamed over the hive, so
// concurrent writers lose nothing and a writer that dies mid-save leaves the old or the new file.
class HiveRegistry final : public Registry {
public:
    explicit HiveRegistry(std::string directory);

    long CreateKey(RegKey root, const std::string& path, std::uint32_t access, RegKey& key) override;
    long OpenKey(RegKey root, const std::string& path, std::uint32_t access, RegKey& key) override;
    long QueryValue(RegKey key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                    std::uint32_t* size) override;
    long SetValue(RegKey key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                  std::uint32_t size) override;
    long CloseKey(RegKey key) override;

    const std::string& HivePath() const { return hivePath_; }

private:
    struct OpenedKey {
        std::string path;
        std::uint32_t access = 0;
    };

    long Open(RegKey root, const std::string& path, std::uint32_t access, bool create, RegKey& key);
    // The hive file's text; `exists` false, and no error, when there is no file yet.
    long Read(std::string& text, bool& exists) const;
    // The whole hive, for a change (an empty one when there is no file yet).
    long Load(Hive& hive, bool& exists) const;
    // One key, and one of its values when `name` is given, for a read.
    long LookUp(const std::string& path, std::optional<std::string_view> name, HiveLookup& found, bool& exists) const;
    bool MayWrite() const;
    template <typename Change>
    long Modify(Change change);
    long WriteHive(const Hive& hive) const;

    std::string directory_;
    std::string hivePath_;
    std::string lockPath_;
    std::map<RegKey, OpenedKey> open_;
    RegKey nextKey_ = 1;
};

}  // namespace os::posix
