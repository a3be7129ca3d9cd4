// The plain-text report of everything the window shows, for pasting into a support call. The window's
// clipboard copy and the command line print the same text.
#pragma once

#include <string>
#include <string_view>

#include "app/form.h"
#include "os/system.h"

namespace corvix {

// The program's version, from the project's build.
std::string_view ProgramVersion();

// "  Caption:              value\n": a line of a report's group, the values in one column.
std::string ReportLine(std::string_view caption, std::string_view value);

// "2026-12-08 13:40:01".
std::string TimeText(const os::SystemTime& time);

// A title line with the version, the time it was made, then every group of the window in reading
// order with its "caption: value" lines (the texts as shown, the last test's results included). Lines
// end in "\n"; the texts are the program's own 8-bit texts.
std::string FormReport(const TForm1& form, const os::SystemTime& madeAt);
// The same with the results of `test` (nothing: no test) in place of the window's last test.
std::string FormReport(const TForm1& form, const TestResult* test, const os::SystemTime& madeAt);

}  // namespace corvix
