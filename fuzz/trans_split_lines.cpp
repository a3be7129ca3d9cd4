// The override file's line splitter over any bytes: the lines it gives are the text up to its first
// zero byte, cut at single line ends (CR LF, CR, LF) and nothing else.
#include <string_view>
#include <vector>

#include "fuzz_target.h"
#include "trans/trans.h"

namespace {

using corvix::fuzz::Check;

bool IsLineEnd(std::string_view gap) { return gap == "\r\n" || gap == "\r" || gap == "\n"; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string_view text = bytes.substr(0, bytes.find('\0'));
    std::vector<std::string_view> lines;
    qor::SplitLines(bytes, [&lines](std::string_view line) { lines.push_back(line); });
    Check(text.empty() == lines.empty(), "a text without lines, or lines without a text");

    std::size_t at = 0;  // where the next line must begin
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        Check(line.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos,
              "a line holds a line end or a zero byte");
        Check(line.data() >= text.data() && line.data() + line.size() <= text.data() + text.size(),
              "a line lies outside the text");
        const auto begin = static_cast<std::size_t>(line.data() - text.data());
        Check(i == 0 ? begin == 0 : IsLineEnd(text.substr(at, begin - at)),
              "lines are not separated by exactly one line end");
        at = begin + line.size();
    }
    // After the last line at most one line end remains: the last line needs none.
    Check(at == text.size() || IsLineEnd(text.substr(at)), "text left over after the last line");
    return 0;
}
