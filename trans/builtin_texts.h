// The built-in Dutch texts: the program's own copy of the library's interface vocabulary, put into
// the Dutch slot of the translation table once at start-up, after the override file has been read.
#pragma once

#include <cstdint>
#include <string>

namespace qor {

// Stores a Dutch text under a text id. Ids 1 to 1000 and 4000 to 6000 always take the text; any
// other id takes it only while its Dutch slot is still empty. Belongs to the translation table.
void RegisterText(std::int32_t id, const std::string& text);

// Registers every built-in text through RegisterText, block by block, each block in ascending id
// order.
void RegisterBuiltInTexts();

}  // namespace qor
