// The override file's reader over any content, into an empty table (each input leaves it empty): nothing lands in entry
// 0, no line fills more than one slot or a slot with more than the line holds, and reading the same content again
// changes nothing, because the first text of a slot wins.
#include <algorithm>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "fuzz_target.h"
#include "trans/trans.h"

namespace {

using corvix::fuzz::Check;

using Filled = std::vector<std::tuple<std::size_t, std::size_t, std::string>>;

Filled FilledSlots() {
    Filled filled;
    for (std::size_t id = 0; id < qor::TranslationTable.size(); ++id) {
        const auto& texts = qor::TranslationTable[id].Texts;
        for (std::size_t language = 0; language < texts.size(); ++language) {
            if (!texts[language].empty()) filled.emplace_back(id, language, texts[language]);
        }
    }
    return filled;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    qor::ReadTranslationText(bytes);

    const Filled filled = FilledSlots();
    std::vector<std::string_view> lines;
    qor::SplitLines(bytes, [&lines](std::string_view line) { lines.push_back(line); });
    std::size_t longest = 0;
    for (const std::string_view line : lines) longest = std::max(longest, line.size());
    Check(filled.size() <= lines.size(), "more slots filled than there are lines");
    for (const auto& [id, language, text] : filled) {
        Check(id != 0, "entry 0 was filled");
        Check(text.size() <= longest, "a text is longer than any line");
    }

    qor::ReadTranslationText(bytes);
    Check(FilledSlots() == filled, "reading the same content again changed the table");
    // The table keeps each input's bytes until it is released.
    qor::ReleaseTranslationTable();
    return 0;
}
