// The built-in Dutch texts: the program's own copy of the library's interface vocabulary, put into
// the Dutch slot of the translation table once at start-up, after the override file has been read.
#pragma once

namespace qor {

// The list's start-up step, run after the override file has been read: registers every built-in
// text through RegisterText, block by block, each block in ascending id order.
void RegisterBuiltInTexts();

}  // namespace qor
