#include "QtTestApp.h"

#include <QDeadlineTimer>
#include <QThread>
#include <gtest/gtest.h>
#include <memory>

namespace vigil::test {
namespace {

class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "vigil-test";
    static char* argv[] = {name, nullptr};
    app = std::make_unique<QApplication>(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
  }
  void TearDown() override { app.reset(); }
  std::unique_ptr<QApplication> app;
};

QtEnvironment* const kQt = static_cast<QtEnvironment*>(::testing::AddGlobalTestEnvironment(new QtEnvironment));

}  // namespace

QApplication& TestApp() { return *kQt->app; }

bool WaitFor(const std::function<bool()>& done, int timeout_ms) {
  QDeadlineTimer deadline(timeout_ms);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(2);
  }
  return true;
}

}  // namespace vigil::test
