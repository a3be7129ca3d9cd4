// The built-in Dutch texts: the program's own copy of the library's interface vocabulary, put into
// the Dutch slot of the translation table once at start-up, after the override file has been read.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace qor {

struct BuiltInText {
    std::int32_t id;
    std::string_view text;
};

// Every built-in text in the order it is registered: block by block, each block in ascending id order.
extern const std::span<const BuiltInText> BuiltInTexts;

// The list's start-up step, run after the override file has been read: registers every row of
// BuiltInTexts through RegisterText, in order.
void RegisterBuiltInTexts();

}  // namespace qor
