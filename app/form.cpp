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

// The result label of each step.
constexpr std::pair<ControlId, TestStep> StepLabels[] = {
    {ControlId::LabelResultGHI, TestStep::Lookup},
    {ControlId::LabelResultOS, TestStep::Socket},
    {ControlId::LabelResultC, TestStep::Connect},
};

std::optional<TestStep> StepShownBy(ControlId id) {
    for (const auto& [label, step] : StepLabels) {
        if (label == id) return step;
    }
    return std::nullopt;
}

const StepResult* StepShownBy(ControlId id, const TestResult& result) {
    const std::optional<TestStep> step = StepShownBy(id);
    return step ? &result.Step(*step) : nullptr;
}

}  // namespace

std::optional<std::string> TestText(ControlId id, const TestResult* test) {
    const bool shows =
        StepShownBy(id) || id == ControlId::LabelHost || id == ControlId::LabelAddr || id == ControlId::LabelPort;
    if (!shows) return std::nullopt;
    if (!test) return "-";
    if (const StepResult* step = StepShownBy(id, *test)) return step->Text();
    if (id == ControlId::LabelHost) return test->OfficialNameText();
    if (id == ControlId::LabelAddr) return test->AddressText();
    return test->PortText();
}

std::string TForm1::ShownText(ControlId id, const TestResult* test) const {
    if (id == ControlId::LabelResultInit && startup_) return *startup_ == 0 ? "Ok" : qor::WinsockErrorText(*startup_);
    if (std::optional<std::string> text = TestText(id, test)) return *text;
    return Control(id).text;
}

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

long TForm1::FormCreateWithoutStoring() { return Create(false); }

long TForm1::Create(bool storeBack) {
    long read = os::ErrorSuccess;
    if (storeBack) {
        LoadSettings(settings, registry_);
    } else {
        read = ReadSettings(settings, registry_);
    }
    Control(ControlId::EditHostName).text = settings.hostName;
    Control(ControlId::EditPort).text = std::to_string(settings.port);
    Control(ControlId::EditDefault).text = "Def: " + std::to_string(DefaultServerPort);
    Control(ControlId::LabelOs).text = qor::GetOsVersionText(system_);
    Control(ControlId::LabelIsWow64).text = qor::YesNoText(qor::IsWow64(system_));
    TestSocket = os::InvalidSocket;

    os::WsaData data{};
    const int started = sockets_.Startup(WinsockVersion11, data);
    startup_ = started;
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
    return read;
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
    lastTest_ = TestResult{};  // every step waiting, as the labels now show
    settings.hostName = Control(ControlId::EditHostName).text;
    settings.port = StrToInt(Control(ControlId::EditPort).text);
    view_.RepaintNow();

    ConnectionTest::Observer observer;
    observer.finished = [this](const TestResult& result, TestStep step) { PaintStep(result, step); };
    lastTest_ = ConnectionTest(sockets_).Run(settings.hostName, settings.port, TestSocket, observer);
}

// Each step's labels, with a repaint wherever the window shows progress; a failed look-up ends the test
// without one.
void TForm1::PaintStep(const TestResult& result, TestStep step) {
    lastTest_ = result;
    const auto paint = [&](ControlId id) {
        ControlState& state = Control(id);
        state.text = *TestText(id, &result);
        if (const StepResult* shown = StepShownBy(id, result); shown && shown->outcome == StepOutcome::Failed) {
            state.fontColour = Red;
            state.code = shown->code;
        }
    };
    switch (step) {
    case TestStep::Lookup:
        paint(ControlId::LabelResultGHI);
        if (!result.HasAddress()) return;
        if (result.found) settings.hostName = result.found->name;
        ServerAddr = result.address;
        paint(ControlId::LabelHost);
        view_.RepaintNow();
        paint(ControlId::LabelAddr);
        paint(ControlId::LabelPort);
        break;
    case TestStep::Socket:
        paint(ControlId::LabelResultOS);
        break;
    case TestStep::Connect:
        paint(ControlId::LabelResultC);
        break;
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
