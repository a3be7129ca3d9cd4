// An in-memory os::Registry for tests, with the faults a real registry won't give on demand. It keeps
// the service's contract: keys open below the root or below an open key, names ignore letter case, a
// handle allows what it was opened for, and an unknown handle answers ErrorInvalidHandle.
#pragma once

#include <algorithm>
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

    // Key and value names compare as the registry compares them: letter case aside.
    struct NameLess {
        static char Fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
        bool operator()(const std::string& a, const std::string& b) const {
            return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                                [](char x, char y) { return Fold(x) < Fold(y); });
        }
    };

    bool denyAll = false;                           // no key opens at all
    bool keyMissing = false;                        // OpenKey finds no key (CreateKey makes it)
    bool denyWrite = false;                         // keys open for reading only
    bool failSet = false;                           // every write fails
    std::map<std::string, Value, NameLess> values;  // by key path + "|" + value name
    int opened = 0;
    int closed = 0;
    int sets = 0;

    // A key path from the root, without the leading "from the root" backslash, then the value name.
    static std::string Slot(const std::string& path, const std::string& name) { return Relative(path) + "|" + name; }

    long CreateKey(RegKey root, const std::string& path, std::uint32_t access, RegKey& key) override {
        std::string base;
        if (root != HkeyLocalMachine) {
            const auto parent = open_.find(root);
            if (parent == open_.end()) return ErrorInvalidHandle;
            base = parent->second.path;
        }
        if (denyAll) return ErrorAccessDenied;
        if (denyWrite && (access & ~KeyRead) != 0) return ErrorAccessDenied;
        keyMissing = false;
        const std::string relative = Relative(path);
        key = next_++;
        open_[key] = Open{base.empty() ? relative : relative.empty() ? base : base + "\\" + relative, access};
        ++opened;
        return ErrorSuccess;
    }

    long OpenKey(RegKey root, const std::string& path, std::uint32_t access, RegKey& key) override {
        if (root != HkeyLocalMachine && open_.count(root) == 0) return ErrorInvalidHandle;
        if (keyMissing && !denyAll) return ErrorFileNotFound;
        return CreateKey(root, path, access, key);
    }

    long QueryValue(RegKey key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                    std::uint32_t* size) override {
        const auto handle = open_.find(key);
        if (handle == open_.end()) return ErrorInvalidHandle;
        if ((handle->second.access & KeyQueryValue) == 0) return ErrorAccessDenied;
        if (data && !size) return ErrorInvalidParameter;
        const auto it = values.find(handle->second.path + "|" + name);
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
        const auto handle = open_.find(key);
        if (handle == open_.end()) return ErrorInvalidHandle;
        if ((handle->second.access & KeySetValue) == 0) return ErrorAccessDenied;
        if (!data && size != 0) return ErrorInvalidParameter;
        if (failSet) return ErrorAccessDenied;
        ++sets;
        std::vector<std::uint8_t> bytes(data, data + size);
        const auto it = values.find(handle->second.path + "|" + name);
        // A value keeps the spelling it was first stored with.
        if (it != values.end()) {
            it->second = Value{type, std::move(bytes)};
        } else {
            values.emplace(handle->second.path + "|" + name, Value{type, std::move(bytes)});
        }
        return ErrorSuccess;
    }

    long CloseKey(RegKey key) override {
        if (key == HkeyLocalMachine) return ErrorSuccess;
        if (open_.erase(key) == 0) return ErrorInvalidHandle;
        ++closed;
        return ErrorSuccess;
    }

private:
    struct Open {
        std::string path;
        std::uint32_t access = 0;
    };

    static std::string Relative(const std::string& path) {
        return !path.empty() && path.front() == '\\' ? path.substr(1) : path;
    }

    std::map<RegKey, Open> open_;
    RegKey next_ = 1;
};

}  // namespace os::fakes
