// Opens the Qt window as the program does: created, FormCreate run, shown and painted.
#pragma once

#include <gtest/gtest.h>

#include <QTest>
#include <memory>

#include "app/qt/form_window.h"

namespace corvix::qt::testing {

inline std::unique_ptr<FormWindow> OpenWindow(os::Registry& registry, os::Sockets& sockets, os::System& system,
                                              os::SystemLog& systemLog) {
    auto window = std::make_unique<FormWindow>(registry, sockets, system, systemLog);
    window->Handle([](TForm1& form) { form.FormCreate(); });
    window->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    return window;
}

}  // namespace corvix::qt::testing
