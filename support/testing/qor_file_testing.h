// Helpers for the record file tests and the tests of what is written through it: whole-file reads and writes,
// and the share-mode table that both the in-process and the cross-process tests check.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "os/files.h"
#include "os/system.h"
#include "support/qor_file.h"

namespace qor::filetest {

inline void PutFile(const std::string& name, const std::string& bytes) {
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out << bytes;
}

inline std::string GetFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A file object that keeps every message its error hook receives.
class RecordingFile : public TQorFile {
public:
    using TQorFile::TQorFile;
    void ReportError(const std::string& message) override { messages.push_back(message); }
    std::vector<std::string> messages;
};

// The nine ways of opening that the share table crosses: access (read, write, both) and sharing
// (16 none, 32 read, 48 read and write), as OpenMode values.
struct ShareCase {
    const char* name;
    std::int32_t openMode;
};
inline constexpr std::array<ShareCase, 9> ShareCases = {{
    {"Read/none", ModeRead | ModeShareNone},
    {"Read/read", ModeRead | ModeShareRead},
    {"Read/both", ModeRead | ModeShareBoth},
    {"Write/none", ModeWrite | ModeShareNone},
    {"Write/read", ModeWrite | ModeShareRead},
    {"Write/both", ModeWrite | ModeShareBoth},
    {"ReadWrite/none", ModeReadWrite | ModeShareNone},
    {"ReadWrite/read", ModeReadWrite | ModeShareRead},
    {"ReadWrite/both", ModeReadWrite | ModeShareBoth},
}};

// Row: the first opener, holding the file. Column (in ShareCases order): the second opener.
// 'Y' opens, '-' fails with "Sharing violation". Windows' own answers.
inline constexpr std::array<const char*, 9> ShareTable = {
    "---------",  // Read/none
    "-YY------",  // Read/read
    "-YY-YY-YY",  // Read/both
    "---------",  // Write/none
    "--Y------",  // Write/read
    "--Y--Y--Y",  // Write/both
    "---------",  // ReadWrite/none
    "--Y------",  // ReadWrite/read
    "--Y--Y--Y",  // ReadWrite/both
};

// Tries every second opener against a file someone already holds: one 'Y' or '-' per case, or the
// unexpected error code in brackets.
inline std::string SecondOpenRow(const std::string& name) {
    std::string row;
    for (const auto& second : ShareCases) {
        TQorFile file(name, 1);
        file.OpenMode = second.openMode;
        if (file.Open(OpenExistingOnly)) {
            row += 'Y';
        } else if (file.LastError == static_cast<std::int32_t>(os::ErrorSharingViolation)) {
            row += '-';
        } else {
            row += '[';
            row += std::to_string(file.LastError);
            row += ']';
        }
    }
    return row;
}

// For each way of opening, holds `name` open that way and compares what `secondRow` finds with the table.
template <typename SecondRow>
void CheckShareTable(const std::string& name, SecondRow secondRow) {
    PutFile(name, "data");
    for (std::size_t row = 0; row < ShareCases.size(); ++row) {
        SCOPED_TRACE(ShareCases[row].name);
        TQorFile holder(name, 1);
        holder.OpenMode = ShareCases[row].openMode;
        ASSERT_TRUE(holder.Open(OpenExistingOnly));
        EXPECT_EQ(secondRow(), ShareTable[row]);
    }
}

// Both command shells take a word without blanks as it is; the scratch and build paths have none.
inline std::string Word(const std::string& text) {
    return text.find(' ') == std::string::npos ? text : "\"" + text + "\"";
}

// Runs this test executable again with `arguments`; gives the child's exit status.
inline int RunSelf(const std::string& arguments) {
    return std::system((Word(os::RealSystem().ModulePath()) + " " + arguments).c_str());
}

// Runs `count` children at once, child i with arguments(i); `whileRunning` runs in the meantime.
inline std::vector<int> RunSelfTogether(
    int count, const std::function<std::string(int)>& arguments, const std::function<void()>& whileRunning = [] {}) {
    std::vector<int> exits(static_cast<std::size_t>(count), -1);
    std::vector<std::thread> children;
    for (int child = 0; child < count; ++child) {
        children.emplace_back([&, child] { exits[static_cast<std::size_t>(child)] = RunSelf(arguments(child)); });
    }
    whileRunning();
    for (auto& child : children) child.join();
    return exits;
}

// How often each whole entry of `entrySize` bytes occurs in `text`.
inline void CountEntries(const std::string& text, std::size_t entrySize, std::map<std::string, int>& seen) {
    for (std::size_t at = 0; at + entrySize <= text.size(); at += entrySize) ++seen[text.substr(at, entrySize)];
}

}  // namespace qor::filetest
