// A process killed at any moment of a save leaves the old file or the new one, never a cut
// one.
#include <gtest/gtest.h>

#include <random>
#include <signal.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "TempHome.h"
#include "platform/IniFile.h"

using namespace vigil;

namespace {
// Large enough that a save takes a while, so kills land inside the write.
std::string Contents(char fill) {
  std::string s = "[a]\n";
  for (int i = 0; i < 4000; ++i) s += "key" + std::to_string(i) + "=" + std::string(60, fill) + "\n";
  return s;
}
}  // namespace

TEST(AtomicSave, KillDuringSaveNeverLeavesACutFile) {
  vigil::test::TempHome home;
  const auto file = home / "config.ini";
  const std::string a = Contents('a'), b = Contents('b');
  IniDocument::FromBytes(a).Save(file);

  std::mt19937 rng(12345);
  std::uniform_int_distribution<int> delayUs(0, 20000);
  int sawA = 0, sawB = 0;
  for (int round = 0; round < 100; ++round) {
    int done[2];
    ASSERT_EQ(pipe(done), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      auto docA = IniDocument::FromBytes(a), docB = IniDocument::FromBytes(b);
      for (;;) {
        docB.Save(file);
        (void)!write(done[1], "b", 1);  // tells the parent the loop is under way
        docA.Save(file);
      }
    }
    close(done[1]);
    char c;
    // However slow the machine, the kill lands somewhere in the stream of saves.
    ASSERT_EQ(read(done[0], &c, 1), 1);
    std::this_thread::sleep_for(std::chrono::microseconds(delayUs(rng)));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    close(done[0]);  // only now: the child's writes must not meet a closed pipe
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    std::string now = vigil::test::ReadFile(file);
    ASSERT_TRUE(now == a || now == b) << "round " << round << ": file of " << now.size() << " bytes";
    (now == a ? sawA : sawB)++;
  }
  // Both states were seen, so the kills really landed between and inside saves.
  EXPECT_GT(sawA, 0);
  EXPECT_GT(sawB, 0);
}
