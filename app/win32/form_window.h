// The Win32 window of TForm1: controls built from the layout table, state copied from the logic.
#pragma once

#include <windows.h>

#include <array>
#include <utility>
#include <vector>

#include "app/form.h"

namespace corvix::win32 {

class FormWindow final : public View {
public:
    // Creates the window, hidden; raises std::runtime_error when the system refuses it.
    FormWindow(HINSTANCE instance, os::Registry& registry, os::Sockets& sockets, os::System& system,
               os::SystemLog& systemLog);
    ~FormWindow() override;
    FormWindow(const FormWindow&) = delete;
    FormWindow& operator=(const FormWindow&) = delete;

    TForm1& Form() { return form_; }
    // Null once the window has been destroyed.
    HWND Window() const { return window_; }

    // Runs a handler of the form and shows its outcome.
    template <typename Handler>
    void Handle(Handler handler) {
        form_.Run(handler);
        Sync();
    }

    void Show(int showCommand);

    // Gives the window's controls their keyboard handling (Tab, Enter, Esc, Alt+letter); true when
    // the message was handled.
    bool PreTranslate(MSG& message);

    // Puts the report of everything the window shows on the clipboard (Ctrl+C, or "Copy report" in
    // the window's context menu).
    void CopyReport();

    // View
    void RepaintNow() override;
    void Close() override;
    void ShowError(const std::string& text) override;

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Message(UINT message, WPARAM wParam, LPARAM lParam);

    void Build(HINSTANCE instance);
    // Destroys the window and the fonts and glyphs it drew with.
    void Release();
    void Sync();
    void FitToText(ControlId id);
    void Command(int number, int code);
    void Click(ControlId id);
    void FocusFirst();
    void ShowContextMenu(LPARAM at);
    LRESULT ControlColour(HDC dc, HWND control);
    HWND Control(ControlId id) const { return controls_[static_cast<std::size_t>(id)]; }
    // The window's Arial in the given character height, made once.
    HFONT Font(int pixels);

    TForm1 form_;
    os::System& system_;
    HWND window_ = nullptr;
    std::array<HWND, static_cast<std::size_t>(ControlId::Count)> controls_{};
    std::array<std::uint32_t, static_cast<std::size_t>(ControlId::Count)> shownColours_{};
    std::array<int, static_cast<std::size_t>(ControlId::Count)> shownWidths_{};
    std::vector<std::pair<int, HFONT>> fonts_;
    std::array<HICON, 3> glyphs_{};
    // The control that had the focus when the window was deactivated, or when it was disabled.
    HWND savedFocus_ = nullptr;
};

// The event loop: runs until the window has closed; the exit code of the quit message.
int RunMessageLoop(FormWindow& window);

}  // namespace corvix::win32
