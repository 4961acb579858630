// One station per user, with real processes: a second start hands over and ends, a crashed
// station's socket never blocks the next start, two starts at once leave exactly one.
#include <gtest/gtest.h>

#include <QLocalServer>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include "AppTestSupport.h"
#include "TempHome.h"
#include "platform/SingleInstance.h"
#include "platform/UniqueFd.h"

namespace vigil {
namespace {

constexpr const char* kListening = "single instance: listening on";
constexpr const char* kActivated = "notification 2025";

class SingleInstanceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::TestApp();
    test::WriteConfig(home_.path(), [](TOption&) {});
    runtime_ = home_.path() / "run";
    std::filesystem::create_directory(runtime_);
    std::filesystem::permissions(runtime_, std::filesystem::perms::owner_all);
    env_ = QProcessEnvironment::systemEnvironment();
    env_.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env_.insert(QStringLiteral("VIGIL_HOME"), QString::fromStdString(home_.path().string()));
    env_.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(runtime_.string()));
  }

  std::unique_ptr<test::StationProcess> Station() { return std::make_unique<test::StationProcess>(env_); }
  std::filesystem::path Socket() const { return runtime_ / "NOXA_WIN_CLASS"; }

  test::TempHome home_;
  std::filesystem::path runtime_;
  QProcessEnvironment env_;
};

TEST_F(SingleInstanceTest, SecondStartBringsTheFirstForwardAndEndsWithZero) {
  auto first = Station();
  first->Start();
  ASSERT_TRUE(first->WaitForLine(kListening)) << first->Output().toStdString();
  auto second = Station();
  second->Start();
  EXPECT_EQ(second->WaitForExit(), 0) << second->Output().toStdString();
  EXPECT_FALSE(second->Output().contains(kListening));
  EXPECT_TRUE(first->WaitForLine(kActivated)) << first->Output().toStdString();
  EXPECT_TRUE(first->Running());
}

TEST_F(SingleInstanceTest, StartAfterKillNineProceeds) {
  auto first = Station();
  first->Start();
  ASSERT_TRUE(first->WaitForLine(kListening));
  first->Kill9();
  ASSERT_TRUE(std::filesystem::exists(Socket())) << "the crash leaves its socket behind";
  auto next = Station();
  next->Start();
  EXPECT_TRUE(next->WaitForLine(kListening)) << next->Output().toStdString();
  // And it is the one a later start reaches.
  auto third = Station();
  third->Start();
  EXPECT_EQ(third->WaitForExit(), 0);
  EXPECT_TRUE(next->WaitForLine(kActivated));
}

TEST_F(SingleInstanceTest, ForeignOrStaleSocketNeverBlocksAStart) {
  const struct {
    const char* what;
    std::function<void()> plant;
  } cases[] = {
      {"plain file", [&] { test::WriteFile(Socket(), "junk"); }},
      {"dead socket", [&] {
         UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM, 0));
         sockaddr_un addr{};
         addr.sun_family = AF_UNIX;
         std::strncpy(addr.sun_path, Socket().c_str(), sizeof addr.sun_path - 1);
         ASSERT_EQ(::bind(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(Socket());
    c.plant();
    auto station = Station();
    station->Start();
    EXPECT_TRUE(station->WaitForLine(kListening)) << station->Output().toStdString();
    station->Kill9();
  }
  // A live server of another program on that path: it is not a station, and it does not
  // hold our lock, so the start goes on and takes the name.
  std::filesystem::remove(Socket());
  QLocalServer foreign;
  ASSERT_TRUE(foreign.listen(QString::fromStdString(Socket().string())));
  auto station = Station();
  station->Start();
  EXPECT_TRUE(station->WaitForLine(kListening)) << station->Output().toStdString();
}

TEST_F(SingleInstanceTest, TwoStartsAtTheSameMomentLeaveExactlyOne) {
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    auto a = Station();
    auto b = Station();
    a->Start();
    b->Start();
    // One of them listens; the other hands over and ends with 0.
    test::StationProcess* loser = nullptr;
    ASSERT_TRUE(test::WaitFor([&] {
      if (!a->Running()) loser = a.get();
      else if (!b->Running()) loser = b.get();
      return loser != nullptr;
    }, 30000));
    EXPECT_EQ(loser->WaitForExit(), 0) << loser->Output().toStdString();
    test::StationProcess* winner = loser == a.get() ? b.get() : a.get();
    EXPECT_TRUE(winner->WaitForLine(kListening));
    EXPECT_TRUE(winner->WaitForLine(kActivated)) << "the loser reached the winner";
    EXPECT_TRUE(winner->Running());
    winner->Kill9();
  }
}

TEST(SingleInstanceFolder, PrivateFolderInTmpWhenNoRuntimeDir) {
  const QByteArray old = qgetenv("XDG_RUNTIME_DIR");
  qunsetenv("XDG_RUNTIME_DIR");
  QString error;
  std::filesystem::path dir = SingleInstance::RuntimeFolder(&error);
  if (!old.isEmpty()) qputenv("XDG_RUNTIME_DIR", old);
  ASSERT_FALSE(dir.empty()) << error.toStdString();
  struct stat st {};
  ASSERT_EQ(::stat(dir.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, ::getuid());
  EXPECT_EQ(st.st_mode & 077, 0u);
}

}  // namespace
}  // namespace vigil
