#include "app/form.h"

#include <cstdio>
#include <cstring>

#include "app/convert.h"
#include "platform/os_info.h"
#include "platform/winsock_text.h"

namespace corvix {
namespace {

constexpr std::uint16_t WinsockVersion11 = 0x0101;
constexpr int HostNameBufferLength = 40;

// major.minor, the major number in the low byte.
std::string VersionText(std::uint16_t version) {
    return std::to_string(version & 0xFF) + "." + std::to_string(version >> 8);
}

}  // namespace

std::string ErrorBoxText(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
    return message;
}

TForm1::TForm1(View& view, os::Registry& registry, os::Sockets& sockets, os::System& system)
    : view_(view), registry_(registry), sockets_(sockets), system_(system) {
    for (const auto& spec : FormLayout) {
        ControlState& state = Control(spec.id);
        state.text = spec.text;
        state.fontColour = spec.fontColour;
        state.visible = spec.visible;
        state.enabled = spec.enabled;
        state.width = spec.width;
    }
}

void TForm1::FormCreate() {
    LoadSettings(settings, registry_);
    Control(ControlId::EditHostName).text = settings.hostName;
    Control(ControlId::EditPort).text = std::to_string(settings.port);
    Control(ControlId::EditDefault).text = "Def: " + std::to_string(DefaultServerPort);
    Control(ControlId::LabelOs).text = qor::GetOsVersionText(system_);
    Control(ControlId::LabelIsWow64).text = qor::YesNoText(qor::IsWow64(system_));
    TestSocket = os::InvalidSocket;

    os::WsaData data{};
    const int started = sockets_.Startup(WinsockVersion11, data);
    if (started == 0) {
        ShowWinsockData(data);
    } else {
        ControlState& result = Control(ControlId::LabelResultInit);
        result.fontColour = Red;
        result.text = qor::WinsockErrorText(started);
    }

    if (settings.port == DefaultServerPort) {
        // The port is already the default: nothing to restore, so the port field takes the room.
        Control(ControlId::EditDefault).visible = false;
        Control(ControlId::ButtonSetDefault).visible = false;
        Control(ControlId::EditPort).width = Spec(ControlId::EditHostName).width;
    }
}

void TForm1::ShowWinsockData(const os::WsaData& data) {
    Control(ControlId::LabelResultInit).text = "Ok";
    Control(ControlId::LabelVersion).text = VersionText(data.wVersion) + "  " + VersionText(data.wHighVersion);
    Control(ControlId::LabelDescription).text =
        std::string(data.szDescription, strnlen(data.szDescription, sizeof data.szDescription));
    Control(ControlId::LabelSysStat).text =
        std::string(data.szSystemStatus, strnlen(data.szSystemStatus, sizeof data.szSystemStatus));
    Control(ControlId::LabelMaxSockets).text = std::to_string(data.iMaxSockets);
    Control(ControlId::LabelMaxDataGram).text = std::to_string(data.iMaxUdpDg);
    char name[HostNameBufferLength + 1] = {};
    // The result is not examined: a name that does not fit leaves the buffer as it was.
    sockets_.GetHostName(name, HostNameBufferLength);
    Control(ControlId::LabelHostName).text = name;
}

void TForm1::FormClose() {
    if (TestSocket != 0 && TestSocket != os::InvalidSocket) {
        sockets_.CloseSocket(TestSocket);
        TestSocket = os::InvalidSocket;
    }
    sockets_.Cleanup();
}

void TForm1::ButtonOkClick() {
    settings.hostName = Control(ControlId::EditHostName).text;
    settings.port = StrToInt(Control(ControlId::EditPort).text);
    SaveSettings(settings, registry_);
    view_.Close();
}

void TForm1::ButtonCancelClick() { view_.Close(); }

void TForm1::ButtonSetDefaultClick() { Control(ControlId::EditPort).text = std::to_string(DefaultServerPort); }

void TForm1::CopyFrom(ControlId label) {
    const std::string& text = Control(label).text;
    if (text != "-") Control(ControlId::EditHostName).text = text;
}

void TForm1::CopyIpAddr() { CopyFrom(ControlId::LabelAddr); }

void TForm1::CopyHostName() { CopyFrom(ControlId::LabelHost); }

}  // namespace corvix
