// A large registry hive file of the kind the suite's programs share on Linux, for tests and benchmarks
// of the hive at size: many small keys of other programs, named in mixed case with some Windows-1252
// letters, and this tool's settings key among them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace os::testing {

// The tool's key in the generated hive, spelled as the file spells it, with its values HostName
// ("127.0.0.1") and HostPort (234).
inline constexpr std::string_view GeneratedHiveToolKey = "Software\\Qor\\Corvix\\TcpIp";

// The text of a hive of `keys` sections (at least 4): Software, then vendors with products with
// components, each of one to three values (strings, DWORDs, binary and expandable strings, some of
// them the key's default value), then the tool's key and its two parents last. The same every time;
// 30,000 keys make some 2.4 MB.
inline std::string GeneratedHive(int keys) {
    // Pieces of names: ASCII in mixed case, and Windows-1252 letters of both cases, the 0x80 row's too.
    static constexpr std::string_view Syllables[] = {
        "Ab",
        "r\xE9",
        "Sys",
        "TEM",
        "\x9F",
        "\xD6l",
        "Dat",
        "en",
        "\x8Ak",
        "\x9Cu",
        "Gr",
        "\xC4",
        "n\xE9t",
        "Cfg",
        "\xC7"
        "a",
        "\xFEo",
        "Win",
        "x",
        "\xC9t\xE9",
        "Kr",
        "\x8E",
        "Lo",
    };
    std::uint32_t seed = 20261208;
    auto next = [&seed](std::uint32_t below) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % below;
    };
    // A name of one piece, or of two when `pieces` is 2, and a number, so that siblings never match
    // in any case.
    auto name = [&](std::uint32_t number, std::uint32_t pieces = 1) {
        std::string n(Syllables[next(std::size(Syllables))]);
        if (pieces == 2) n += Syllables[next(std::size(Syllables))];
        return n + std::to_string(number);
    };
    std::string text = "REGEDIT4\r\n";
    auto section = [&text](std::string_view path) {
        text += "\r\n[HKEY_LOCAL_MACHINE\\";
        text += path;
        text += "]\r\n";
    };
    auto values = [&] {
        const std::uint32_t count = 1 + next(2) + (next(4) == 0 ? 1 : 0);
        for (std::uint32_t v = 0; v < count; ++v) {
            const std::uint32_t kind = next(20);
            if (kind < 2 && v == 0) {
                text += '@';
            } else {
                text += '"' + name(v, 1 + next(2)) + '"';
            }
            text += '=';
            if (kind < 9) {
                text += "\"" + name(next(100)) + (kind % 3 == 0 ? "\\\\x\"" : "\"");
            } else if (kind < 17) {
                text += "dword:000" + std::to_string(10000 + next(90000));
            } else if (kind < 19) {
                text += "hex:de,ad,0" + std::to_string(next(10));
            } else {
                text += "hex(2):25,54,4d,50,25,00";
            }
            text += "\r\n";
        }
    };
    section("Software");
    values();
    int written = 1;
    const int others = keys - 3;
    for (std::uint32_t vendor = 0; written < others; ++vendor) {
        const std::string vendorPath = "Software\\" + name(vendor);
        section(vendorPath);
        values();
        ++written;
        for (std::uint32_t product = 0; product < 6 && written < others; ++product) {
            const std::string productPath = vendorPath + "\\" + name(product);
            section(productPath);
            values();
            ++written;
            for (std::uint32_t component = 0; component < 8 && written < others; ++component) {
                section(productPath + "\\" + name(component));
                values();
                ++written;
            }
        }
    }
    section("Software\\Qor");
    section("Software\\Qor\\Corvix");
    section(GeneratedHiveToolKey);
    text += "\"HostName\"=\"127.0.0.1\"\r\n\"HostPort\"=dword:000000ea\r\n\r\n";
    return text;
}

}  // namespace os::testing
