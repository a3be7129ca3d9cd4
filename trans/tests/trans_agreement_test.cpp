// The override file reader against a slow reader written straight from the file's rules, one byte
// and one step at a time: both must leave the same texts in the same slots for any content.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "trans/tests/trans_testing.h"
#include "trans/trans.h"

namespace qor {
namespace {

using Slots = std::map<std::pair<std::int32_t, int>, std::string>;

// ---- The reference reader ----

std::vector<std::string> ReferenceLines(const std::string& bytes) {
    std::vector<std::string> lines;
    std::string line;
    bool pending = false;  // some byte was taken since the last line end
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\0') break;
        if (c == '\r' || c == '\n') {
            lines.push_back(line);
            line.clear();
            pending = false;
            if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
        } else {
            line += c;
            pending = true;
        }
    }
    if (pending) lines.push_back(line);
    return lines;
}

std::uint32_t ReferenceNumber(const std::string& line, std::size_t& cursor) {
    std::uint32_t value = 0;
    while (cursor < line.size()) {
        const char c = line[cursor];
        ++cursor;
        if (c < '0' || c > '9') break;
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
    }
    return value;
}

// Position by position, 1-based, while the position is below the current length.
std::string ReferenceUnescape(std::string text) {
    const std::string letters = "0nprst";
    const std::string produced = std::string(1, '\0') + "\r|\n\\\t";
    for (std::size_t position = 1; position < text.size(); ++position) {
        const std::size_t index = position - 1;
        if (text[index] != '\\') continue;
        const std::size_t letter = letters.find(text[index + 1]);
        if (letter == std::string::npos) continue;
        text[index] = produced[letter];
        text.erase(index + 1, 1);
    }
    return text;
}

Slots ReferenceRead(const std::string& bytes) {
    Slots slots;
    for (const std::string& line : ReferenceLines(bytes)) {
        std::size_t cursor = 0;
        if (ReferenceNumber(line, cursor) != 2) continue;
        const std::uint32_t language = ReferenceNumber(line, cursor) % 256;
        const auto id = static_cast<std::int32_t>(ReferenceNumber(line, cursor));
        const std::size_t bar = line.find('|', cursor);
        if (bar == std::string::npos) continue;
        const std::string text = ReferenceUnescape(line.substr(cursor, bar - cursor));
        if (language > 4 || id < 1 || id > 7000 || text.empty()) continue;
        slots.emplace(std::make_pair(id, static_cast<int>(language)), text);  // keeps the first
    }
    return slots;
}

// ---- Generated files ----

class Agreement : public transtest::TableTest {
protected:
    std::size_t Pick(std::size_t count) { return std::uniform_int_distribution<std::size_t>(0, count - 1)(random_); }

    // Any byte, but mostly the ones that line ends, fields and escapes are made of; tabs and bytes
    // just above the line-end codes sit beside them.
    char Byte() {
        static const std::string Interesting = std::string("\\\\\\||0nprstN\r\n\t\x0b\x0c\x0e\x8a\x8d") + '\0';
        if (Pick(4) == 0) return static_cast<char>(Pick(256));
        if (Pick(3) == 0) return static_cast<char>('a' + Pick(26));
        return Interesting[Pick(Interesting.size())];
    }

    std::string Number() {
        switch (Pick(6)) {
        case 0:
            return "";
        case 1:
            return std::to_string(Pick(8));
        case 2:
            return std::to_string(Pick(7003));
        case 3:
            return std::to_string(256 + Pick(8));  // the low eight bits decide the language
        case 4:
            return std::to_string(4294967296ull + Pick(8));  // wraps past 32 bits
        default:
            return "0" + std::to_string(Pick(100));
        }
    }

    std::string Separator() { return Pick(5) == 0 ? std::string(1, Byte()) : "|"; }

    std::string Text() {
        static const char* const Escapes[] = {"\\0", "\\n", "\\p", "\\r", "\\s", "\\t", "\\x", "\\N", "\\\\", "\\"};
        std::string text;
        for (std::size_t length = Pick(40); length > 0; --length)
            text += Pick(4) == 0 ? std::string(Escapes[Pick(std::size(Escapes))]) : std::string(1, Byte());
        return text;
    }

    std::string Line() {
        if (Pick(10) == 0) {
            std::string junk;
            for (std::size_t length = Pick(30); length > 0; --length) junk += Byte();
            return junk;
        }
        std::string line =
            (Pick(8) == 0 ? Number() : "2") + Separator() + Number() + Separator() + Number() + Separator() + Text();
        if (Pick(6) != 0) line += "|";
        if (Pick(4) == 0) line += Text();
        return line;
    }

    std::string File() {
        static const char* const LineEnds[] = {"\r\n", "\r", "\n", "\n\r"};
        std::string file;
        for (std::size_t lines = Pick(60); lines > 0; --lines) file += Line() + LineEnds[Pick(std::size(LineEnds))];
        if (Pick(2) == 0) file += Line();  // a last line without an end
        return file;
    }

    static Slots TableSlots() {
        Slots slots;
        for (std::int32_t id = 0; id <= MaxTextId; ++id)
            for (int language = 0; language < LanguageCount; ++language)
                if (!Slot(id, static_cast<std::uint8_t>(language)).empty())
                    slots.emplace(std::make_pair(id, language), Slot(id, static_cast<std::uint8_t>(language)));
        return slots;
    }

    std::mt19937 random_{20260612};
};

TEST_F(Agreement, GeneratedFilesLeaveTheSameSlots) {
    for (int round = 0; round < 400; ++round) {
        ReleaseTranslationTable();
        const std::string file = File();
        ReadTranslationText(file);
        ASSERT_EQ(TableSlots(), ReferenceRead(file)) << "round " << round;
    }
}

TEST_F(Agreement, LineEndsAtEveryOffsetAreFound) {
    // A line end at each position of the first blocks the splitter compares at once, after bytes of
    // every value but the line ends; and the same line with nothing after it.
    const auto lines = [](std::string_view bytes) {
        std::vector<std::string_view> found;
        SplitLines(bytes, [&found](std::string_view line) { found.push_back(line); });
        return found;
    };
    for (std::size_t length = 0; length < 40; ++length) {
        for (const char end : {'\r', '\n', '\0'}) {
            std::string bytes;
            for (std::size_t i = 0; i < length; ++i) {
                char c = static_cast<char>(Pick(256));
                while (c == '\r' || c == '\n' || c == '\0') c = static_cast<char>(Pick(256));
                bytes += c;
            }
            const std::string line = bytes;
            bytes += end;
            bytes += "tail";
            const std::vector<std::string_view> split = lines(bytes);
            ASSERT_EQ(split.size(), end == '\0' ? (length > 0 ? 1u : 0u) : 2u) << "length " << length;
            if (!split.empty()) {
                ASSERT_EQ(split.front(), line) << "length " << length;
            }
            const std::vector<std::string_view> alone = lines(line);
            ASSERT_EQ(alone, length > 0 ? std::vector<std::string_view>{line} : std::vector<std::string_view>{})
                << "no end, length " << length;
        }
    }
}

TEST_F(Agreement, TextsEndAtTheirBarAtEveryOffset) {
    // Texts of every length up to two and a half blocks, of bytes that neither end a line nor the text, some next
    // to one that does (control bytes, and bytes one bit away from the bar and the backslash); each
    // with and without an escape in it, and at every offset of the line's first block.
    const auto plain = [this] {
        static const std::string Neighbours = "\t\x0b\x0c\x0e\x1f\x3c\x5d\x7d\xfc\xdc";
        char c = Pick(3) == 0 ? Neighbours[Pick(Neighbours.size())] : static_cast<char>(Pick(256));
        while (c == '\r' || c == '\n' || c == '\0' || c == '|' || c == '\\') c = static_cast<char>(Pick(256));
        return c;
    };
    for (std::size_t length = 1; length <= 40; ++length) {
        for (const bool escaped : {false, true}) {
            std::string text;
            for (std::size_t i = 0; i < length; ++i) text += plain();
            std::string written = text;
            if (escaped) {
                const std::size_t at = Pick(length + 1);
                written.insert(at, "\\p");
                text.insert(at, "|");
            }
            const std::string padding(Pick(16), '0');
            ReleaseTranslationTable();
            ReadTranslationText("2|1|" + padding + "77|" + written + "|" + written + "|\r\n");
            ASSERT_EQ(Slot(77, 1), text) << "length " << length << (escaped ? ", escaped" : "");
        }
    }
}

}  // namespace
}  // namespace qor
