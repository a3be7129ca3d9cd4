#include <gtest/gtest.h>

#include <random>

#include "os/posix/hive_format.h"
#include "os/registry.h"
#include "os/testing/generated_hive.h"

namespace {

using os::posix::FindKey;
using os::posix::FindValue;
using os::posix::FormatHive;
using os::posix::Hive;
using os::posix::HiveValue;
using os::posix::LookUpHive;
using os::posix::ParseHive;

std::vector<std::uint8_t> Bytes(std::string_view s) { return {s.begin(), s.end()}; }

TEST(HiveFormat, EveryValueTypeSurvivesARoundTrip) {
    Hive hive;
    hive.keys.push_back({"Software", {}});
    std::vector<std::uint8_t> longBinary;
    for (int i = 0; i < 300; ++i) longBinary.push_back(static_cast<std::uint8_t>(i));
    hive.keys.push_back({"Software\\Qor",
                         {
                             HiveValue{"Text", os::RegSz, Bytes(std::string("a \"quoted\" C:\\path\xe9") + '\0')},
                             HiveValue{"Empty", os::RegSz, {0}},
                             HiveValue{"", os::RegSz, Bytes(std::string_view("default\0", 8))},
                             HiveValue{"Expand", os::RegExpandSz, Bytes(std::string_view("%TEMP%\\x\0", 9))},
                             HiveValue{"Port", os::RegDword, {0xEA, 0, 0, 0}},
                             HiveValue{"ShortDword", os::RegDword, {1, 2}},
                             HiveValue{"Binary", os::RegBinary, longBinary},
                             HiveValue{"NoBytes", os::RegBinary, {}},
                             HiveValue{"Multi", 7, Bytes(std::string_view("a\0b\0\0", 5))},
                             HiveValue{"Unterminated", os::RegSz, Bytes("abc")},
                             HiveValue{"TwoLines", os::RegSz, Bytes(std::string_view("a\r\nb\0", 5))},
                             HiveValue{"QWord", 11, {1, 2, 3, 4, 5, 6, 7, 8}},
                         }});
    const std::string text = FormatHive(hive);
    const auto parsed = ParseHive(text);
    ASSERT_TRUE(parsed) << text;
    ASSERT_EQ(parsed->keys.size(), 2u);
    EXPECT_EQ(parsed->keys[1].path, "Software\\Qor");
    const auto& values = parsed->keys[1].values;
    ASSERT_EQ(values.size(), hive.keys[1].values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(values[i].name, hive.keys[1].values[i].name);
        EXPECT_EQ(values[i].type, hive.keys[1].values[i].type) << values[i].name;
        EXPECT_EQ(values[i].data, hive.keys[1].values[i].data) << values[i].name;
    }
    // The editor's own forms, line ends and line lengths.
    EXPECT_EQ(text.rfind("REGEDIT4\r\n", 0), 0u);
    EXPECT_NE(text.find("\"Text\"=\"a \\\"quoted\\\" C:\\\\path\xe9\"\r\n"), std::string::npos);
    EXPECT_NE(text.find("\"Port\"=dword:000000ea\r\n"), std::string::npos);
    EXPECT_NE(text.find("\"Expand\"=hex(2):25,54,45,4d,50,25,5c,78,00\r\n"), std::string::npos);
    EXPECT_NE(text.find("@=\"default\"\r\n"), std::string::npos);
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        ASSERT_NE(end, std::string::npos);
        EXPECT_LE(end - start, 80u) << text.substr(start, end - start);
        start = end + 2;
    }
}

TEST(HiveFormat, ReadsWhatTheEditorWrites) {
    const std::string text =
        "REGEDIT4\n\n"
        "; exported by hand\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qor\\Corvix\\TcpIp]\n"
        "\"HostName\"=hex(2):25,54,45,4d,50,\\\n"
        "  25,5c,78,00\n"
        "\"HostPort\"=DWORD:000004D2\n"
        "\n"
        "[hkey_local_machine\\software\\qor\\corvix\\tcpip]\n"
        "\"hostport\"=dword:000000ea\n";
    const auto hive = ParseHive(text);
    ASSERT_TRUE(hive);
    ASSERT_EQ(hive->keys.size(), 1u);
    EXPECT_EQ(hive->keys[0].path, "SOFTWARE\\Qor\\Corvix\\TcpIp");  // the case first written is kept
    ASSERT_EQ(hive->keys[0].values.size(), 2u);
    EXPECT_EQ(hive->keys[0].values[0].type, os::RegExpandSz);
    EXPECT_EQ(hive->keys[0].values[0].data, Bytes(std::string_view("%TEMP%\\x\0", 9)));
    EXPECT_EQ(hive->keys[0].values[1].name, "HostPort");
    EXPECT_EQ(hive->keys[0].values[1].data, (std::vector<std::uint8_t>{0xEA, 0, 0, 0}));
}

TEST(HiveFormat, CrLfAndLfReadAlike) {
    const std::string lf = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=\"x\"\n";
    std::string crlf;
    for (char c : lf) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    const auto a = ParseHive(lf);
    const auto b = ParseHive(crlf);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(FormatHive(*a), FormatHive(*b));
}

TEST(HiveFormat, AHiveOfThirtyThousandKeysIsReadWholeAndFoundInAnyCase) {
    const std::string text = os::testing::GeneratedHive(30000);
    const auto hive = ParseHive(text);
    ASSERT_TRUE(hive);
    ASSERT_EQ(hive->keys.size(), 30000u);
    // Found in another case, each keeping the spelling it was stored with.
    Hive found = *hive;
    const auto* key = FindKey(found, "SOFTWARE\\qor\\CORVIX\\tcpip");
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->path, os::testing::GeneratedHiveToolKey);
    const auto* port = FindValue(*FindKey(found, "software\\QOR\\corvix\\TcpIp"), "HOSTPORT");
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(port->name, "HostPort");
    EXPECT_EQ(port->data, (std::vector<std::uint8_t>{0xEA, 0, 0, 0}));
    // A key named with a Windows-1252 letter, spelled with the other case of each letter.
    const std::string stored = std::string("Software\\\xC7") + "a0";
    ASSERT_EQ(hive->keys[1].path, stored);
    const auto* accented = FindKey(found, std::string("sOFTWARE\\\xE7") + "A0");
    ASSERT_NE(accented, nullptr);
    EXPECT_EQ(accented->path, stored);
    // Written back as it was read: every key and value in its place and spelling.
    EXPECT_EQ(FormatHive(*hive), text);
    const auto looked = LookUpHive(text, "SOFTWARE\\QOR\\CORVIX\\TCPIP", "hostname");
    ASSERT_TRUE(looked);
    EXPECT_TRUE(looked->keyExists);
    ASSERT_TRUE(looked->value);
    EXPECT_EQ(looked->value->data, Bytes(std::string_view("127.0.0.1\0", 10)));
}

// Beyond a few values a key's values are found through an index of their own; repeats in any case,
// in the same section or in a later one of the same key, still change the value first read.
TEST(HiveFormat, RepeatedKeysAndValuesOfAKeyWithManyValuesMergeInAnyCase) {
    const std::string upper = "N\xC9";  // a name with the capital E acute, and with the small one
    const std::string lower = "n\xE9";
    std::string text = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Caf\xE9]\n";
    for (int i = 0; i < 20; ++i)
        text += "\"" + upper + std::to_string(i) + "\"=dword:0000000" + std::to_string(i % 10) + "\n";
    text += "\"" + lower + "3\"=\"three\"\n";
    text += "[HKEY_LOCAL_MACHINE\\Software\\Other]\n@=\"x\"\n";
    text += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\CAF\xC9]\n";
    text += "\"" + upper + "19\"=hex:01\n\"" + upper + "20\"=hex:02\n\"" + lower + "20\"=hex:03\n";
    const auto hive = ParseHive(text);
    ASSERT_TRUE(hive);
    ASSERT_EQ(hive->keys.size(), 2u);
    EXPECT_EQ(hive->keys[0].path, "Software\\Caf\xE9");
    const auto& values = hive->keys[0].values;
    ASSERT_EQ(values.size(), 21u);
    for (int i = 0; i <= 20; ++i) EXPECT_EQ(values[i].name, upper + std::to_string(i));
    EXPECT_EQ(values[3].type, os::RegSz);
    EXPECT_EQ(values[3].data, Bytes(std::string_view("three\0", 6)));
    EXPECT_EQ(values[19].data, (std::vector<std::uint8_t>{1}));
    EXPECT_EQ(values[20].data, (std::vector<std::uint8_t>{3}));
    const auto looked = LookUpHive(text, "software\\caf\xC9", lower + "20");
    ASSERT_TRUE(looked && looked->value);
    EXPECT_EQ(looked->value->name, upper + "20");
    EXPECT_EQ(looked->value->data, (std::vector<std::uint8_t>{3}));
}

TEST(HiveFormat, LookUpAnswersAsTheReadHiveDoes) {
    const std::string text =
        "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Qor\\Corvix\\TcpIp]\n\"HostPort\"=dword:000004d2\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Other]\n\"HostPort\"=dword:00000001\n"
        "[HKEY_LOCAL_MACHINE\\software\\qor\\corvix\\tcpip]\n\"hostport\"=dword:000000ea\n";
    const auto port = LookUpHive(text, "SOFTWARE\\QOR\\CORVIX\\TCPIP", "HOSTPORT");
    ASSERT_TRUE(port);
    EXPECT_TRUE(port->keyExists);
    ASSERT_TRUE(port->value);
    EXPECT_EQ(port->value->name, "HostPort");
    EXPECT_EQ(port->value->data, (std::vector<std::uint8_t>{0xEA, 0, 0, 0}));
    // A parent with no section of its own is there, and holds no values.
    const auto parent = LookUpHive(text, "Software\\Qor", "HostPort");
    ASSERT_TRUE(parent);
    EXPECT_TRUE(parent->keyExists);
    EXPECT_FALSE(parent->value);
    const auto missing = LookUpHive(text, "Software\\Qor\\Corvix\\Tcp");
    ASSERT_TRUE(missing);
    EXPECT_FALSE(missing->keyExists);
    // A damaged hive gives nothing at all, however early the key was found.
    EXPECT_FALSE(LookUpHive(text + "\"Broken\"=dword:zz\n", "Software\\Qor\\Corvix\\TcpIp", "HostPort"));
}

// EnsureKey looks at the hive once, whatever the depth; it adds what a look for each parent in turn adds.
TEST(HiveFormat, EnsureKeyAddsTheParentsAParentByParentLookAdds) {
    const char* components[] = {"a", "A", "\xC9", "\xE9", "ab", "b"};
    std::mt19937 random(20261208);
    auto path = [&] {
        std::string p = components[random() % std::size(components)];
        for (int depth = random() % 4; depth > 0; --depth)
            p += std::string("\\") + components[random() % std::size(components)];
        return p;
    };
    for (int run = 0; run < 300; ++run) {
        Hive hive;
        for (int keys = random() % 6; keys > 0; --keys) hive.keys.push_back({path(), {}});
        const std::string added = path();
        Hive expected = hive;
        bool expectedResult = false;
        if (!FindKey(expected, added)) {
            expectedResult = true;
            for (std::size_t end = 0; (end = added.find('\\', end)) != std::string::npos; ++end) {
                if (!os::posix::KeyExists(expected, added.substr(0, end)))
                    expected.keys.push_back({added.substr(0, end), {}});
            }
            expected.keys.push_back({added, {}});
        }
        EXPECT_EQ(os::posix::EnsureKey(hive, added), expectedResult) << added;
        EXPECT_EQ(FormatHive(hive), FormatHive(expected)) << added;
    }
}

struct DamagedRow {
    const char* name;
    const char* text;
};

void PrintTo(const DamagedRow& row, std::ostream* out) { *out << row.name; }

class DamagedHive : public testing::TestWithParam<DamagedRow> {};

TEST_P(DamagedHive, IsRefusedWhole) { EXPECT_FALSE(ParseHive(GetParam().text)) << GetParam().text; }

const DamagedRow DamagedRows[] = {
    {"Empty", ""},
    {"NoHeader", "[HKEY_LOCAL_MACHINE\\A]\n"},
    {"WrongHeader", "Windows Registry Editor Version 5.00\n"},
    {"ValueBeforeKey", "REGEDIT4\n\"v\"=\"x\"\n"},
    {"OtherRoot", "REGEDIT4\n[HKEY_CURRENT_USER\\A]\n"},
    {"RootPrefixOnly", "REGEDIT4\n[HKEY_LOCAL_MACHINEX\\A]\n"},
    {"UnclosedKey", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A\n"},
    {"EmptyComponent", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A\\\\B]\n"},
    {"DeletedKey", "REGEDIT4\n[-HKEY_LOCAL_MACHINE\\A]\n"},
    {"DeletedValue", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=-\n"},
    {"UnclosedString", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=\"x\n"},
    {"TextAfterString", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=\"x\"y\n"},
    {"BadEscape", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=\"\\n\"\n"},
    {"ShortDword", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=dword:ea\n"},
    {"BadHexDigit", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=hex:0g\n"},
    {"TruncatedContinuation", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=hex:01,\\\n"},
    {"TrailingComma", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=hex:01,\n"},
    {"UnknownData", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=qword:1\n"},
    {"NoEquals", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"v\" \"x\"\n"},
};

INSTANTIATE_TEST_SUITE_P(Rows, DamagedHive, testing::ValuesIn(DamagedRows),
                         [](const auto& info) { return std::string(info.param.name); });

// Windows-1252 letters pair as Windows pairs them: the accented capitals 0xC0-0xDE with 0xE0-0xFE (the
// signs 0xD7 and 0xF7 aside), and the four pairs of the 0x80 row.
struct NameRow {
    const char* name;
    const char* a;
    const char* b;
    bool same;
};
void PrintTo(const NameRow& row, std::ostream* out) { *out << row.name; }

class NameCase : public testing::TestWithParam<NameRow> {};

TEST_P(NameCase, FoldsAsWindowsDoes) { EXPECT_EQ(os::posix::SameName(GetParam().a, GetParam().b), GetParam().same); }

const NameRow NameRows[] = {
    {"Ascii", "HostName", "hOSTnAME", true},    {"AGrave", "\xC0", "\xE0", true},
    {"EAcute", "CAF\xC9", "caf\xE9", true},     {"Thorn", "\xDE", "\xFE", true},
    {"SCaron", "\x8A", "\x9A", true},           {"OELigature", "\x8C", "\x9C", true},
    {"ZCaron", "\x8E", "\x9E", true},           {"YDiaeresis", "\x9F", "\xFF", true},
    {"TimesIsNoLetter", "\xD7", "\xF7", false}, {"SharpSHasNoCapital", "\xDF", "\xFF", false},
    {"MicroOnlyItself", "\xB5", "\xD5", false}, {"DifferentLetters", "\xC9", "\xE8", false},
    {"AsciiIsNotAccented", "E", "\xE9", false},
};

INSTANTIATE_TEST_SUITE_P(Rows, NameCase, testing::ValuesIn(NameRows),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
