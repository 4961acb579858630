// libzellnet.so through its nine exports against a vigil-hub process on loopback. The hub
// listens on a random 127.x.y.z address so parallel runs never share port 9601.
#include <gtest/gtest.h>
#include <signal.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "TempHome.h"
#include "zellnet.h"

namespace {

constexpr const char* kSerial = "0123456789abcdef";

// Runs the event loop until `done` holds; false after `timeout_ms`.
bool WaitFor(const std::function<bool()>& done, int timeout_ms) {
  QDeadlineTimer deadline(timeout_ms);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  }
  return true;
}

class Hub {
 public:
  Hub() {
    for (int attempt = 0; attempt < 5 && !ready_; ++attempt) {
      auto* r = QRandomGenerator::global();
      address_ = "127." + std::to_string(r->bounded(1, 255)) + "." + std::to_string(r->bounded(0, 256)) +
                 "." + std::to_string(r->bounded(2, 255));
      process_ = std::make_unique<QProcess>();
      process_->setProcessChannelMode(QProcess::SeparateChannels);
      QObject::connect(process_.get(), &QProcess::readyReadStandardError, [this] {
        log_ += process_->readAllStandardError().toStdString();
      });
      process_->start(QStringLiteral(VIGIL_HUB_PATH),
                      {"--listen", QString::fromStdString(address_), "--expire-after", "60"});
      ready_ = WaitFor([&] { return Has("listening") || process_->state() == QProcess::NotRunning; }, 10000) &&
               Has("listening");
    }
  }
  ~Hub() { Stop(); }
  bool ready() const { return ready_; }
  const std::string& address() const { return address_; }
  bool Has(const std::string& text) const { return log_.find(text) != std::string::npos; }
  const std::string& log() const { return log_; }
  int Stop() {
    if (!process_ || process_->state() == QProcess::NotRunning) return process_ ? process_->exitCode() : -1;
    ::kill(static_cast<pid_t>(process_->processId()), SIGTERM);
    WaitFor([&] { return process_->state() == QProcess::NotRunning; }, 10000);
    log_ += process_->readAllStandardError().toStdString();
    return process_->exitStatus() == QProcess::NormalExit ? process_->exitCode() : -1;
  }

 private:
  std::unique_ptr<QProcess> process_;
  std::string address_;
  std::string log_;
  bool ready_ = false;
};

struct Client {
  std::vector<int> events;
  NKHANDLE handle = nullptr;
  bool destroyOnLogin = false;
  static void Callback(const unsigned char* pBuf, int, unsigned char nType, uintptr_t user) {
    auto* c = reinterpret_cast<Client*>(user);
    if (pBuf) return;
    c->events.push_back(nType);
    if (c->destroyOnLogin && nType == NK_EVENT_LOGIN) {
      NKDestory(c->handle);
      c->handle = nullptr;
    }
  }
  bool Has(int code) const { return std::find(events.begin(), events.end(), code) != events.end(); }
};

class ZellnetLoopback : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "test_zellnet_loopback";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) app_ = new QCoreApplication(argc, argv);
  }
  void TearDown() override { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
  static std::string Text(NKHANDLE h, int type) {
    const char* s = NKGetStatus(h, type);
    return s ? s : "(null)";
  }
  static inline QCoreApplication* app_ = nullptr;
};

TEST_F(ZellnetLoopback, LoginKeepAliveAndLogoutWhenTheHubStops) {
  Hub hub;
  ASSERT_TRUE(hub.ready()) << hub.log();
  Client c;
  c.handle = NKCreate(&Client::Callback, reinterpret_cast<uintptr_t>(&c));
  ASSERT_NE(c.handle, nullptr);
  ASSERT_EQ(NKLogin(c.handle, hub.address().c_str(), kSerial), 1);
  ASSERT_TRUE(WaitFor([&] { return c.Has(NK_EVENT_LOGIN); }, 5000));
  const std::string id = Text(c.handle, NK_STATUS_ID);
  ASSERT_NE(id.find('@'), std::string::npos);
  EXPECT_TRUE(hub.Has("login " + id + " from 127.0.0.1:")) << hub.log();
  EXPECT_EQ(Text(c.handle, NK_STATUS_TEXT), vigil::test::Gbk("登陆成功"));

  // Past the first keep-alive: still logged in, the hub has not dropped the client.
  WaitFor([] { return false; }, 12500);
  EXPECT_EQ(c.events, std::vector<int>{NK_EVENT_LOGIN});
  EXPECT_FALSE(hub.Has("logout")) << hub.log();

  EXPECT_EQ(hub.Stop(), 0);
  EXPECT_TRUE(hub.Has("stopped")) << hub.log();
  ASSERT_TRUE(WaitFor([&] { return c.Has(NK_EVENT_LOGOUT); }, 30000));
  EXPECT_EQ(Text(c.handle, NK_STATUS_TEXT), vigil::test::Gbk("不在线"));
  EXPECT_EQ(Text(c.handle, NK_STATUS_ONLINE), vigil::test::Gbk("离线"));
  NKDestory(c.handle);
}

TEST_F(ZellnetLoopback, DestroyFromInsideTheCallback) {
  Hub hub;
  ASSERT_TRUE(hub.ready()) << hub.log();
  Client c;
  c.destroyOnLogin = true;
  c.handle = NKCreate(&Client::Callback, reinterpret_cast<uintptr_t>(&c));
  ASSERT_EQ(NKLogin(c.handle, hub.address().c_str(), kSerial), 1);
  ASSERT_TRUE(WaitFor([&] { return c.handle == nullptr; }, 5000));
  EXPECT_TRUE(WaitFor([&] { return hub.Has("logged out"); }, 5000)) << hub.log();
  EXPECT_EQ(c.events, std::vector<int>{NK_EVENT_LOGIN});
}

TEST_F(ZellnetLoopback, InstancesLiveAndDieInAnyOrder) {
  Hub hub;
  ASSERT_TRUE(hub.ready()) << hub.log();
  Client a, b;
  a.handle = NKCreate(&Client::Callback, reinterpret_cast<uintptr_t>(&a));
  b.handle = NKCreate(&Client::Callback, reinterpret_cast<uintptr_t>(&b));
  NKDestory(NKCreate(nullptr, 0));  // never logged in
  ASSERT_EQ(NKLogin(a.handle, hub.address().c_str(), kSerial), 1);
  ASSERT_EQ(NKLogin(b.handle, hub.address().c_str(), kSerial), 1);
  ASSERT_TRUE(WaitFor([&] { return a.Has(NK_EVENT_LOGIN) && b.Has(NK_EVENT_LOGIN); }, 5000));
  EXPECT_NE(Text(a.handle, NK_STATUS_ID), Text(b.handle, NK_STATUS_ID));
  NKDestory(a.handle);
  NKHANDLE pending = NKCreate(nullptr, 0);
  ASSERT_EQ(NKLogin(pending, hub.address().c_str(), kSerial), 1);
  NKDestory(pending);  // destroyed with its request in flight; a late answer finds nothing
  NKDestory(b.handle);
  ASSERT_TRUE(WaitFor([&] {
    size_t n = 0;
    for (size_t at = 0; (at = hub.log().find("logged out", at)) != std::string::npos; ++at) ++n;
    return n >= 2;
  }, 5000)) << hub.log();
  WaitFor([] { return false; }, 200);
}

}  // namespace
