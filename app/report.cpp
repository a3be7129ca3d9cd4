#include "app/report.h"

#include <algorithm>
#include <cstdio>

namespace corvix {
namespace {

constexpr std::size_t CaptionColumn = 24;

// The caption's value: what the window shows beside it, left to right (the port's row also shows the
// default port when that is offered; the host name's row "Please wait..." during a test).
std::string RowValue(const TForm1& form, const ControlSpec& caption, const TestResult* test) {
    std::string value;
    for (const ControlId shown : caption.values) {
        if (shown == ControlId::Count || !form.Control(shown).visible) continue;
        if (!value.empty()) value += "  ";
        value += form.ShownText(shown, test);
    }
    return value;
}

}  // namespace

std::string_view ProgramVersion() { return CORVIX_VERSION; }

std::string ReportLine(std::string_view caption, std::string_view value) {
    std::string line = "  " + std::string(caption);
    line.resize(std::max(CaptionColumn, line.size() + 1), ' ');
    return line + std::string(value) + "\n";
}

std::string TimeText(const os::SystemTime& t) {
    char text[48];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", unsigned{t.wYear}, unsigned{t.wMonth},
                  unsigned{t.wDay}, unsigned{t.wHour}, unsigned{t.wMinute}, unsigned{t.wSecond});
    return text;
}

std::string FormReport(const TForm1& form, const os::SystemTime& madeAt) {
    return FormReport(form, form.LastTest() ? &*form.LastTest() : nullptr, madeAt);
}

std::string FormReport(const TForm1& form, const TestResult* test, const os::SystemTime& madeAt) {
    std::string report = std::string(ApplicationTitle) + ", version " + std::string(ProgramVersion()) + "\n";
    report += "Report made " + TimeText(madeAt) + "\n";
    for (const ControlId group : GroupReadingOrder) {
        report += "\n" + form.Control(group).text + "\n";
        // The layout lists each group's captions from top to bottom.
        for (const ControlSpec& caption : FormLayout) {
            if (caption.parent != group || caption.kind != ControlKind::CaptionLabel) continue;
            report += ReportLine(form.Control(caption.id).text, RowValue(form, caption, test));
        }
    }
    return report;
}

}  // namespace corvix
