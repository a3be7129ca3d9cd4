// The library's process-wide language: it picks the entries of every word table.
#pragma once

#include <cstdint>

namespace qor {

// 0 Dutch, 1 English, 2 German, 3 French, 4 Hungarian. Nothing here changes it, so Dutch is shown.
inline std::uint8_t LanguageNumber = 0;

// How many languages the word tables hold.
inline constexpr std::uint8_t LanguageCount = 5;

// The row to read from a word table: a value beyond the tables falls back to Dutch rather than
// reading past their end.
inline std::uint8_t LanguageIndex() { return LanguageNumber < LanguageCount ? LanguageNumber : 0; }

}  // namespace qor
