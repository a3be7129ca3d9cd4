// The Windows program: the modules' start-up order, the application title, the window and its event loop.
#include <windows.h>

#include <commctrl.h>

#include <exception>
#include <string>

#include "app/modules.h"
#include "app/win32/form_window.h"
#include "support/startup_defaults.h"

namespace {

// A start-up check that fails says so in a box of its own: there is no window yet.
void ShowStartupError(const std::string& caption, const std::string& text) {
    MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_ICONERROR | MB_OK);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    qor::ShowErrorMessageBox = ShowStartupError;
    corvix::ModuleRunner modules(corvix::ProgramModules());
    if (const auto halted = modules.StartUp()) return *halted;

    // The title captions the window, its taskbar entry and every error box.
    const std::string title(corvix::ApplicationTitle);
    // The version 6 controls that the manifest asks for are registered by the common controls library.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    int exitCode = 0;
    try {
        corvix::win32::FormWindow window(instance, os::RealRegistry(), os::RealSockets(), os::RealSystem(),
                                         os::RealSystemLog());
        window.Handle([](corvix::TForm1& form) { form.FormCreate(); });
        window.Show(showCommand);
        exitCode = corvix::win32::RunMessageLoop(window);
    } catch (const std::exception& e) {
        MessageBoxA(nullptr, corvix::ErrorBoxText(e.what()).c_str(), title.c_str(), MB_ICONSTOP | MB_OK);
        exitCode = 1;
    }
    modules.ShutDown();
    return exitCode;
}
