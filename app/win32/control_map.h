// How the layout table's controls map onto the window's child windows: their ids and where they sit.
// Shared with the program that drives the window in tests.
#pragma once

#include <windows.h>

#include <optional>

#include "app/layout.h"

namespace corvix::win32 {

// Controls without a key role count up from here, in the layout table's order.
inline constexpr int FirstControlNumber = 100;

// The default button is IDOK and the cancel button IDCANCEL, the ids the dialog keyboard handling
// sends for Enter and Esc.
inline int ControlNumber(ControlId id) {
    switch (LayoutRow(id).key) {
    case KeyRole::Default:
        return IDOK;
    case KeyRole::Cancel:
        return IDCANCEL;
    case KeyRole::None:
        break;
    }
    return FirstControlNumber + static_cast<int>(id);
}

inline std::optional<ControlId> ControlOfNumber(int number) {
    for (const ControlSpec& row : FormLayout) {
        if (row.kind != ControlKind::Form && ControlNumber(row.id) == number) return row.id;
    }
    return std::nullopt;
}

// Every control is a direct child of the window, so that the dialog keyboard handling walks them all;
// a control inside a group box sits at the group's position plus its own.
inline POINT ClientPosition(ControlId id) {
    POINT at{0, 0};
    for (ControlId c = id; c != ControlId::Form1; c = LayoutRow(c).parent) {
        at.x += LayoutRow(c).left;
        at.y += LayoutRow(c).top;
    }
    return at;
}

}  // namespace corvix::win32
