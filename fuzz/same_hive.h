// Whether two hives hold the same keys and values, spelled the same and in the same order.
#pragma once

#include "os/posix/hive_format.h"

namespace corvix::fuzz {

inline bool SameHive(const os::posix::Hive& a, const os::posix::Hive& b) {
    auto sameValue = [](const os::posix::HiveValue& x, const os::posix::HiveValue& y) {
        return x.name == y.name && x.type == y.type && x.data == y.data;
    };
    auto sameKey = [&](const os::posix::HiveKey& x, const os::posix::HiveKey& y) {
        return x.path == y.path &&
               std::equal(x.values.begin(), x.values.end(), y.values.begin(), y.values.end(), sameValue);
    };
    return std::equal(a.keys.begin(), a.keys.end(), b.keys.begin(), b.keys.end(), sameKey);
}

}  // namespace corvix::fuzz
