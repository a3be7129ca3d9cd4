#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "app/qt/form_window.h"
#include "app/qt/tests/open_window.h"
#include "os/fakes/fake_registry.h"
#include "os/fakes/fake_sockets.h"
#include "os/fakes/fake_system.h"

namespace {

using corvix::ControlId;
using corvix::qt::FormWindow;

class QtWindow : public testing::Test {
protected:
    void SetUp() override { corvix::StartRegistryRootB(); }

    std::unique_ptr<FormWindow> Open() { return corvix::qt::testing::OpenWindow(registry_, sockets_, system_); }

    template <typename T>
    static T* As(FormWindow& w, ControlId id) {
        return qobject_cast<T*>(w.Widget(id));
    }

    os::fakes::FakeRegistry registry_;
    os::fakes::FakeSockets sockets_;
    os::fakes::FakeSystem system_;
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

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
