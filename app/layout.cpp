#include "app/layout.h"

#include <algorithm>

namespace corvix {
namespace {

using C = ControlId;
using K = ControlKind;

constexpr ControlSpec Caption(C id, std::string_view name, C parent, int l, int t, int w, int h, std::string_view text,
                              std::array<C, 2> values, ClickRole click = ClickRole::None) {
    ControlSpec s{id, name, K::CaptionLabel, parent, l, t, w, h, text, -1};
    s.click = click;
    s.values = values;
    return s;
}

constexpr std::array<C, 2> Shows(C value, C second = C::Count) { return {value, second}; }

constexpr ControlSpec Value(C id, std::string_view name, C parent, int l, int t, std::string_view text,
                            ClickRole click = ClickRole::None) {
    ControlSpec s{id, name, K::ValueLabel, parent, l, t, 0, 0, text, -1};
    s.click = click;
    return s;
}

constexpr ControlSpec Group(C id, std::string_view name, int l, int t, int w, int h, std::string_view text,
                            int tabOrder) {
    return ControlSpec{id, name, K::Group, C::Form1, l, t, w, h, text, tabOrder};
}

constexpr ControlSpec Edit(C id, std::string_view name, int l, int t, int w, int h, std::string_view text, int tabOrder,
                           bool readOnly, bool enabled) {
    ControlSpec s{id, name, K::Edit, C::GroupServer, l, t, w, h, text, tabOrder};
    s.readOnly = readOnly;
    s.enabled = enabled;
    s.background = readOnly ? Background::InactiveBorder : Background::Inherit;
    return s;
}

constexpr ControlSpec Button(C id, std::string_view name, C parent, int l, int t, int w, int h, std::string_view text,
                             int tabOrder, Glyph glyph, KeyRole key) {
    ControlSpec s{id, name, K::Button, parent, l, t, w, h, text, tabOrder};
    s.glyph = glyph;
    s.key = key;
    return s;
}

constexpr ControlSpec Form() {
    ControlSpec s{C::Form1, "Form1", K::Form, C::Form1, 226, 164, 644, 449, ApplicationTitle, -1};
    s.background = Background::ButtonFace;
    return s;
}

constexpr ControlSpec Wait() {
    ControlSpec s{C::LabelWait, "LabelWait", K::ValueLabel, C::GroupServer, 360, 32, 162, 32, "Please wait...", -1};
    s.visible = false;
    s.fontPixels = 27;
    s.fontColour = Red;
    return s;
}

}  // namespace

const std::array<ControlSpec, static_cast<std::size_t>(ControlId::Count)> FormLayout = {{
    Form(),

    Group(C::GroupWinsock, "GroupBoxWinsock", 8, 8, 377, 129, "WinSock Information", 0),
    Caption(C::Label1, "Label1", C::GroupWinsock, 8, 24, 99, 16, "Version:", Shows(C::LabelVersion)),
    Value(C::LabelVersion, "LabelVersion", C::GroupWinsock, 112, 24, "LabelVersion"),
    Caption(C::Label2, "Label2", C::GroupWinsock, 24, 40, 83, 16, "Description:", Shows(C::LabelDescription)),
    Value(C::LabelDescription, "LabelDescription", C::GroupWinsock, 112, 40, "LabelDescription"),
    Caption(C::Label3, "Label3", C::GroupWinsock, 8, 56, 99, 16, "System status:", Shows(C::LabelSysStat)),
    Value(C::LabelSysStat, "LabelSysStat", C::GroupWinsock, 112, 56, "LabelSysStat"),
    Caption(C::Label4, "Label4", C::GroupWinsock, 8, 72, 99, 16, "Max. Sockets:", Shows(C::LabelMaxSockets)),
    Value(C::LabelMaxSockets, "LabelMaxSockets", C::GroupWinsock, 112, 72, "LabelMaxSockets"),
    Caption(C::Label5, "Label5", C::GroupWinsock, 8, 88, 99, 16, "Max.Datagram:", Shows(C::LabelMaxDataGram)),
    Value(C::LabelMaxDataGram, "LabelMaxDataGram", C::GroupWinsock, 112, 88, "LabelMaxDataGram"),
    Caption(C::Label6, "Label6", C::GroupWinsock, 24, 104, 83, 16, "Host Name:", Shows(C::LabelHostName)),
    Value(C::LabelHostName, "LabelHostName", C::GroupWinsock, 112, 104, "LabelHostName"),

    Group(C::GroupServer, "GroupBoxServer", 8, 144, 609, 113, "Corvix server information", 1),
    Caption(C::Label16, "Label16", C::GroupServer, 8, 33, 115, 16, "Host Name:", Shows(C::EditHostName, C::LabelWait)),
    Caption(C::Label17, "Label17", C::GroupServer, 8, 73, 115, 16, "Port Nr:", Shows(C::EditPort, C::EditDefault)),
    Edit(C::EditHostName, "EditHostName", 136, 32, 177, 24, "EditHostName", 0, false, true),
    Edit(C::EditPort, "EditPort", 136, 72, 88, 24, "EditPort", 1, true, true),
    Edit(C::EditDefault, "EditDefault", 224, 72, 88, 24, "EditDefault", 2, true, false),
    Button(C::ButtonSetDefault, "ButtonSetDefault", C::GroupServer, 312, 72, 75, 25, "Set default", 3, Glyph::None,
           KeyRole::None),
    Wait(),

    Group(C::GroupRetrieved, "GroupBoxRetrieved", 8, 264, 209, 105, "Retrieved server information", 4),
    Caption(C::Label18, "Label18", C::GroupRetrieved, 8, 25, 97, 16, "Host Name:", Shows(C::LabelHost),
            ClickRole::CopyHostName),
    Value(C::LabelHost, "LabelHost", C::GroupRetrieved, 112, 24, "-", ClickRole::CopyHostName),
    Caption(C::Label10, "Label10", C::GroupRetrieved, 8, 49, 97, 16, "INet Addr:", Shows(C::LabelAddr),
            ClickRole::CopyIpAddr),
    Value(C::LabelAddr, "LabelAddr", C::GroupRetrieved, 112, 48, "-", ClickRole::CopyIpAddr),
    Caption(C::Label11, "Label11", C::GroupRetrieved, 8, 73, 97, 16, "Port:", Shows(C::LabelPort)),
    Value(C::LabelPort, "LabelPort", C::GroupRetrieved, 112, 72, "-"),

    Group(C::GroupResults, "GroupBoxResults", 232, 264, 385, 105, "Results", 5),
    Caption(C::Label13, "Label13", C::GroupResults, 8, 24, 145, 16, "Init winsock (TCPIP):", Shows(C::LabelResultInit)),
    Value(C::LabelResultInit, "LabelResultInit", C::GroupResults, 160, 24, "-"),
    Caption(C::Label9, "Label9", C::GroupResults, 8, 40, 145, 16, "Get host information:", Shows(C::LabelResultGHI)),
    Value(C::LabelResultGHI, "LabelResultGHI", C::GroupResults, 160, 40, "-"),
    Caption(C::Label12, "Label12", C::GroupResults, 8, 56, 145, 17, "Open socket:", Shows(C::LabelResultOS)),
    Value(C::LabelResultOS, "LabelResultOS", C::GroupResults, 160, 56, "-"),
    Caption(C::Label33, "Label33", C::GroupResults, 8, 72, 145, 16, "Connect:", Shows(C::LabelResultC)),
    Value(C::LabelResultC, "LabelResultC", C::GroupResults, 160, 72, "-"),

    Group(C::GroupSystem, "GroupBoxSystem", 392, 8, 225, 129, "System Information", 7),
    Caption(C::Label8, "Label8", C::GroupSystem, 8, 24, 67, 16, "Os:", Shows(C::LabelOs)),
    Value(C::LabelOs, "LabelOs", C::GroupSystem, 80, 24, "LabelVersion"),
    Caption(C::Label7, "Label7", C::GroupSystem, 8, 40, 67, 16, "Wow 64:", Shows(C::LabelIsWow64)),
    Value(C::LabelIsWow64, "LabelIsWow64", C::GroupSystem, 80, 40, "LabelVersion"),

    Button(C::ButtonTest, "ButtonTest", C::Form1, 8, 384, 185, 25, "&Test connection", 6, Glyph::Help, KeyRole::None),
    Button(C::ButtonCancel, "ButtonCancel", C::Form1, 424, 384, 91, 25, "Cancel", 3, Glyph::Cancel, KeyRole::Cancel),
    Button(C::ButtonOk, "ButtonOk", C::Form1, 528, 384, 91, 25, "OK", 2, Glyph::Ok, KeyRole::Default),
}};

namespace {

void AppendFocusable(ControlId parent, std::vector<ControlId>& order) {
    std::vector<const ControlSpec*> children;
    for (const auto& row : FormLayout) {
        if (row.id != ControlId::Form1 && row.parent == parent && row.tabOrder >= 0) children.push_back(&row);
    }
    std::stable_sort(children.begin(), children.end(),
                     [](const ControlSpec* a, const ControlSpec* b) { return a->tabOrder < b->tabOrder; });
    for (const ControlSpec* child : children) {
        if (child->kind == ControlKind::Group) {
            AppendFocusable(child->id, order);
        } else if (child->kind == ControlKind::Edit || child->kind == ControlKind::Button) {
            order.push_back(child->id);
        }
    }
}

}  // namespace

std::vector<ControlId> FocusOrder() {
    std::vector<ControlId> order;
    AppendFocusable(ControlId::Form1, order);
    return order;
}

}  // namespace corvix
