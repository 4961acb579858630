#include <gtest/gtest.h>

#include <cstdlib>

#include "TempHome.h"
#include "settings/SystemServices.h"

using namespace vigil;
using vigil::test::ReadFile;
using vigil::test::TempHome;
using vigil::test::WriteFile;

TEST(ProgramFolder, VigilHomeWinsAndEndsWithSeparator) {
  TempHome home;
  EXPECT_EQ(ProgramFolder(), home.path() / "");
  EXPECT_EQ(ProgramFolder().string().back(), '/');
}

TEST(ProgramFolder, FallsBackToTheUserDataFolderWhenTheProgramFolderIsReadOnly) {
  auto writable = [](const std::filesystem::path& p) { return p != "/usr/lib/vigil"; };
  struct Case {
    const char* home;
    const char* exe;
    const char* folder;
    bool noted;
  } cases[] = {{"/srv/cam", "/usr/lib/vigil", "/srv/cam/", false},
               {nullptr, "/opt/vigil", "/opt/vigil/", false},
               {"", "/opt/vigil", "/opt/vigil/", false},
               {nullptr, "/usr/lib/vigil", "/home/u/.local/share/vigil/", true}};
  for (const Case& c : cases) {
    auto choice = ChooseProgramFolder(c.home, c.exe, writable, "/home/u/.local/share/vigil");
    EXPECT_EQ(choice.folder, c.folder);
    EXPECT_EQ(!choice.note.isEmpty(), c.noted);
  }
}

TEST(AutoRun, EntryIsWrittenOnceAndRemoved) {
  TempHome home;
  setenv("XDG_CONFIG_HOME", home.path().c_str(), 1);
  const auto entry = home / "autostart" / "Velmoria.desktop";
  EXPECT_EQ(AutoRunEntryPath(), entry);
  SetAutoRun(true, "/opt/my vigil/vigil");
  SetAutoRun(true, "/opt/my vigil/vigil");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home / "autostart"), {}), 1);
  EXPECT_NE(ReadFile(entry).find("Exec=\"/opt/my vigil/vigil\""), std::string::npos);
  SetAutoRun(false);
  EXPECT_FALSE(std::filesystem::exists(entry));
  SetAutoRun(false);  // nothing to remove: no error

  // A failed write is reported.
  std::filesystem::remove_all(home / "autostart");
  WriteFile(home / "autostart", "not a folder");
  EXPECT_THROW(SetAutoRun(true, "/x/vigil"), std::runtime_error);
  unsetenv("XDG_CONFIG_HOME");
}

TEST(Shutdown, GoesThroughTheSeam) {
  std::vector<int> calls;
  SetShutdownHandler([&](int flags) {
    calls.push_back(flags);
    return true;
  });
  EXPECT_TRUE(ShutdownComputer(12));
  EXPECT_EQ(calls, std::vector<int>{12});
  SetShutdownHandler({});

  // The default handler only records the request when told to.
  TempHome home;
  setenv("VIGIL_SHUTDOWN_LOG", (home / "poweroff.log").c_str(), 1);
  EXPECT_TRUE(ShutdownComputer(12));
  unsetenv("VIGIL_SHUTDOWN_LOG");
  EXPECT_EQ(ReadFile(home / "poweroff.log"), "poweroff flags=12\n");
}

TEST(DiskSpace, RealVolumeAndMissingPath) {
  TempHome home;
  DiskSpaceResult r = DiskSpace(home.path());
  EXPECT_GT(r.total, 0);
  EXPECT_GE(r.free, 0);
  EXPECT_LE(r.free, r.total);
  EXPECT_EQ(DiskSpace(home / "missing").total, -1);
}

TEST(NormalizeFolder, Table) {
  struct Case {
    const char *in, *out;
  } cases[] = {{"/data/Video", "/data/Video/"}, {"/data/Video/", "/data/Video/"}, {"/", "/"},
               {"  /x  ", "/x/"}, {"", ""}};
  for (const Case& c : cases)
    EXPECT_EQ(NormalizeFolder(QString::fromUtf8(c.in)), QString::fromUtf8(c.out)) << c.in;
}

TEST(CpuSampler, UsageBetweenRecordedSamples) {
  // Two samples of /proc/stat, one second apart on a two-processor machine.
  const char* samples[] = {
      "cpu  200 0 100 1700 0 0 0 0 0 0\n"
      "cpu0 100 0 50 850 0 0 0 0 0 0\n"
      "cpu1 100 0 50 850 0 0 0 0 0 0\n"
      "intr 1 2 3\n",
      "cpu  260 0 120 1800 20 0 0 0 0 0\n"
      "cpu0 175 0 65 860 0 0 0 0 0 0\n"  // 90 busy of 100
      "cpu1 105 0 55 920 20 0 0 0 0 0\n"  // 10 busy of 100 (iowait is idle)
      "intr 1 2 3\n",
  };
  int next = 0;
  TCpuSampler sampler([&] { return std::string(samples[std::min(next++, 1)]); });
  sampler.CollectCpuData();
  EXPECT_EQ(sampler.CpuCount(), 2);
  sampler.CollectCpuData();
  EXPECT_NEAR(sampler.CpuUsage(0), 0.9, 1e-9);
  EXPECT_NEAR(sampler.CpuUsage(1), 0.1, 1e-9);
  sampler.CollectCpuData();  // the same counters again: no time passed
  EXPECT_EQ(sampler.CpuUsage(0), 0.0);
  try {
    sampler.CpuUsage(2);
    FAIL();
  } catch (const CpuUsageError& e) {
    EXPECT_STREQ(e.what(), "CPU index out of bounds");
  }
  EXPECT_THROW(sampler.CpuUsage(-1), CpuUsageError);
}

TEST(CpuSampler, TextWithoutProcessorsFails) {
  TCpuSampler sampler([] { return std::string("cpu  1 2 3 4\nintr 5\n"); });
  EXPECT_THROW(sampler.CollectCpuData(), CpuUsageError);
  TCpuSampler single([] { return std::string("cpu0 1 0 1 8\n"); });
  EXPECT_THROW(single.CpuUsage(1), CpuUsageError);  // one processor: index 1 is out of bounds
}

TEST(CpuSampler, RealProcStat) {
  TCpuSampler sampler;
  sampler.CollectCpuData();
  EXPECT_GE(sampler.CpuCount(), 1);
  double u = sampler.CpuUsage(0);
  EXPECT_GE(u, 0.0);
  EXPECT_LE(u, 1.0);
}

TEST(Help, ChmInProgramFolderElseBundledManual) {
  TempHome home;
  EXPECT_EQ(HelpFile(), QString());  // neither beside the test nor in the home
  std::filesystem::create_directory(home / "help");
  WriteFile(home / "help" / "index.html", "<html></html>");
  EXPECT_EQ(HelpFile(), QString::fromStdString((home / "help" / "index.html").string()));
  WriteFile(home / "帮助文件.CHM", "chm");
  EXPECT_EQ(HelpFile(), QString::fromStdString((home / "帮助文件.CHM").string()));
}
