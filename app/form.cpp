#include "app/form.h"

#include <cstdio>
#include <cstring>
#include <optional>

#include "app/convert.h"
#include "app/settings_record.h"
#include "platform/os_info.h"
#include "platform/winsock_text.h"
#include "support/error.h"

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

TForm1::TForm1(View& view, os::Registry& registry, os::Sockets& sockets, os::System& system, os::SystemLog& systemLog)
    : view_(view), registry_(registry), sockets_(sockets), system_(system), systemLog_(systemLog) {
    for (const auto& row : FormLayout) {
        ControlState& state = Control(row.id);
        state.text = row.text;
        state.fontColour = row.fontColour;
        state.visible = row.visible;
        state.enabled = row.enabled;
        state.width = row.width;
    }
}

void TForm1::FormCreate() { Create(true); }

void TForm1::FormCreateWithoutStoring() { Create(false); }

void TForm1::Create(bool storeBack) {
    if (storeBack) {
        LoadSettings(settings, registry_);
    } else {
        ReadSettings(settings, registry_);
    }
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
        ShowFailed(ControlId::LabelResultInit, started);
    }

    if (settings.port == DefaultServerPort) {
        // The port is already the default: nothing to restore, so the port field takes the room.
        Control(ControlId::EditDefault).visible = false;
        Control(ControlId::ButtonSetDefault).visible = false;
        Control(ControlId::EditPort).width = LayoutRow(ControlId::EditHostName).width;
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

void TForm1::ShowFailed(ControlId label, int code) {
    ControlState& state = Control(label);
    state.fontColour = Red;
    state.text = qor::WinsockErrorText(code);
    state.code = code;
}

void TForm1::CloseTestSocket() {
    if (TestSocket != 0 && TestSocket != os::InvalidSocket) {
        sockets_.CloseSocket(TestSocket);
        TestSocket = os::InvalidSocket;
    }
}

void TForm1::FormClose() {
    if (closed_) return;
    closed_ = true;
    CloseTestSocket();
    sockets_.Cleanup();
}

void TForm1::ButtonOkClick() {
    settings.hostName = Control(ControlId::EditHostName).text;
    try {
        settings.port = StrToInt(Control(ControlId::EditPort).text);
    } catch (const std::exception& error) {
        RecordSettingsRefused(settings.hostName, error.what(), registry_, system_, systemLog_);
        throw;
    }
    // Closing as if stored when nothing was would lose the user's edit without a word.
    if (const long opened = StoreSettingsRecorded(settings, registry_, system_, systemLog_);
        opened != os::ErrorSuccess) {
        throw qor::Error(NotStoredMessage(opened));
    }
    view_.Close();
}

void TForm1::ButtonCancelClick() { view_.Close(); }

void TForm1::ButtonSetDefaultClick() { Control(ControlId::EditPort).text = std::to_string(DefaultServerPort); }

// The window while a test runs: OK, Cancel and the test button disabled, "Please wait..." shown. However
// the test ends, also by an error, its socket is closed and the window given back.
class TForm1::TestRun {
public:
    explicit TestRun(TForm1& form) : form_(form) { Show(true); }
    ~TestRun() {
        form_.CloseTestSocket();
        Show(false);
    }
    TestRun(const TestRun&) = delete;
    TestRun& operator=(const TestRun&) = delete;

private:
    void Show(bool running) {
        for (const ControlId button : {ControlId::ButtonOk, ControlId::ButtonCancel, ControlId::ButtonTest}) {
            form_.Control(button).enabled = !running;
        }
        form_.Control(ControlId::LabelWait).visible = running;
    }

    TForm1& form_;
};

void TForm1::ButtonTestClick() {
    const TestRun running(*this);
    for (const ControlId label : {ControlId::LabelResultGHI, ControlId::LabelResultOS, ControlId::LabelResultC}) {
        Control(label).fontColour = Black;
        Control(label).code = 0;
    }
    for (const ControlId label : {ControlId::LabelHost, ControlId::LabelAddr, ControlId::LabelPort,
                                  ControlId::LabelResultGHI, ControlId::LabelResultOS, ControlId::LabelResultC}) {
        Control(label).text = "?";
    }
    settings.hostName = Control(ControlId::EditHostName).text;
    settings.port = StrToInt(Control(ControlId::EditPort).text);
    view_.RepaintNow();

    const os::InAddr dotted = sockets_.InetAddr(settings.hostName);
    if (dotted == os::InaddrNone) {
        const std::optional<os::HostEntry> host = sockets_.GetHostByName(settings.hostName);
        if (!host) {
            ShowFailed(ControlId::LabelResultGHI, sockets_.GetLastError());
            return;
        }
        settings.hostName = host->name;
        ServerAddr = host->addresses.front();
        Control(ControlId::LabelResultGHI).text = "Ok";
        Control(ControlId::LabelHost).text = host->name;
    } else {
        Control(ControlId::LabelResultGHI).text = "-";
        Control(ControlId::LabelHost).text = "-";
        ServerAddr = dotted;
    }
    view_.RepaintNow();

    Control(ControlId::LabelAddr).text = sockets_.InetNtoa(ServerAddr);
    Control(ControlId::LabelPort).text = std::to_string(settings.port);
    view_.RepaintNow();

    TestSocket = sockets_.Socket(os::AfInet, os::SockStream, 0);
    if (TestSocket == os::InvalidSocket) {
        ShowFailed(ControlId::LabelResultOS, sockets_.GetLastError());
        view_.RepaintNow();
        return;
    }
    // Neither option decides the test, so their results are not examined.
    const std::int32_t on = 1;
    sockets_.SetSockOpt(TestSocket, os::SolSocket, os::SoDontLinger16, &on, sizeof on);
    sockets_.SetSockOpt(TestSocket, os::SolSocket, os::SoKeepAlive, &on, sizeof on);
    Control(ControlId::LabelResultOS).text = "Ok";
    os::SockAddrIn address{};
    address.sin_family = os::AfInet;
    // The port field holds 32 bits, a socket address 16: only the low half is used.
    address.sin_port = sockets_.Htons(static_cast<std::uint16_t>(settings.port & 0xFFFF));
    address.sin_addr = ServerAddr;
    view_.RepaintNow();

    if (sockets_.Connect(TestSocket, &address, sizeof address) != 0) {
        ShowFailed(ControlId::LabelResultC, sockets_.GetLastError());
    } else {
        Control(ControlId::LabelResultC).text = "Ok";
    }
    view_.RepaintNow();
}

void TForm1::CopyFrom(ControlId label) {
    const std::string& text = Control(label).text;
    if (text != "-") Control(ControlId::EditHostName).text = text;
}

void TForm1::CopyIpAddr() { CopyFrom(ControlId::LabelAddr); }

void TForm1::CopyHostName() { CopyFrom(ControlId::LabelHost); }

void TForm1::Click(ControlId id) {
    const ControlState& state = Control(id);
    if (!state.enabled || !state.visible) return;
    switch (id) {
    case ControlId::ButtonOk:
        return ButtonOkClick();
    case ControlId::ButtonCancel:
        return ButtonCancelClick();
    case ControlId::ButtonSetDefault:
        return ButtonSetDefaultClick();
    case ControlId::ButtonTest:
        return ButtonTestClick();
    default:
        break;
    }
    switch (LayoutRow(id).click) {
    case ClickRole::CopyHostName:
        return CopyHostName();
    case ClickRole::CopyIpAddr:
        return CopyIpAddr();
    case ClickRole::None:
        break;
    }
}

}  // namespace corvix
