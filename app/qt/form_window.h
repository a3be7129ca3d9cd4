// The Qt window of TForm1: widgets built from the layout table, state copied from the logic.
#pragma once

#include <QWidget>
#include <array>

#include "app/form.h"

class QLineEdit;
class QPushButton;

namespace corvix::qt {

class FormWindow final : public QWidget, public View {
public:
    FormWindow(os::Registry& registry, os::Sockets& sockets, os::System& system, os::SystemLog& systemLog);

    TForm1& Form() { return form_; }
    QWidget* Widget(ControlId id) const { return widgets_[static_cast<std::size_t>(id)]; }

    // Runs a handler of the form and shows its outcome.
    template <typename Handler>
    void Handle(Handler handler) {
        form_.Run(handler);
        Sync();
    }

    // Puts the report of everything the window shows on the clipboard (Ctrl+C, or "Copy report" in
    // the window's context menu).
    void CopyReport();

    // View
    void RepaintNow() override;
    void Close() override;
    void ShowError(const std::string& text) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void Build();
    void Sync();
    void Click(ControlId id);

    TForm1 form_;
    os::System& system_;
    std::array<QWidget*, static_cast<std::size_t>(ControlId::Count)> widgets_{};
    bool framed_ = false;
};

}  // namespace corvix::qt
