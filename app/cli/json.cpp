#include "app/cli/json.h"

#include "platform/windows1252.h"

namespace corvix::cli {

std::string JsonString(std::string_view eightBitText) {
    static constexpr char Hex[] = "0123456789abcdef";
    std::string out = "\"";
    for (const char c : qor::Windows1252ToUtf8(eightBitText)) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (byte < 0x20 || byte == 0x7F) {
                out += "\\u00";
                out += Hex[byte >> 4];
                out += Hex[byte & 0xF];
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

void JsonWriter::Member(std::string_view key) {
    if (!first_) json_ += ",";
    first_ = false;
    if (!key.empty()) json_ += JsonString(key) + ":";
}

JsonWriter& JsonWriter::BeginObject(std::string_view key) {
    Member(key);
    json_ += "{";
    first_ = true;
    return *this;
}

JsonWriter& JsonWriter::EndObject() {
    json_ += "}";
    first_ = false;
    return *this;
}

JsonWriter& JsonWriter::BeginArray(std::string_view key) {
    Member(key);
    json_ += "[";
    first_ = true;
    return *this;
}

JsonWriter& JsonWriter::EndArray() {
    json_ += "]";
    first_ = false;
    return *this;
}

JsonWriter& JsonWriter::Text(std::string_view key, std::string_view value) {
    Member(key);
    json_ += JsonString(value);
    return *this;
}

JsonWriter& JsonWriter::Number(std::string_view key, std::int64_t value) {
    Member(key);
    json_ += std::to_string(value);
    return *this;
}

JsonWriter& JsonWriter::Null(std::string_view key) {
    Member(key);
    json_ += "null";
    return *this;
}

JsonWriter& JsonWriter::Boolean(std::string_view key, bool value) {
    Member(key);
    json_ += value ? "true" : "false";
    return *this;
}

}  // namespace corvix::cli
