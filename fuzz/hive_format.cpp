// The hive formatter over any hive the registry can hold, built from the input: every key path and
// value name, value type and data is written so that the file parses back to the same hive.
//
// Input: a series of records. A record starting with an even byte adds a key: a length byte and that
// many bytes of path. One starting with an odd byte adds a value to the last key: a length byte and
// the name, the type (4 bytes, little-endian), a length byte and the data.
#include <string>
#include <string_view>

#include "fuzz_target.h"
#include "os/posix/hive_format.h"
#include "recipe.h"
#include "same_hive.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace os::posix;
    corvix::fuzz::Recipe input(data, size);
    Hive hive;
    HiveKey* last = nullptr;
    while (input.More()) {
        if (input.Byte() % 2 == 0) {
            const std::string path = input.Text();
            if (!ValidKeyPath(path)) continue;
            EnsureKey(hive, path);
            last = FindKey(hive, path);
        } else {
            HiveValue value;
            value.name = input.Text();
            value.type = input.Word();
            const std::string bytes = input.Text();
            value.data.assign(bytes.begin(), bytes.end());
            if (!last || !ValidValueName(value.name) || FindValue(*last, value.name)) continue;
            last->values.push_back(std::move(value));
        }
    }
    const std::string text = FormatHive(hive);
    const auto parsed = ParseHive(text);
    corvix::fuzz::Check(parsed.has_value(), "a hive the registry can hold was written in a form that does not parse");
    corvix::fuzz::Check(corvix::fuzz::SameHive(hive, *parsed), "a hive changed on its way through the file");
    return 0;
}
