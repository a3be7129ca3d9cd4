// The main window's layout: one table that every front end builds its widgets from.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace corvix {

enum class ControlId : std::uint8_t {
    Form1,
    GroupWinsock,
    Label1,
    LabelVersion,
    Label2,
    LabelDescription,
    Label3,
    LabelSysStat,
    Label4,
    LabelMaxSockets,
    Label5,
    LabelMaxDataGram,
    Label6,
    LabelHostName,
    GroupServer,
    Label16,
    Label17,
    EditHostName,
    EditPort,
    EditDefault,
    ButtonSetDefault,
    LabelWait,
    GroupRetrieved,
    Label18,
    LabelHost,
    Label10,
    LabelAddr,
    Label11,
    LabelPort,
    GroupResults,
    Label13,
    LabelResultInit,
    Label9,
    LabelResultGHI,
    Label12,
    LabelResultOS,
    Label33,
    LabelResultC,
    GroupSystem,
    Label8,
    LabelOs,
    Label7,
    LabelIsWow64,
    ButtonTest,
    ButtonCancel,
    ButtonOk,
    Count
};

enum class ControlKind : std::uint8_t {
    Form,
    Group,
    CaptionLabel,  // right-aligned in its fixed box
    ValueLabel,    // left-aligned, grows with its text
    Edit,
    Button,
};

// Colours as the window uses them: the system's own shades, or a fixed RGB value.
enum class Background : std::uint8_t { Inherit, ButtonFace, InactiveBorder };

enum class Glyph : std::uint8_t { None, Help, Cancel, Ok };

// What a click on a control does beyond being a button.
enum class ClickRole : std::uint8_t { None, CopyHostName, CopyIpAddr };

// Which window-wide key a button answers.
enum class KeyRole : std::uint8_t { None, Default, Cancel };

struct ControlSpec {
    ControlId id;
    std::string_view name;
    ControlKind kind;
    ControlId parent;
    int left, top, width, height;  // width and height 0: the control sizes itself to its text
    std::string_view text;
    int tabOrder;  // among its siblings; -1 for controls that never take the focus
    bool readOnly = false;
    bool enabled = true;
    bool visible = true;
    Background background = Background::Inherit;
    Glyph glyph = Glyph::None;
    ClickRole click = ClickRole::None;
    KeyRole key = KeyRole::None;
    int fontPixels = 13;
    std::uint32_t fontColour = 0;  // 0x00BBGGRR, as the window's colour values are written
    // A caption's values: the controls that show, left to right on its row, what it names (Count: none).
    std::array<ControlId, 2> values = {ControlId::Count, ControlId::Count};
};

inline constexpr std::uint32_t Black = 0;
inline constexpr std::uint32_t Red = 255;

inline constexpr std::string_view ApplicationTitle = "Tcp/Ip Configuration";
inline constexpr std::string_view FontFamily = "Arial";

// The form itself: placed at 226, 164 with an outer size of 644 x 449.
extern const std::array<ControlSpec, static_cast<std::size_t>(ControlId::Count)> FormLayout;

// The groups as a reader takes them in: top to bottom, left to right.
inline constexpr std::array<ControlId, 5> GroupReadingOrder = {ControlId::GroupWinsock, ControlId::GroupSystem,
                                                               ControlId::GroupServer, ControlId::GroupRetrieved,
                                                               ControlId::GroupResults};

inline const ControlSpec& LayoutRow(ControlId id) { return FormLayout[static_cast<std::size_t>(id)]; }

// The controls that take the focus, in the order Tab visits them.
std::vector<ControlId> FocusOrder();

}  // namespace corvix
