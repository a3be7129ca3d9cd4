#include "app/qt/form_window.h"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>

#include "app/qt/text.h"
#include "app/report.h"

namespace corvix::qt {
namespace {

// The shades of the system colours the window is drawn in.
const QColor ButtonFaceColour(240, 240, 240);
const QColor InactiveBorderColour(244, 247, 252);

QColor FromColourValue(std::uint32_t value) {
    // Colour values are 0x00BBGGRR.
    return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                  static_cast<int>((value >> 16) & 0xFF));
}

QFont WindowFont(int pixels) {
    QFont font{FromEightBit(FontFamily)};
    font.setPixelSize(pixels);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

QStyle::StandardPixmap GlyphPixmap(Glyph glyph) {
    switch (glyph) {
    case Glyph::Help:
        return QStyle::SP_DialogHelpButton;
    case Glyph::Cancel:
        return QStyle::SP_DialogCancelButton;
    default:
        return QStyle::SP_DialogOkButton;
    }
}

}  // namespace

FormWindow::FormWindow(os::Registry& registry, os::Sockets& sockets, os::System& system, os::SystemLog& systemLog)
    : form_(*this, registry, sockets, system, systemLog), system_(system) {
    Build();
    Sync();
    auto* copy = new QAction(QStringLiteral("Copy report"), this);
    connect(copy, &QAction::triggered, this, [this] { CopyReport(); });
    addAction(copy);
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

void FormWindow::CopyReport() {
    QGuiApplication::clipboard()->setText(FromEightBit(FormReport(form_, system_.LocalTime())));
}

void FormWindow::Build() {
    const ControlSpec& formSpec = LayoutRow(ControlId::Form1);
    widgets_[0] = this;
    setWindowTitle(FromEightBit(formSpec.text));
    setFont(WindowFont(formSpec.fontPixels));
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, ButtonFaceColour);
    palette.setColor(QPalette::Button, ButtonFaceColour);
    setPalette(palette);
    setAutoFillBackground(true);
    move(formSpec.left, formSpec.top);
    resize(formSpec.width, formSpec.height);

    for (const ControlSpec& row : FormLayout) {
        if (row.kind == ControlKind::Form) continue;
        QWidget* parent = Widget(row.parent);
        QWidget* widget = nullptr;
        switch (row.kind) {
        case ControlKind::Group:
            widget = new QGroupBox(FromEightBit(row.text), parent);
            break;
        case ControlKind::CaptionLabel:
        case ControlKind::ValueLabel: {
            auto* label = new QLabel(parent);
            label->setAlignment(row.kind == ControlKind::CaptionLabel ? Qt::AlignRight | Qt::AlignTop
                                                                      : Qt::AlignLeft | Qt::AlignTop);
            if (row.click != ClickRole::None) label->installEventFilter(this);
            widget = label;
            break;
        }
        case ControlKind::Edit: {
            auto* edit = new QLineEdit(parent);
            edit->setReadOnly(row.readOnly);
            edit->installEventFilter(this);
            if (row.background == Background::InactiveBorder) {
                QPalette p = edit->palette();
                p.setColor(QPalette::Base, InactiveBorderColour);
                edit->setPalette(p);
            }
            const ControlId id = row.id;
            connect(edit, &QLineEdit::textEdited, this,
                    [this, id](const QString& text) { form_.Control(id).text = ToEightBit(text); });
            widget = edit;
            break;
        }
        case ControlKind::Button: {
            auto* button = new QPushButton(FromEightBit(row.text), parent);
            if (row.glyph != Glyph::None) button->setIcon(style()->standardIcon(GlyphPixmap(row.glyph)));
            button->setAutoDefault(false);
            button->setDefault(row.key == KeyRole::Default);
            const ControlId id = row.id;
            connect(button, &QPushButton::clicked, this, [this, id] { Click(id); });
            widget = button;
            break;
        }
        case ControlKind::Form:
            break;
        }
        widget->setObjectName(FromEightBit(row.name));
        if (row.fontPixels != formSpec.fontPixels) widget->setFont(WindowFont(row.fontPixels));
        if (row.width > 0) {
            widget->setGeometry(row.left, row.top, row.width, row.height);
        } else {
            widget->move(row.left, row.top);
        }
        widget->setFocusPolicy(row.tabOrder >= 0 && row.kind != ControlKind::Group ? Qt::StrongFocus : Qt::NoFocus);
        widgets_[static_cast<std::size_t>(row.id)] = widget;
    }

    const std::vector<ControlId> order = FocusOrder();
    for (std::size_t i = 1; i < order.size(); ++i) setTabOrder(Widget(order[i - 1]), Widget(order[i]));
}

void FormWindow::Sync() {
    for (const ControlSpec& row : FormLayout) {
        if (row.kind == ControlKind::Form || row.kind == ControlKind::Group) continue;
        const ControlState& state = form_.Control(row.id);
        QWidget* widget = Widget(row.id);
        const QString text = FromEightBit(state.text);
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            QPalette p = label->palette();
            p.setColor(QPalette::WindowText, FromColourValue(state.fontColour));
            label->setPalette(p);
            if (label->text() != text) {
                label->setText(text);
                if (row.width == 0) label->adjustSize();  // value labels grow with their text
            }
        } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            if (edit->text() != text) edit->setText(text);
        } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
            button->setText(text);
        }
        widget->setEnabled(state.enabled);
        widget->setVisible(state.visible);
        if (row.width > 0 && widget->width() != state.width) widget->resize(state.width, widget->height());
    }
}

void FormWindow::Click(ControlId id) {
    Handle([id](TForm1& f) { f.Click(id); });
}

bool FormWindow::eventFilter(QObject* watched, QEvent* event) {
    // Ctrl+C in an edit copies its selection; with nothing selected it copies the report.
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
        const auto* edit = qobject_cast<QLineEdit*>(watched);
        if (edit && !edit->hasSelectedText()) {
            CopyReport();
            return true;
        }
    }
    if (event->type() == QEvent::MouseButtonRelease) {
        for (const ControlSpec& row : FormLayout) {
            if (Widget(row.id) != watched || row.click == ClickRole::None) continue;
            Click(row.id);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void FormWindow::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) {
        CopyReport();
        return;
    }
    // Enter clicks a focused button, otherwise the default button; Esc clicks the cancel button.
    KeyRole role = KeyRole::None;
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (auto* focused = qobject_cast<QPushButton*>(focusWidget())) {
            focused->click();
            return;
        }
        role = KeyRole::Default;
    } else if (event->key() == Qt::Key_Escape) {
        role = KeyRole::Cancel;
    }
    if (role == KeyRole::None) {
        QWidget::keyPressEvent(event);
        return;
    }
    for (const ControlSpec& row : FormLayout) {
        if (row.key == role) static_cast<QPushButton*>(Widget(row.id))->click();
    }
}

void FormWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (framed_) return;
    framed_ = true;
    // The layout's size is the outer size: take the frame off the client area.
    const ControlSpec& formSpec = LayoutRow(ControlId::Form1);
    const QSize frame = frameGeometry().size() - geometry().size();
    resize(formSpec.width - frame.width(), formSpec.height - frame.height());
}

void FormWindow::RepaintNow() {
    Sync();
    repaint();
}

void FormWindow::Close() { close(); }

void FormWindow::closeEvent(QCloseEvent* event) {
    form_.Run([](TForm1& f) { f.FormClose(); });
    event->accept();
}

void FormWindow::ShowError(const std::string& text) {
    QMessageBox box(QMessageBox::Critical, FromEightBit(ApplicationTitle), FromEightBit(text), QMessageBox::Ok, this);
    box.exec();
}

}  // namespace corvix::qt
