// The one QApplication of a Qt test program, and waiting on its event loop.
#pragma once

#include <QApplication>
#include <functional>

namespace vigil::test {

// Created before the first test and ended before main returns (platform from
// QT_QPA_PLATFORM, offscreen in ctest). Linking this file is what creates it.
QApplication& TestApp();

// Runs the event loop until `done` or the time is up; true when done.
bool WaitFor(const std::function<bool()>& done, int timeout_ms = 5000);

}  // namespace vigil::test
