// The Linux program: the modules' start-up order, the application title, the window and its event loop.
#include <QApplication>
#include <QMessageBox>

#include "app/modules.h"
#include "app/qt/form_window.h"
#include "app/qt/text.h"
#include "support/startup_defaults.h"

namespace {

// A start-up check that fails says so in a box of its own: there is no window yet.
void ShowStartupError(const std::string& caption, const std::string& text) {
    QMessageBox box(QMessageBox::Critical, corvix::qt::FromEightBit(caption), corvix::qt::FromEightBit(text),
                    QMessageBox::Ok);
    box.exec();
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(corvix::qt::FromEightBit(corvix::ApplicationTitle));
    qor::ShowErrorMessageBox = ShowStartupError;
    corvix::ModuleRunner modules(corvix::ProgramModules());
    if (const auto halted = modules.StartUp()) return *halted;

    int exitCode = 0;
    {
        corvix::qt::FormWindow window(os::RealRegistry(), os::RealSockets(), os::RealSystem(), os::RealSystemLog());
        window.Handle([](corvix::TForm1& form) { form.FormCreate(); });
        window.show();
        exitCode = QApplication::exec();
    }
    modules.ShutDown();
    return exitCode;
}
