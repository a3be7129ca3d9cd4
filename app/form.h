// The main window's logic: its fields, the state of every control and all its handlers.
#pragma once

#include <array>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>

#include "app/connection_test.h"
#include "app/layout.h"
#include "app/settings.h"
#include "os/registry.h"
#include "os/sockets.h"
#include "os/system.h"
#include "os/system_log.h"

namespace corvix {

// What the logic needs of the toolkit.
class View {
public:
    virtual ~View() = default;
    // Paint every invalidated part of the window now, without handling input.
    virtual void RepaintNow() = 0;
    // Close the window (which runs FormClose and, for the main window, ends the program).
    virtual void Close() = 0;
    // A modal error box with the stop icon, captioned with the application title.
    virtual void ShowError(const std::string& text) = 0;
};

struct ControlState {
    std::string text;
    std::uint32_t fontColour = Black;
    bool visible = true;
    bool enabled = true;
    int width = 0;
    int code = 0;  // the WinSock code behind a failed step's text; 0 otherwise
};

// The text of the error box for a message: "." is appended when the last character sorts after ".".
std::string ErrorBoxText(const std::string& message);

// What a control of the connection test shows of `test` ("-" for every one before a test), or nothing
// for any other control.
std::optional<std::string> TestText(ControlId id, const TestResult* test);

class TForm1 {
public:
    // OK leaves a record of every attempt to store the settings in `systemLog` (app/settings_record.h).
    TForm1(View& view, os::Registry& registry, os::Sockets& sockets, os::System& system, os::SystemLog& systemLog);

    ControlState& Control(ControlId id) { return controls_[static_cast<std::size_t>(id)]; }
    const ControlState& Control(ControlId id) const { return controls_[static_cast<std::size_t>(id)]; }

    // Runs a handler as the application does: an error it raises ends it and is shown in the error box.
    template <typename Handler>
    void Run(Handler handler) {
        try {
            handler(*this);
        } catch (const std::exception& e) {
            view_.ShowError(ErrorBoxText(e.what()));
        }
    }

    void FormCreate();
    // The same, but the settings are only read (never created nor stored back): for looking without
    // changing anything. The result is that of the settings' read (see ReadSettings).
    long FormCreateWithoutStoring();
    // Harmless when called again: the window is closed once.
    void FormClose();
    void ButtonOkClick();
    void ButtonCancelClick();
    void ButtonSetDefaultClick();
    void ButtonTestClick();
    void CopyIpAddr();
    void CopyHostName();

    // A click on a control runs its button or copy handler. On a disabled or hidden control it does
    // not count, also when a key (Enter, Esc) sends it to a button in that state.
    void Click(ControlId id);

    // WSAStartup's result at creation: 0, or the error code; nothing before creation.
    std::optional<int> Startup() const { return startup_; }
    // The last connection test's results, as its labels show them; nothing before the first test.
    const std::optional<TestResult>& LastTest() const { return lastTest_; }
    // What a control shows, the result labels taken from the start-up and from `test` (nothing: no
    // test has run) rather than from their texts.
    std::string ShownText(ControlId id, const TestResult* test) const;

    ServerSettings settings;
    std::uint32_t ServerAddr = 0;
    os::Socket TestSocket = 0;

private:
    class TestRun;

    long Create(bool storeBack);
    void ShowWinsockData(const os::WsaData& data);
    // A failed WinSock step: its label in red with the error's text.
    void ShowFailed(ControlId label, int code);
    void CloseTestSocket();
    void PaintStep(const TestResult& result, TestStep step);
    void CopyFrom(ControlId label);

    View& view_;
    os::Registry& registry_;
    os::Sockets& sockets_;
    os::System& system_;
    os::SystemLog& systemLog_;
    bool closed_ = false;
    std::optional<int> startup_;
    std::optional<TestResult> lastTest_;
    std::array<ControlState, static_cast<std::size_t>(ControlId::Count)> controls_;
};

}  // namespace corvix
