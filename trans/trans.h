// The translation table: one text per text id and language, filled once at start-up from the
// override file "Trans.qtf" beside the program and then from the built-in Dutch texts.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "os/files.h"
#include "os/system.h"
#include "support/language.h"

namespace qor {

inline constexpr std::int32_t MaxTextId = 7000;

// The override file's name; it is looked for in the program's own directory.
inline constexpr std::string_view TranslationFileName = "Trans.qtf";

// One text per language slot, indexed by language number (slot 0 is Dutch). An empty text is a slot
// without a text. Texts are 8-bit bytes as they are, a byte of value 0 included. A slot refers to
// bytes the module owns (the override file's content, kept whole, and copies of other texts) or to
// a constant of the program; all of them stay until ReleaseTranslationTable.
struct TTransRecord {
    std::array<std::string_view, LanguageCount> Texts;
};

// Indexed by text id; entry 0 exists but nothing fills it. The functions below fill it; everybody
// else reads it.
extern const std::array<TTransRecord, MaxTextId + 1>& TranslationTable;

// True once ReadTranslationFile has gone through the whole file without an error.
extern bool TranslationFileRead;

// Reads "Trans.qtf" beside the program into the table. A missing file is silent; a file that cannot
// be loaded after its attempts, or any other error, leaves one error-log entry. Never throws.
void ReadTranslationFile(os::Files& files = os::RealFiles(), os::System& system = os::RealSystem());

// Puts a copy of a text into an empty slot: a slot that holds a text keeps it, and a language above 4
// or an id outside 1 to 7000 is ignored.
void StoreTranslation(std::string_view text, std::int32_t id, std::uint8_t language);

// Resolves the file's backslash escapes in place: \0 \n \p \r \s \t give the bytes 0, CR, "|", LF,
// backslash and tab. A backslash before any other character stays, with that character.
void UnescapeText(std::string& text);

// Stores a Dutch text under a text id. Ids 1 to 1000 and 4000 to 6000 always take the text; any
// other id takes it only while its Dutch slot is still empty. Ids outside 1 to 7000 are ignored. The
// table keeps a copy of the text.
void RegisterText(std::int32_t id, std::string_view text);

// RegisterText for a text that lives as long as the program (a constant of it, as the built-in texts
// are): the slot refers to the text itself, without a copy.
void RegisterConstantText(std::int32_t id, std::string_view text);

// Calls `onLine` with each line of the file's content, in order: CR LF, a lone CR and a lone LF each
// end a line (so LF CR ends two), a byte of value 0 ends the whole text, and the last line needs no
// line end. The lines point into `bytes`.
void SplitLines(std::string_view bytes, const std::function<void(std::string_view)>& onLine);

// Stores the text records of a file's content, line by line in file order. The table keeps its own
// copy of the content.
void ReadTranslationText(std::string_view bytes);

// The bytes the module holds for the table's texts; none after ReleaseTranslationTable.
std::size_t TranslationTextBytes();

// The module's start-up step (ReadTranslationFile on the real system) and its shut-down step, which
// releases every text and forgets that the file was read.
void StartTranslationTable();
void ReleaseTranslationTable();

}  // namespace qor
