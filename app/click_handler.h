// Which handler of TForm1 a click on a control runs, for every front end.
#pragma once

#include "app/form.h"

namespace corvix {

using FormHandler = void (TForm1::*)();

// The button's own handler, or the copy handler of a clickable label; null where a click does nothing.
inline FormHandler ClickHandler(ControlId id) {
    switch (id) {
    case ControlId::ButtonOk:
        return &TForm1::ButtonOkClick;
    case ControlId::ButtonCancel:
        return &TForm1::ButtonCancelClick;
    case ControlId::ButtonSetDefault:
        return &TForm1::ButtonSetDefaultClick;
    case ControlId::ButtonTest:
        return &TForm1::ButtonTestClick;
    default:
        break;
    }
    switch (LayoutRow(id).click) {
    case ClickRole::CopyHostName:
        return &TForm1::CopyHostName;
    case ClickRole::CopyIpAddr:
        return &TForm1::CopyIpAddr;
    case ClickRole::None:
        break;
    }
    return nullptr;
}

}  // namespace corvix
