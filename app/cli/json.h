// A small JSON writer for the command line's --json output: one object, written in order.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvix::cli {

// Texts given to it are the program's 8-bit texts: each byte is decoded as Windows-1252 and written as
// UTF-8, so every byte has a character and the output is always valid JSON. Quotes, backslashes and
// control characters are escaped.
class JsonWriter {
public:
    JsonWriter& BeginObject(std::string_view key = {});
    JsonWriter& EndObject();
    JsonWriter& BeginArray(std::string_view key);
    JsonWriter& EndArray();
    JsonWriter& Text(std::string_view key, std::string_view value);
    JsonWriter& Number(std::string_view key, std::int64_t value);
    JsonWriter& Null(std::string_view key);
    JsonWriter& Boolean(std::string_view key, bool value);

    // The document, with a final line end.
    std::string Finish() const { return json_ + "\n"; }

private:
    // A comma when something came before at this level, then the key when inside an object.
    void Member(std::string_view key);

    std::string json_;
    bool first_ = true;
};

// A text as a JSON string, quotes included.
std::string JsonString(std::string_view eightBitText);

}  // namespace corvix::cli
