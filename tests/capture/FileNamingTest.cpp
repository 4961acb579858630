// Names of recordings, alarm pictures and snapshots, and the daily counters, on a set clock.
#include <gtest/gtest.h>

#include "TempHome.h"
#include "app/FileNaming.h"

using namespace vigil;

namespace {

TDateTime At(int y, int mo, int d, int h, int mi, int s) { return *EncodeDateTime({y, mo, d, h, mi, s, 0}); }

class FileNaming : public ::testing::Test {
 protected:
  void SetUp() override {
    option.VideoPath = QString::fromStdString((home / "video").string()) + "/";
    option.PicPath = QString::fromStdString((home / "pic").string()) + "/";
    std::filesystem::create_directory(home / "video");
    std::filesystem::create_directory(home / "pic");
  }
  std::filesystem::path ini() const { return home / "config.ini"; }
  QString Rel(const QString& full) const {
    return full.mid(QString::fromStdString(home.path().string()).size() + 1);
  }

  test::TempHome home;
  TOption option;
  ManualClock clock;
};

// Both modes across midnight: the folder and the sequence follow the clock's day.
TEST_F(FileNaming, RecordingsAndAlarmPicturesByTimeAndBySequence) {
  struct Step {
    int mode;
    TDateTime t;
    int channel;
    const char* recording;
    const char* picture;
  } steps[] = {
      {1, At(2009, 5, 17, 8, 4, 9), 3, "video/20090517/080409(3).AVI", "pic/20090517/080409(3).JPG"},
      {2, At(2009, 5, 17, 8, 4, 9), 1, "video/20090517/0001(1).AVI", "pic/20090517/0001(1).JPG"},
      {2, At(2009, 5, 17, 8, 4, 9), 2, "video/20090517/0002(2).AVI", "pic/20090517/0002(2).JPG"},
      {2, At(2009, 5, 17, 23, 59, 59), 9, "video/20090517/0003(9).AVI", "pic/20090517/0003(9).JPG"},
      {2, At(2009, 5, 18, 0, 0, 0), 9, "video/20090518/0001(9).AVI", "pic/20090518/0001(9).JPG"},
      {1, At(2009, 5, 18, 0, 0, 1), 4, "video/20090518/000001(4).AVI", "pic/20090518/000001(4).JPG"},
      {2, At(2009, 5, 18, 12, 0, 0), 4, "video/20090518/0002(4).AVI", "pic/20090518/0002(4).JPG"},
  };
  option.PicFormat = 1;
  for (const auto& s : steps) {
    SCOPED_TRACE(s.recording);
    option.FileNameMode = s.mode;
    clock.Set(s.t);
    EXPECT_EQ(Rel(RecordingFileName(option, s.channel, s.t, clock, ini())), QString::fromUtf8(s.recording));
    EXPECT_EQ(Rel(AlarmPictureFileName(option, s.channel, s.t, clock, ini())), QString::fromUtf8(s.picture));
  }
  EXPECT_TRUE(std::filesystem::is_directory(home / "video" / "20090518"));
  EXPECT_EQ(ReadFileCounter(ini()), QStringLiteral("200905180002"));
  EXPECT_EQ(ReadPictureCounter(ini()), QStringLiteral("200905180002"));
  option.PicFormat = 0;
  EXPECT_TRUE(AlarmPictureFileName(option, 1, clock.Now(), clock, ini()).endsWith(QLatin1String("0003(1).BMP")));
}

// The counter text as found in config.ini, and what comes next.
TEST_F(FileNaming, SequenceCounterTable) {
  clock.Set(At(2009, 5, 17, 10, 0, 0));
  struct Case {
    const char* stored;
    const char* kind;
    const char* next;
    const char* after;
  } cases[] = {
      {"200905160154", "AVI", "0001", "200905170001"},  // yesterday's counter
      {"200905170000", "AVI", "0001", "200905170001"},
      {"200905170041", "AVI", "0042", "200905170042"},
      {"200905179998", "AVI", "9999", "200905179999"},
      {"200905179999", "AVI", "0000", "200905170000"},  // 9999 files: 0000, then 0001
      {"200905170007", "XYZ", "0008", "200905170008"},  // any other kind counts recordings
      {"200905170007", "PIC", "0008", "200905170008"},
      {"20090517ab12", "AVI", "0001", "200905170001"},  // damaged: counts on from 0001
      {"20090517", "PIC", "0001", "200905170001"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.stored) + " " + c.kind);
    const bool pic = QString::fromLatin1(c.kind) == QLatin1String("PIC");
    pic ? WritePictureCounter(QString::fromLatin1(c.stored), ini()) : WriteFileCounter(QString::fromLatin1(c.stored), ini());
    EXPECT_EQ(NextSequenceName(QString::fromLatin1(c.kind), clock, ini()), QString::fromLatin1(c.next));
    EXPECT_EQ(pic ? ReadPictureCounter(ini()) : ReadFileCounter(ini()), QString::fromLatin1(c.after));
  }
  // The two counters never share a value.
  WriteFileCounter(QStringLiteral("200905170005"), ini());
  WritePictureCounter(QStringLiteral("200905170100"), ini());
  EXPECT_EQ(NextSequenceName(QStringLiteral("AVI"), clock, ini()), QStringLiteral("0006"));
  EXPECT_EQ(NextSequenceName(QStringLiteral("PIC"), clock, ini()), QStringLiteral("0101"));
}

TEST_F(FileNaming, SnapshotNamesOfABurst) {
  const QString base = SnapshotBaseName(QStringLiteral("/photos/"), At(2009, 5, 17, 8, 4, 9), 2);
  EXPECT_EQ(base, QStringLiteral("/photos/20090517080409(2)"));
  EXPECT_EQ(SnapshotFileName(base, 1, 1), QStringLiteral("/photos/20090517080409(2)-1.JPG"));
  EXPECT_EQ(SnapshotFileName(base, 3, 5), QStringLiteral("/photos/20090517080409(2)-3.JPG"));
  EXPECT_EQ(SnapshotFileName(base, 2, 0), QStringLiteral("/photos/20090517080409(2)-2.BMP"));
}

TEST_F(FileNaming, DayFolderWithMissingParentsIsMadeOneInTheWayThrows) {
  option.FileNameMode = 1;
  option.PicFormat = 1;
  // The picture folder was deleted by hand: it comes back with the day folder.
  option.PicPath = QString::fromStdString((home / "missing" / "deeper").string()) + "/";
  EXPECT_EQ(AlarmPictureFileName(option, 1, At(2009, 5, 17, 8, 4, 9), clock, ini()),
            option.PicPath + QStringLiteral("20090517/080409(1).JPG"));
  EXPECT_TRUE(std::filesystem::is_directory(home / "missing" / "deeper" / "20090517"));
  // A file where the folder belongs cannot be helped.
  vigil::test::WriteFile(home / "blocked", "not a folder");
  option.VideoPath = QString::fromStdString((home / "blocked").string()) + "/";
  EXPECT_THROW(RecordingFileName(option, 1, At(2009, 5, 17, 8, 4, 9), clock, ini()), DayFolderError);
}

}  // namespace
