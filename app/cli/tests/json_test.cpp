#include "app/cli/json.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace {

using corvix::cli::JsonString;

TEST(JsonString, EveryByteGivesValidJsonThatReadsBackAsWindows1252) {
    std::string all;
    for (int byte = 0; byte < 256; ++byte) all += static_cast<char>(byte);
    const nlohmann::json parsed = nlohmann::json::parse(JsonString(all));
    const std::string text = parsed.get<std::string>();
    EXPECT_EQ(text.substr(0, 128), all.substr(0, 128));
    EXPECT_EQ(text.substr(128, 3), "\xE2\x82\xAC");  // 0x80, the euro sign
    EXPECT_TRUE(text.ends_with("\xC3\xBF"));         // 0xFF
}

TEST(JsonString, EscapesQuotesBackslashesAndControls) {
    const std::pair<std::string, std::string> rows[] = {
        {"a\"b", R"("a\"b")"},
        {"a\\b", R"("a\\b")"},
        {"\n\r\t", R"("\n\r\t")"},
        {std::string(1, '\0'), R"("\u0000")"},
        {"\x1f\x7f", R"("\u001f\u007f")"},
        {"", R"("")"},
    };
    for (const auto& [text, json] : rows) EXPECT_EQ(JsonString(text), json);
}

TEST(JsonWriter, NestsObjectsAndArrays) {
    corvix::cli::JsonWriter json;
    json.BeginObject().Text("a", "x").BeginArray("list");
    json.BeginObject().Number("n", -5).EndObject().BeginObject().Null("z").Boolean("b", true).EndObject();
    json.EndArray().BeginObject("o").EndObject().EndObject();
    EXPECT_EQ(json.Finish(), R"({"a":"x","list":[{"n":-5},{"z":null,"b":true}],"o":{}})"
                             "\n");
}

}  // namespace
