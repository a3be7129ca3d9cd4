// The override file's unescaper over any text: it never lengthens a text, leaves a text without
// backslashes alone, and gives back any text written in the file's escaped form.
#include <string>

#include "fuzz_target.h"
#include "trans/tests/escaped_text.h"
#include "trans/trans.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using corvix::fuzz::Check;
    const std::string input(reinterpret_cast<const char*>(data), size);

    std::string text = input;
    qor::UnescapeText(text);
    Check(text.size() <= input.size(), "unescaping made the text longer");
    if (input.find('\\') == std::string::npos) Check(text == input, "a text without escapes changed");

    std::string written = qor::transtest::Escaped(input);
    qor::UnescapeText(written);
    Check(written == input, "an escaped text did not come back");
    return 0;
}
