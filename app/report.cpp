#include "app/report.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace corvix {
namespace {

constexpr std::size_t CaptionColumn = 24;

std::vector<const ControlSpec*> Children(ControlId parent, ControlKind kind) {
    std::vector<const ControlSpec*> found;
    for (const ControlSpec& row : FormLayout) {
        if (row.parent == parent && row.kind == kind && row.id != parent) found.push_back(&row);
    }
    return found;
}

// The caption's value: what is shown right of it on its row, left to right (the port's row also shows
// the default port when that is offered; the host name's row "Please wait..." during a test).
std::string RowValue(const TForm1& form, const ControlSpec& caption) {
    std::vector<const ControlSpec*> row;
    for (const ControlSpec& other : FormLayout) {
        const bool shows = other.kind == ControlKind::ValueLabel || other.kind == ControlKind::Edit;
        if (shows && other.parent == caption.parent && std::abs(other.top - caption.top) <= 1 &&
            other.left > caption.left && form.Control(other.id).visible) {
            row.push_back(&other);
        }
    }
    std::sort(row.begin(), row.end(), [](const ControlSpec* a, const ControlSpec* b) { return a->left < b->left; });
    std::string value;
    for (const ControlSpec* shown : row) {
        if (!value.empty()) value += "  ";
        value += form.Control(shown->id).text;
    }
    return value;
}

std::string Stamp(const os::SystemTime& t) {
    char text[48];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", unsigned{t.wYear}, unsigned{t.wMonth},
                  unsigned{t.wDay}, unsigned{t.wHour}, unsigned{t.wMinute}, unsigned{t.wSecond});
    return text;
}

}  // namespace

std::string_view ProgramVersion() { return CORVIX_VERSION; }

std::string FormReport(const TForm1& form, const os::SystemTime& madeAt) {
    std::string report = std::string(ApplicationTitle) + ", version " + std::string(ProgramVersion()) + "\n";
    report += "Report made " + Stamp(madeAt) + "\n";

    // Groups in reading order: top to bottom, left to right.
    std::vector<const ControlSpec*> groups = Children(ControlId::Form1, ControlKind::Group);
    std::sort(groups.begin(), groups.end(), [](const ControlSpec* a, const ControlSpec* b) {
        return a->top != b->top ? a->top < b->top : a->left < b->left;
    });
    for (const ControlSpec* group : groups) {
        report += "\n" + form.Control(group->id).text + "\n";
        std::vector<const ControlSpec*> captions = Children(group->id, ControlKind::CaptionLabel);
        std::stable_sort(captions.begin(), captions.end(),
                         [](const ControlSpec* a, const ControlSpec* b) { return a->top < b->top; });
        for (const ControlSpec* caption : captions) {
            std::string line = "  " + form.Control(caption->id).text;
            line.resize(std::max(CaptionColumn, line.size() + 1), ' ');
            report += line + RowValue(form, *caption) + "\n";
        }
    }
    return report;
}

}  // namespace corvix
