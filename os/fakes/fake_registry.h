// An in-memory os::Registry for tests, with the faults a real registry won't give on demand.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "os/registry.h"

namespace os::fakes {

class FakeRegistry : public Registry {
public:
    struct Value {
        std::uint32_t type = 0;
        std::vector<std::uint8_t> data;
    };

    bool denyAll = false;                 // no key opens at all
    bool keyMissing = false;              // OpenKey finds no key (CreateKey makes it)
    bool denyWrite = false;               // keys open for reading only
    bool failSet = false;                 // every write fails
    std::map<std::string, Value> values;  // by key path + "|" + value name
    int opened = 0;
    int closed = 0;
    int sets = 0;

    static std::string Slot(const std::string& path, const std::string& name) { return path + "|" + name; }

    long CreateKey(RegKey, const std::string& path, std::uint32_t access, RegKey& key) override {
        if (denyAll) return ErrorAccessDenied;
        if (denyWrite && (access & ~KeyRead) != 0) return ErrorAccessDenied;
        keyMissing = false;
        key = static_cast<RegKey>(keys_.size() + 1);
        keys_.push_back(path);
        ++opened;
        return ErrorSuccess;
    }

    long OpenKey(RegKey root, const std::string& path, std::uint32_t access, RegKey& key) override {
        if (keyMissing && !denyAll) return ErrorFileNotFound;
        return CreateKey(root, path, access, key);
    }

    long QueryValue(RegKey key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                    std::uint32_t* size) override {
        const auto it = values.find(Slot(keys_.at(key - 1), name));
        if (it == values.end()) return ErrorFileNotFound;
        if (type) *type = it->second.type;
        const auto needed = static_cast<std::uint32_t>(it->second.data.size());
        if (data) {
            if (*size < needed) {
                *size = needed;
                return ErrorMoreData;
            }
            std::copy(it->second.data.begin(), it->second.data.end(), data);
        }
        if (size) *size = needed;
        return ErrorSuccess;
    }

    long SetValue(RegKey key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                  std::uint32_t size) override {
        if (failSet) return ErrorAccessDenied;
        ++sets;
        values[Slot(keys_.at(key - 1), name)] = Value{type, std::vector<std::uint8_t>(data, data + size)};
        return ErrorSuccess;
    }

    long CloseKey(RegKey) override {
        ++closed;
        return ErrorSuccess;
    }

private:
    std::vector<std::string> keys_;
};

}  // namespace os::fakes
