// The hive parser over any file content: whatever it accepts, the formatter writes out so that it
// parses again to the same hive, and writing that hive again gives the same text.
#include <string_view>

#include "fuzz_target.h"
#include "os/posix/hive_format.h"
#include "same_hive.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using corvix::fuzz::Check;
    const auto parsed = os::posix::ParseHive(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!parsed) return 0;
    const std::string text = os::posix::FormatHive(*parsed);
    const auto again = os::posix::ParseHive(text);
    Check(again.has_value(), "a parsed hive was written in a form that does not parse");
    Check(corvix::fuzz::SameHive(*parsed, *again), "a parsed hive changed on its way through the file");
    Check(os::posix::FormatHive(*again) == text, "writing the same hive twice gave different texts");
    return 0;
}
