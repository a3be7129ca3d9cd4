// The README's command-line section and the man page name the verbs, options and exit codes of the
// program's own command table, so that none of the copies can drift from it.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "app/cli/command_line.h"

namespace {

using Names = std::set<std::string>;

std::string Read(const std::string& path) {
    std::ifstream in(std::string(CORVIX_SOURCE_DIR) + "/" + path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The part of `text` from the line starting with `from` to the next line starting with `to`.
std::string Section(const std::string& text, const std::string& from, const std::string& to) {
    const std::size_t start = text.find("\n" + from);
    const std::size_t end = text.find("\n" + to, start + 1);
    EXPECT_NE(start, std::string::npos) << from;
    return start == std::string::npos ? "" : text.substr(start, end - start);
}

Names Matches(const std::string& text, const std::string& pattern) {
    Names found;
    const std::regex re(pattern);
    for (auto it = std::sregex_iterator(text.begin(), text.end(), re); it != std::sregex_iterator(); ++it) {
        found.insert((*it)[1].str());
    }
    return found;
}

Names TableVerbs() {
    Names names;
    for (const corvix::cli::Verb& verb : corvix::cli::Verbs()) names.insert(std::string(verb.name));
    return names;
}

// Each option as a synopsis names it, without its dashes: by its letter where it has one ("H"), otherwise
// by its long name ("textfile").
Names SynopsisOptions(const corvix::cli::Verb& verb) {
    Names names;
    for (const corvix::cli::Option& option : verb.options) {
        names.insert(std::string(option.shortName.empty() ? option.name.substr(2) : option.shortName.substr(1)));
    }
    return names;
}

// "-H, --hostname" in the way a document writes the pair, or the long name alone.
std::string BothNames(const corvix::cli::Option& option, const std::string& between, const std::string& dash) {
    const auto dashed = [&dash](std::string_view name) {
        std::string text;
        for (const char c : name) text += c == '-' ? dash : std::string(1, c);
        return text;
    };
    return (option.shortName.empty() ? "" : dashed(option.shortName) + between) + dashed(option.name);
}

template <typename Codes>
Names Numbers(const Codes& codes) {
    Names numbers;
    for (const corvix::cli::ExitCode& exit : codes) numbers.insert(std::to_string(exit.code));
    return numbers;
}

Names States() {
    Names states;
    for (const corvix::cli::ExitCode& state : corvix::cli::CheckStates) {
        states.insert(std::to_string(state.code) + " " + std::string(state.meaning));
    }
    return states;
}

TEST(CommandTable, TheReadmeNamesWhatTheTableHas) {
    const std::string section = Section(Read("README.md"), "## The command line", "## ");
    EXPECT_EQ(Matches(section, "\n    corvix-tcpip-cli ([a-z][a-z-]*)"), TableVerbs());
    for (const corvix::cli::Verb& verb : corvix::cli::Verbs()) {
        const std::string line = "\n    corvix-tcpip-cli " + corvix::cli::Synopsis(verb);
        EXPECT_TRUE(section.find(line + " ") != std::string::npos || section.find(line + "\n") != std::string::npos)
            << line;
    }
    EXPECT_NE(section.find("\n    corvix-tcpip-cli --help | --version\n"), std::string::npos);
    EXPECT_EQ(Matches(section, "\n\\| (\\d+) \\|"), Numbers(corvix::cli::ExitCodes));
    EXPECT_EQ(Matches(section, "(\\d (?:OK|WARNING|CRITICAL|UNKNOWN))"), States());
    // The plugin's options are in a table of their own, each with both its names.
    const std::string readme = Read("README.md");
    for (const corvix::cli::Verb& verb : corvix::cli::Verbs()) {
        if (!verb.plugin) continue;
        for (const corvix::cli::Option& option : verb.options) {
            const std::string row = "\n| `" + BothNames(option, "`, `", "-") +
                                    (option.value.empty() ? "" : " " + std::string(option.value)) + "` |";
            EXPECT_NE(readme.find(row), std::string::npos) << row;
        }
    }
}

TEST(CommandTable, TheManPageNamesWhatTheTableHas) {
    const std::string page = Read("packaging/linux/corvix-tcpip-cli.1");
    const std::string synopsis = Section(page, ".SH SYNOPSIS", ".SH ");
    EXPECT_EQ(Matches(synopsis, "\n\\.B corvix-tcpip-cli ([a-z][a-z-]*)\n"), TableVerbs());
    for (const corvix::cli::Verb& verb : corvix::cli::Verbs()) {
        const std::string lines = Section(synopsis, ".B corvix-tcpip-cli " + std::string(verb.name) + "\n", ".br");
        EXPECT_EQ(Matches(lines, "\\\\-(?:\\\\-)?([a-z][a-z-]+|[A-Za-z]\\b)"), SynopsisOptions(verb)) << verb.name;
        if (!verb.plugin) continue;
        for (const corvix::cli::Option& option : verb.options) {
            const std::string names = BothNames(option, ", ", "\\-");
            const std::string line = option.value.empty() ? "\n.B " + names + "\n"
                                                          : "\n.BI \"" + names + " \" " + std::string(option.value) + "\n";
            EXPECT_NE(page.find(line), std::string::npos) << line;
        }
    }
    EXPECT_NE(synopsis.find(".BR \\-\\-help \" | \" \\-\\-version"), std::string::npos);
    EXPECT_EQ(Matches(Section(page, ".SH EXIT STATUS", ".SH "), "(\\d+) [a-z]"), Numbers(corvix::cli::ExitCodes));
    EXPECT_EQ(Matches(page, "(\\d (?:OK|WARNING|CRITICAL|UNKNOWN))"), States());
}

}  // namespace
