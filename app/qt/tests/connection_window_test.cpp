// "&Test connection" clicked in the Qt window: real sockets on loopback, and the repaints while it runs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include "app/qt/form_window.h"
#include "app/qt/tests/open_window.h"
#include "os/fakes/fake_registry.h"
#include "os/fakes/fake_sockets.h"
#include "os/fakes/fake_system.h"
#include "os/fakes/fake_system_log.h"
#include "os/testing/loopback_listener.h"

namespace {

using corvix::ControlId;
using corvix::qt::FormWindow;

class QtConnection : public testing::Test {
protected:
    void SetUp() override { corvix::StartRegistryRootB(); }

    std::unique_ptr<FormWindow> Open(os::Sockets& sockets) {
        return corvix::qt::testing::OpenWindow(registry_, sockets, system_, systemLog_);
    }

    // The port field is read-only: the port goes into the window's state.
    static void ClickTestWithPort(FormWindow& w, std::uint16_t port) {
        w.Form().Control(ControlId::EditPort).text = std::to_string(port);
        w.RepaintNow();
        QTest::mouseClick(Button(w, ControlId::ButtonTest), Qt::LeftButton);
    }

    static QLabel* Label(FormWindow& w, ControlId id) { return qobject_cast<QLabel*>(w.Widget(id)); }
    static QPushButton* Button(FormWindow& w, ControlId id) { return qobject_cast<QPushButton*>(w.Widget(id)); }
    static QColor Colour(FormWindow& w, ControlId id) { return Label(w, id)->palette().color(QPalette::WindowText); }

    static void ExpectIdle(FormWindow& w) {
        for (const ControlId id : {ControlId::ButtonOk, ControlId::ButtonCancel, ControlId::ButtonTest}) {
            EXPECT_TRUE(Button(w, id)->isEnabled());
        }
        EXPECT_FALSE(Label(w, ControlId::LabelWait)->isVisible());
    }

    os::fakes::FakeRegistry registry_;
    os::fakes::FakeSystem system_;
    os::fakes::FakeSystemLog systemLog_;
};

TEST_F(QtConnection, ClickAgainstAListenerOnLoopback) {
    auto w = Open(os::RealSockets());
    os::testing::LoopbackListener listener;
    ClickTestWithPort(*w, listener.Port());
    EXPECT_EQ(Label(*w, ControlId::LabelResultGHI)->text(), "-");
    EXPECT_EQ(Label(*w, ControlId::LabelHost)->text(), "-");
    EXPECT_EQ(Label(*w, ControlId::LabelAddr)->text(), "127.0.0.1");
    EXPECT_EQ(Label(*w, ControlId::LabelPort)->text(), QString::number(listener.Port()));
    EXPECT_EQ(Label(*w, ControlId::LabelResultOS)->text(), "Ok");
    EXPECT_EQ(Label(*w, ControlId::LabelResultC)->text(), "Ok");
    EXPECT_EQ(Colour(*w, ControlId::LabelResultC), QColor(0, 0, 0));
    ExpectIdle(*w);
    w->close();
}

TEST_F(QtConnection, ClickAgainstAClosedPortShowsRefusedInRed) {
    auto w = Open(os::RealSockets());
    os::testing::LoopbackListener listener;
    listener.Close();
    ClickTestWithPort(*w, listener.Port());
    EXPECT_EQ(Label(*w, ControlId::LabelResultGHI)->text(), "-");
    EXPECT_EQ(Label(*w, ControlId::LabelAddr)->text(), "127.0.0.1");
    EXPECT_EQ(Label(*w, ControlId::LabelResultOS)->text(), "Ok");
    auto* connect = Label(*w, ControlId::LabelResultC);
    EXPECT_EQ(connect->text(), "10061:CONNREFUSED");
    EXPECT_EQ(Colour(*w, ControlId::LabelResultC), QColor(255, 0, 0));
    EXPECT_GE(connect->width(), connect->fontMetrics().horizontalAdvance(connect->text()));
    ExpectIdle(*w);
    w->close();
}

// Counts the posted events it receives.
class Receiver : public QObject {
public:
    int received = 0;
    bool event(QEvent* e) override {
        if (e->type() != QEvent::User) return QObject::event(e);
        ++received;
        return true;
    }
};

// The pixels of a control as they are on the screen now.
QImage OnScreen(FormWindow& w, QWidget* control) {
    const QRect area(control->mapTo(&w, QPoint(0, 0)), control->size());
    return w.screen()->grabWindow(w.winId()).toImage().copy(area);
}

int RedPixels(const QImage& image) {
    int red = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() > 200 && c.green() < 100 && c.blue() < 100) ++red;
        }
    }
    return red;
}

TEST_F(QtConnection, WhileConnectingTheRepaintedWindowIsOnScreenAndInputWaits) {
    os::fakes::FakeSockets sockets;
    sockets.dotted["127.0.0.1"] = 0x0100007F;
    auto w = Open(sockets);
    QLabel* wait = Label(*w, ControlId::LabelWait);
    EXPECT_EQ(RedPixels(OnScreen(*w, wait)), 0);

    Receiver receiver;
    QCoreApplication::postEvent(&receiver, new QEvent(QEvent::User));
    int redWhileConnecting = 0;
    int deliveredWhileConnecting = -1;
    sockets.duringConnect = [&] {
        redWhileConnecting = RedPixels(OnScreen(*w, wait));
        deliveredWhileConnecting = receiver.received;
    };
    Button(*w, ControlId::ButtonTest)->click();
    EXPECT_GT(redWhileConnecting, 0) << "\"Please wait...\" was not painted before connect";
    EXPECT_EQ(deliveredWhileConnecting, 0) << "events were handled during the test";
    QCoreApplication::processEvents();
    EXPECT_EQ(receiver.received, 1);
    ExpectIdle(*w);
    w->close();
}

}  // namespace
