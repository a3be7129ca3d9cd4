#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/qt/form_window.h"
#include "app/qt/tests/open_window.h"
#include "app/qt/text.h"
#include "app/report.h"
#include "os/fakes/fake_registry.h"
#include "os/fakes/fake_sockets.h"
#include "os/fakes/fake_system.h"
#include "os/fakes/fake_system_log.h"

namespace {

using corvix::ControlId;
using corvix::qt::FormWindow;

class QtWindow : public testing::Test {
protected:
    void SetUp() override { corvix::StartRegistryRootB(); }

    std::unique_ptr<FormWindow> Open() {
        return corvix::qt::testing::OpenWindow(registry_, sockets_, system_, systemLog_);
    }

    template <typename T>
    static T* As(FormWindow& w, ControlId id) {
        return qobject_cast<T*>(w.Widget(id));
    }

    os::fakes::FakeRegistry registry_;
    os::fakes::FakeSockets sockets_;
    os::fakes::FakeSystem system_;
    os::fakes::FakeSystemLog systemLog_;
};

TEST_F(QtWindow, BuiltFromTheLayoutAtItsPixelGeometry) {
    auto w = Open();
    EXPECT_EQ(w->windowTitle(), "Tcp/Ip Configuration");
    EXPECT_EQ(w->font().pixelSize(), 13);
    EXPECT_EQ(w->font().family(), "Arial");
    EXPECT_EQ(w->frameGeometry().size(), QSize(644, 449));
    EXPECT_EQ(As<QGroupBox>(*w, ControlId::GroupServer)->geometry(), QRect(8, 144, 609, 113));
    EXPECT_EQ(As<QGroupBox>(*w, ControlId::GroupServer)->title(), "Corvix server information");
    auto* caption = As<QLabel>(*w, ControlId::Label3);
    EXPECT_EQ(caption->geometry(), QRect(8, 56, 99, 16));
    EXPECT_TRUE(caption->alignment() & Qt::AlignRight);
    EXPECT_EQ(As<QPushButton>(*w, ControlId::ButtonOk)->geometry(), QRect(528, 384, 91, 25));
    EXPECT_FALSE(As<QPushButton>(*w, ControlId::ButtonOk)->icon().isNull());
    auto* wait = As<QLabel>(*w, ControlId::LabelWait);
    EXPECT_EQ(wait->font().pixelSize(), 27);
    EXPECT_FALSE(wait->isVisible());
    EXPECT_TRUE(As<QLineEdit>(*w, ControlId::EditPort)->isReadOnly());
    EXPECT_FALSE(As<QLineEdit>(*w, ControlId::EditHostName)->isReadOnly());
}

TEST_F(QtWindow, ValueLabelsGrowWithTheirTextAndShowRed) {
    sockets_.startupResult = os::WsaSysNotReady;
    auto w = Open();
    auto* result = As<QLabel>(*w, ControlId::LabelResultInit);
    EXPECT_EQ(result->text(), "10091:SYSNOTREADY");
    EXPECT_EQ(result->pos(), QPoint(160, 24));
    EXPECT_GE(result->width(), result->fontMetrics().horizontalAdvance(result->text()));
    EXPECT_EQ(result->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_EQ(As<QLabel>(*w, ControlId::LabelOs)->palette().color(QPalette::WindowText), QColor(0, 0, 0));
}

TEST_F(QtWindow, PortAtTheDefaultHidesTheDefaultControls) {
    auto w = Open();
    EXPECT_FALSE(As<QLineEdit>(*w, ControlId::EditDefault)->isVisible());
    EXPECT_FALSE(As<QPushButton>(*w, ControlId::ButtonSetDefault)->isVisible());
    EXPECT_EQ(As<QLineEdit>(*w, ControlId::EditPort)->geometry(), QRect(136, 72, 177, 24));
}

TEST_F(QtWindow, UnopenableKeyShowsTheDefaultControls) {
    registry_.denyAll = true;
    auto w = Open();
    auto* port = As<QLineEdit>(*w, ControlId::EditPort);
    auto* def = As<QLineEdit>(*w, ControlId::EditDefault);
    EXPECT_EQ(port->geometry(), QRect(136, 72, 88, 24));
    EXPECT_EQ(port->text(), "0");
    EXPECT_TRUE(def->isVisible());
    EXPECT_FALSE(def->isEnabled());
    EXPECT_EQ(def->text(), "Def: 234");
    QTest::mouseClick(As<QPushButton>(*w, ControlId::ButtonSetDefault), Qt::LeftButton);
    EXPECT_EQ(port->text(), "234");
}

TEST_F(QtWindow, FocusOrder) {
    registry_.denyAll = true;  // so that "Set default" is visible
    auto w = Open();
    As<QLineEdit>(*w, ControlId::EditHostName)->setFocus();
    std::vector<QString> visited;
    for (int i = 0; i < 6; ++i) {
        visited.push_back(QApplication::focusWidget()->objectName());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_EQ(visited, (std::vector<QString>{"EditHostName", "EditPort", "ButtonSetDefault", "ButtonOk", "ButtonCancel",
                                             "ButtonTest"}));
    EXPECT_EQ(QApplication::focusWidget()->objectName(), "EditHostName");
}

TEST_F(QtWindow, EnterInTheHostFieldStoresAndCloses) {
    auto w = Open();
    auto* host = As<QLineEdit>(*w, ControlId::EditHostName);
    host->setFocus();
    host->selectAll();
    QTest::keyClicks(host, "server.example");
    const int setsBefore = registry_.sets;
    QTest::keyClick(host, Qt::Key_Return);
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(registry_.sets, setsBefore + 2);
    const auto& stored = registry_.values.at(registry_.Slot(std::string(corvix::SettingsKeyPath), "HostName"));
    EXPECT_EQ(std::string(stored.data.begin(), stored.data.end()), std::string("server.example", 15));
    EXPECT_EQ(sockets_.cleanups, 1);
}

TEST_F(QtWindow, EscClosesWithoutStoring) {
    auto w = Open();
    auto* host = As<QLineEdit>(*w, ControlId::EditHostName);
    host->setFocus();
    QTest::keyClicks(host, "x");
    const int setsBefore = registry_.sets;
    QTest::keyClick(host, Qt::Key_Escape);
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(registry_.sets, setsBefore);
    EXPECT_EQ(sockets_.cleanups, 1);
}

TEST_F(QtWindow, ClickOnARetrievedLabelCopiesIt) {
    auto w = Open();
    w->Form().Control(ControlId::LabelAddr).text = "10.0.0.9";
    w->RepaintNow();
    QTest::mouseClick(As<QLabel>(*w, ControlId::Label10), Qt::LeftButton);
    EXPECT_EQ(As<QLineEdit>(*w, ControlId::EditHostName)->text(), "10.0.0.9");
}

TEST_F(QtWindow, OkThatCannotStoreShowsTheBoxAndStaysOpen) {
    registry_.denyWrite = true;
    auto w = Open();
    QString shown;
    QTimer::singleShot(0, [&shown] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        shown = box->text();
        box->accept();
    });
    QTest::mouseClick(As<QPushButton>(*w, ControlId::ButtonOk), Qt::LeftButton);
    EXPECT_TRUE(
        shown.startsWith("The settings were not stored: the registry key "
                         "HKEY_LOCAL_MACHINE\\Software\\Qor\\Corvix\\TcpIp cannot be opened for writing "
                         "(access denied). "))
        << shown.toStdString();
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(registry_.sets, 0);
    QTest::mouseClick(As<QPushButton>(*w, ControlId::ButtonCancel), Qt::LeftButton);
    EXPECT_FALSE(w->isVisible());
}

TEST_F(QtWindow, CtrlCAndTheContextMenuCopyTheReport) {
    system_.local = os::fakes::At(2026, 3, 7, 9, 5, 2);
    auto w = Open();
    const QString report = corvix::qt::FromEightBit(corvix::FormReport(w->Form(), system_.local));
    ASSERT_TRUE(report.contains("Report made 2026-03-07 09:05:02"));
    QApplication::clipboard()->clear();
    auto* host = As<QLineEdit>(*w, ControlId::EditHostName);
    host->setFocus();
    host->deselect();
    QTest::keyClick(host, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), report);

    // With text selected in the field, Ctrl+C copies that text, as in any field.
    host->selectAll();
    QTest::keyClick(host, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "127.0.0.1");

    QApplication::clipboard()->clear();
    As<QPushButton>(*w, ControlId::ButtonTest)->setFocus();
    QTest::keyClick(As<QPushButton>(*w, ControlId::ButtonTest), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), report);

    ASSERT_EQ(w->contextMenuPolicy(), Qt::ActionsContextMenu);
    ASSERT_EQ(w->actions().size(), 1);
    EXPECT_EQ(w->actions()[0]->text(), "Copy report");
    QApplication::clipboard()->clear();
    w->actions()[0]->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), report);
}

TEST_F(QtWindow, TextsAreWindows1252BothWays) {
    registry_.values[registry_.Slot(std::string(corvix::SettingsKeyPath), "HostName")] = {os::RegSz, {0x80, 'x', 0}};
    auto w = Open();
    auto* host = As<QLineEdit>(*w, ControlId::EditHostName);
    EXPECT_EQ(host->text(), QString::fromUtf8("\xE2\x82\xACx"));
    host->setFocus();
    host->selectAll();
    // S caron is in the code page, A macron is not. (QTest types ASCII only: send the keys' texts.)
    for (const char* typed : {"\xC5\xA0", "\xC4\x80"}) {
        QKeyEvent key(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString::fromUtf8(typed));
        QApplication::sendEvent(host, &key);
    }
    EXPECT_EQ(w->Form().Control(ControlId::EditHostName).text, "\x8A?");
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
