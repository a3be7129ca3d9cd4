// The Linux program: the modules' start-up order, the application title, the window and its event loop.
#include <QApplication>

#include "app/modules.h"
#include "app/qt/form_window.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(corvix::ApplicationTitle.data(),
                                                         static_cast<qsizetype>(corvix::ApplicationTitle.size())));
    corvix::ModuleRunner modules(corvix::ProgramModules());
    if (const auto halted = modules.StartUp()) return *halted;

    int exitCode = 0;
    {
        corvix::qt::FormWindow window(os::RealRegistry(), os::RealSockets(), os::RealSystem());
        window.Handle([](corvix::TForm1& form) { form.FormCreate(); });
        window.show();
        exitCode = QApplication::exec();
    }
    modules.ShutDown();
    return exitCode;
}
