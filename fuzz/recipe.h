// Reads a fuzz input as a recipe of small fields; past its end every field reads as zero or empty,
// so any input is a whole recipe.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

namespace corvix::fuzz {

class Recipe {
public:
    Recipe(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool More() const { return at_ < size_; }

    std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }

    // Four bytes, little-endian.
    std::uint32_t Word() {
        std::uint32_t word = 0;
        for (int shift = 0; shift < 32; shift += 8) word |= static_cast<std::uint32_t>(Byte()) << shift;
        return word;
    }

    // A length byte and that many bytes, fewer when the input ends first.
    std::string Text() {
        const std::size_t length = std::min<std::size_t>(Byte(), size_ - at_);
        std::string text(reinterpret_cast<const char*>(data_ + at_), length);
        at_ += length;
        return text;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

}  // namespace corvix::fuzz
