#include <gtest/gtest.h>

#include <fcntl.h>
#include <set>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

#include "TempHome.h"
#include "settings/DebugLog.h"
#include "settings/Options.h"

using namespace vigil;

namespace {

// Captures what DebugLog writes, through a pipe.
class LogCapture {
 public:
  LogCapture() {
    EXPECT_EQ(pipe2(fds_, O_CLOEXEC | O_NONBLOCK), 0);
    DebugLog.SetFd(fds_[1]);
  }
  ~LogCapture() {
    DebugLog.SetFd(2);
    close(fds_[0]);
    close(fds_[1]);
  }
  std::string Take() {
    std::string out;
    char buf[65536];
    for (ssize_t n; (n = read(fds_[0], buf, sizeof buf)) > 0;) out.append(buf, static_cast<size_t>(n));
    return out;
  }

 private:
  int fds_[2];
};

struct TipRecorder {
  std::vector<std::pair<QString, QString>> tips;
  TipRecorder() {
    TMsgTip::SetPresenter([this](const QString& t, const QString& x) { tips.emplace_back(t, x); });
  }
  ~TipRecorder() { TMsgTip::SetPresenter({}); }
};

std::string Tid() { return std::to_string(syscall(SYS_gettid)); }

class DebugLogTest : public ::testing::Test {
 protected:
  void TearDown() override {
    Option.EnDebug = false;
    Option.MsgTip = false;
    DebugLog.SetPrefix(QStringLiteral("VIGIL"));
  }
  LogCapture log;
};

}  // namespace

TEST_F(DebugLogTest, LineFormatAndSwitch) {
  Option.EnDebug = false;
  DebugLog.Write(QStringLiteral("hidden"));
  DebugLog.WriteTagged(QStringLiteral("SENDDATA"), QStringLiteral("帧 1"));
  EXPECT_EQ(log.Take(), "SENDDATA: " + Tid() + ": 帧 1\n");

  Option.EnDebug = true;
  DebugLog.Write(QStringLiteral("InitNetWork begin"));
  DebugLog.SetPrefix(QStringLiteral("VIGILS"));
  DebugLog.Write(QStringLiteral("two\nlines"));
  EXPECT_EQ(log.Take(), "VIGIL: " + Tid() + ": InitNetWork begin\nVIGILS: " + Tid() + ": two lines\n");
}

TEST_F(DebugLogTest, ForcedOnInDebugBuildsOfTheProgram) {
  DebugLog.SetForceOn(true);
  DebugLog.Write(QStringLiteral("x"));
  DebugLog.SetForceOn(false);
  EXPECT_EQ(log.Take(), "VIGIL: " + Tid() + ": x\n");
}

TEST_F(DebugLogTest, LinesFromManyThreadsNeverMix) {
  Option.EnDebug = true;
  std::vector<std::thread> threads;
  const QString text(200, QLatin1Char('z'));
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 50; ++i) DebugLog.Write(text);
    });
  for (auto& t : threads) t.join();
  std::string all = log.Take();
  std::set<std::string> tids;
  size_t lines = 0;
  for (size_t pos = 0, nl; (nl = all.find('\n', pos)) != std::string::npos; pos = nl + 1, ++lines) {
    std::string line = all.substr(pos, nl - pos);
    ASSERT_TRUE(line.starts_with("VIGIL: ")) << line;
    size_t colon = line.find(": ", 7);
    tids.insert(line.substr(7, colon - 7));
    ASSERT_EQ(line.substr(colon + 2), std::string(200, 'z'));
  }
  EXPECT_EQ(lines, 200u);
  EXPECT_EQ(tids.size(), 4u);
}

TEST_F(DebugLogTest, TipsAreLoggedAndShownAsTheSwitchesSay) {
  TipRecorder rec;
  const QString longText(300, QLatin1Char('t'));
  const QString longTitle(70, QLatin1Char('T'));
  struct Case {
    bool enDebug, msgTip;
    bool logged, shown;
  } cases[] = {{false, false, false, false}, {false, true, false, true},
               {true, false, true, false},   {true, true, true, true}};
  for (const Case& c : cases) {
    Option.EnDebug = c.enDebug;
    Option.MsgTip = c.msgTip;
    rec.tips.clear();
    TMsgTip::ShowTip(longTitle, longText);
    std::string line = log.Take();
    EXPECT_EQ(!line.empty(), c.logged);
    if (c.logged) EXPECT_NE(line.find(std::string(70, 'T') + ": " + std::string(300, 't')), std::string::npos);
    ASSERT_EQ(rec.tips.size(), c.shown ? 1u : 0u);
    if (c.shown) {
      EXPECT_EQ(rec.tips[0].first.size(), 63);
      EXPECT_EQ(rec.tips[0].second.size(), 255);
    }
  }
}
