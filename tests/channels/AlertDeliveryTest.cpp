// The whole road of an alarm: a virtual camera's moving ball raises alarms, their pictures
// are saved, and the same pictures arrive byte for byte on a real FTP server and attached to
// mails on a real SMTP server, while the counters count them.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonObject>

#include "MailFixtures.h"
#include "StationFixture.h"
#include "app/StationState.h"

namespace vigil {
namespace {

using test::WaitFor;

TEST(AlertDelivery, PicturesOfARunningStationReachFtpAndMail) {
  FtpQueue.Clear();
  MailQueue.Clear();
  test::TempHome home;
  const auto ftpHome = home / "ftp", inbox = home / "inbox";
  std::filesystem::create_directory(ftpHome);
  std::filesystem::create_directory(inbox);
  test::PyServer ftp("ftp_server.py", {"--home", test::Path(ftpHome)});
  test::PyServer smtp("smtp_server.py", {"--dir", test::Path(inbox)});

  test::WriteConfig(home.path(), [&](TOption& o) {
    test::QuietDefaults(o);
    o.AlarmPicture = true;
    o.SavePicMode = 1;
    o.PicFormat = 1;
    test::SendAlarmsTo(o, ftp, smtp, QStringLiteral("门口"));
    o.EmailSubject = QStringLiteral("门口有人");
  });
  auto clock = std::make_shared<test::ShiftedClock>();
  test::Station station({test::MovingCamera(1, 3.0)}, clock, {}, /*alertSenders=*/true);
  station.form().btnStartClick();

  // The ball moves for 3 s, then rests: the alarms stop, and everything queued goes out.
  ASSERT_TRUE(WaitFor([&] { return station.form().SavedPictureCount >= 2; }, 20'000));
  ASSERT_TRUE(WaitFor(
      [&] {
        const int saved = station.form().SavedPictureCount;
        return UploadCount == saved && FtpQueue.Count() == 0 && MailQueue.Count() == 0 && MailCount >= 1;
      },
      40'000))
      << "saved " << station.form().SavedPictureCount << " uploaded " << UploadCount << " mails " << MailCount;

  const QString day = FormatDateTime(QStringLiteral("yyyymmdd"), clock->Now());
  const auto pictures = test::FilesIn((Option.PicPath + day).toStdString());
  ASSERT_EQ(static_cast<int>(pictures.size()), station.form().SavedPictureCount);
  for (const auto& p : pictures)
    EXPECT_EQ(test::ReadFile(ftpHome / "门口" / p.filename()), test::ReadFile(p)) << p;

  int attached = 0;
  for (const auto& m : test::ParseMails(inbox)) {
    const QJsonObject mail = m.toObject();
    EXPECT_EQ(mail[QStringLiteral("subject")].toString(), QStringLiteral("门口有人"));
    attached += static_cast<int>(mail[QStringLiteral("attachments")].toArray().size());
  }
  EXPECT_EQ(attached, static_cast<int>(pictures.size()));
}

}  // namespace
}  // namespace vigil
