// The senders inside a running main window: queued alarm pictures reach the FTP and SMTP
// servers, the counters count them, and changed alarm settings (2028) take effect at once.
#include <gtest/gtest.h>

#include <QJsonObject>

#include "MailFixtures.h"
#include "QtTestApp.h"
#include "TempHome.h"
#include "app/AlertSendersFacet.h"
#include "app/MainForm.h"
#include "app/StationState.h"
#include "dialogs/Notifications.h"
#include "settings/Options.h"

namespace vigil::test {
namespace {

TEST(StationSenders, QueuedPicturesGoOutAndSettingsChangesRestartTheSenders) {
  TestApp();
  TempHome home;
  const auto ftpHome = home / "ftp", inbox = home / "inbox", inbox2 = home / "inbox2", pics = home / "Image";
  for (const auto& d : {ftpHome, inbox, inbox2, pics}) std::filesystem::create_directory(d);
  PyServer ftp("ftp_server.py", {"--home", Path(ftpHome)});
  PyServer smtp("smtp_server.py", {"--dir", Path(inbox)});
  PyServer smtp2("smtp_server.py", {"--dir", Path(inbox2)});

  TOption o;
  LoadOptions(o, home / "none.ini");
  o.FirstRun = false;
  o.MonitorAtStart = false;
  SendAlarmsTo(o, ftp, smtp, QStringLiteral("站点"));
  SaveOptions(o, home / "config.ini");

  TAlertSendersFacet* senders = nullptr;
  auto form = std::make_unique<TfrmMain>(TStartOptions{}, [&](TfrmMain& m) {
    TFacetList list;
    auto facet = std::make_unique<TAlertSendersFacet>(m);
    senders = facet.get();
    list.push_back(std::move(facet));
    return list;
  });

  // Alarms queue their pictures once the station runs (its start empties the queues).
  std::map<std::string, QByteArray> pictures;
  for (const char* name : {"080000(1).JPG", "080003(1).JPG", "080006(2).JPG"}) {
    pictures[name] = MakePicture(pics / name, 3000);
    FtpQueue.Add(Path(pics / name));
    MailQueue.Add(Path(pics / name));
  }
  ASSERT_TRUE(WaitFor([] { return UploadCount == 3 && MailCount >= 1 && MailQueue.Count() == 0; }, 30'000))
      << "uploaded " << UploadCount << " mails " << MailCount;
  EXPECT_EQ(FtpQueue.Count(), 0);
  for (const auto& [name, bytes] : pictures)
    EXPECT_EQ(QByteArray::fromStdString(ReadFile(ftpHome / "站点" / name)), bytes) << name;
  QJsonArray mails = ParseMails(inbox);
  int attached = 0;
  for (const auto& m : mails) attached += m.toObject()[QStringLiteral("attachments")].toArray().size();
  EXPECT_EQ(attached, 3);

  // The alarm dialog changed the mail server: the thread is made anew with it.
  TSendEmailThread* before = senders->MailSender();
  Option.SMTPPort = smtp2.port();
  ASSERT_TRUE(PostNotification(WM_ALARM_SETTINGS_CHANGED));
  ASSERT_TRUE(WaitFor([&] { return senders->MailSender() != before; }));
  MakePicture(pics / "090000(1).JPG", 2000);
  MailQueue.Add(Path(pics / "090000(1).JPG"));
  EXPECT_TRUE(WaitFor([&] { return MailCountIn(inbox2) == 1; }, 30'000));

  // E-mail alarms switched off: no thread at all.
  Option.AlarmEmail = false;
  ASSERT_TRUE(PostNotification(WM_ALARM_SETTINGS_CHANGED));
  EXPECT_TRUE(WaitFor([&] { return senders->MailSender() == nullptr; }));
  form.reset();
}

}  // namespace
}  // namespace vigil::test
