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

Names TableOptions(const corvix::cli::Verb& verb) {
    Names names;
    for (const corvix::cli::Option& option : verb.options) names.insert(std::string(option.name));
    return names;
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
}

TEST(CommandTable, TheManPageNamesWhatTheTableHas) {
    const std::string page = Read("packaging/linux/corvix-tcpip-cli.1");
    const std::string synopsis = Section(page, ".SH SYNOPSIS", ".SH ");
    EXPECT_EQ(Matches(synopsis, "\n\\.B corvix-tcpip-cli ([a-z][a-z-]*)\n"), TableVerbs());
    for (const corvix::cli::Verb& verb : corvix::cli::Verbs()) {
        const std::string lines = Section(synopsis, ".B corvix-tcpip-cli " + std::string(verb.name) + "\n", ".br");
        EXPECT_EQ(Matches(lines, "\\\\-\\\\-([a-z-]+)"), [&] {
            Names bare;
            for (const std::string& option : TableOptions(verb)) bare.insert(option.substr(2));
            return bare;
        }()) << verb.name;
    }
    EXPECT_NE(synopsis.find(".BR \\-\\-help \" | \" \\-\\-version"), std::string::npos);
    EXPECT_EQ(Matches(Section(page, ".SH EXIT STATUS", ".SH "), "(\\d+) [a-z]"), Numbers(corvix::cli::ExitCodes));
    EXPECT_EQ(Matches(page, "(\\d (?:OK|WARNING|CRITICAL|UNKNOWN))"), States());
}

}  // namespace
