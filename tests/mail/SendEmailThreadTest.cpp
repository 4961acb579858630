// TSendEmailThread with MailQueue against aiosmtpd: batches, the notice mode, what a failed
// sending leaves in the queue, and how fast the thread ends.
#include <gtest/gtest.h>

#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>
#include <chrono>

#include "MailFixtures.h"
#include "TempHome.h"
#include "app/SendEmailThread.h"

namespace vigil::test {
namespace {

using namespace std::chrono_literals;

class SendEmailThreadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    std::filesystem::create_directory(inbox);
    std::filesystem::create_directory(pics);
    option.AlarmEmail = true;
    option.EmailMode = 1;
    option.EmailSecs = 1;
    option.EmailPics = 10;
    option.EmailTo = QStringLiteral("owner@example.com");
    option.EmailSubject = QString::fromUtf8("监控系统报警!!!");
    option.SMTPAddr = QStringLiteral("127.0.0.1");
    option.FromEmail = QStringLiteral("station@example.com");
  }

  // Pictures named as the alarm handler names them, so sorted order is oldest first.
  std::vector<QByteArray> Queue(int count) {
    std::vector<QByteArray> bytes;
    for (int i = 0; i < count; ++i) {
      auto file = pics / QStringLiteral("08%1(1).JPG").arg(i, 4, 10, QLatin1Char('0')).toStdString();
      bytes.push_back(MakePicture(file, 3000 + i));
      queue.Add(Path(file));
    }
    return bytes;
  }

  TempHome home;
  std::filesystem::path inbox = home / "inbox";
  std::filesystem::path pics = home / "pics";
  TOption option;
  TPictureQueue queue;
  TransferLimits limits{2000, 2, 2, {}};
};

TEST_F(SendEmailThreadTest, MailsBatchesOldestFirstOneMailPerInterval) {
  PyServer server("smtp_server.py", {"--dir", Path(inbox)});
  option.SMTPPort = server.port();
  std::vector<QByteArray> bytes = Queue(25);
  TSendEmailThread thread(queue, option, limits);
  QSignalSpy sent(&thread, &TSendEmailThread::MailSent);
  const auto start = std::chrono::steady_clock::now();
  thread.start();
  ASSERT_TRUE(QTest::qWaitFor([&] { return sent.count() == 3; }, 20'000));
  // Three mails one interval apart: the first after the first pause, then one a second.
  EXPECT_GE(std::chrono::steady_clock::now() - start, 2s);
  EXPECT_EQ(sent[0][0].toInt() + sent[1][0].toInt() + sent[2][0].toInt(), 25);
  EXPECT_EQ(queue.Count(), 0);

  QJsonArray mails = ParseMails(inbox);
  ASSERT_EQ(mails.size(), 3);
  size_t next = 0;
  for (int m = 0; m < 3; ++m) {
    QJsonArray files = mails[m].toObject()["attachments"].toArray();
    EXPECT_EQ(files.size(), m < 2 ? 10 : 5);
    for (const auto& f : files) {
      EXPECT_EQ(f.toObject()["filename"].toString(), QStringLiteral("08%1(1).JPG").arg(next, 4, 10, QLatin1Char('0')));
      EXPECT_EQ(QByteArray::fromBase64(f.toObject()["data"].toString().toLatin1()), bytes[next]);
      ++next;
    }
    EXPECT_EQ(mails[m].toObject()["subject"].toString(), option.EmailSubject);
    EXPECT_EQ(mails[m].toObject()["mailer"].toString(), QString::fromUtf8("Tavik监控邮件发送器"));
  }
}

TEST_F(SendEmailThreadTest, NoticeModeSendsOneMailWithoutPicturesForAllQueued) {
  PyServer server("smtp_server.py", {"--dir", Path(inbox)});
  option.SMTPPort = server.port();
  option.EmailMode = 2;
  TSendEmailThread thread(queue, option, limits);
  QSignalSpy sent(&thread, &TSendEmailThread::MailSent);
  thread.SendPending();  // empty queue: no mail
  EXPECT_EQ(MailCountIn(inbox), 0);
  Queue(4);
  thread.SendPending();
  ASSERT_EQ(sent.count(), 1);
  EXPECT_EQ(queue.Count(), 0);
  QJsonArray mails = ParseMails(inbox);
  ASSERT_EQ(mails.size(), 1);
  EXPECT_TRUE(mails[0].toObject()["attachments"].toArray().isEmpty());
}

TEST_F(SendEmailThreadTest, SwitchedOffSendsNothing) {
  PyServer server("smtp_server.py", {"--dir", Path(inbox)});
  option.SMTPPort = server.port();
  option.AlarmEmail = false;
  Queue(2);
  TSendEmailThread thread(queue, option, limits);
  thread.SendPending();
  EXPECT_EQ(MailCountIn(inbox), 0);
  EXPECT_EQ(queue.Count(), 2);
}

TEST_F(SendEmailThreadTest, FailedSendingKeepsThePicturesForTheNextMail) {
  LogCapture log(home / "log");
  PyServer server("smtp_server.py", {"--dir", Path(inbox), "--auth", "alarm:secret"});
  option.SMTPPort = server.port();
  option.EmailUser = QStringLiteral("alarm");
  option.EmailPswd = QStringLiteral("wrong");
  option.EmailParity = true;
  std::vector<QByteArray> bytes = Queue(3);
  {
    TSendEmailThread thread(queue, option, limits);
    QSignalSpy sent(&thread, &TSendEmailThread::MailSent);
    thread.SendPending();
    EXPECT_EQ(sent.count(), 0);
  }
  EXPECT_EQ(queue.Count(), 3);
  EXPECT_TRUE(log.Text().contains(QStringLiteral("SendPending异常:"))) << log.Text().toStdString();

  option.EmailPswd = QStringLiteral("secret");  // the alarm dialog fixes it; a new thread follows
  TSendEmailThread thread(queue, option, limits);
  thread.SendPending();
  EXPECT_EQ(queue.Count(), 0);
  QJsonArray mails = ParseMails(inbox);
  ASSERT_EQ(mails.size(), 1);
  EXPECT_EQ(mails[0].toObject()["attachments"].toArray().size(), 3);
}

TEST_F(SendEmailThreadTest, DeletedPictureIsSkippedAndTheRestGoes) {
  LogCapture log(home / "log");
  PyServer server("smtp_server.py", {"--dir", Path(inbox)});
  option.SMTPPort = server.port();
  option.EmailPics = 2;
  std::vector<QByteArray> bytes = Queue(3);
  std::filesystem::remove(pics / "080000(1).JPG");
  TSendEmailThread thread(queue, option, limits);
  thread.SendPending();
  EXPECT_EQ(queue.Count(), 0);  // the two that exist filled the mail
  QJsonArray mails = ParseMails(inbox);
  ASSERT_EQ(mails.size(), 1);
  QJsonArray files = mails[0].toObject()["attachments"].toArray();
  ASSERT_EQ(files.size(), 2);
  EXPECT_EQ(files[0].toObject()["filename"].toString(), QStringLiteral("080001(1).JPG"));
  EXPECT_TRUE(log.Text().contains(QStringLiteral("080000(1).JPG")));
}

TEST_F(SendEmailThreadTest, EndsAtOnceEvenInTheMiddleOfASlowSending) {
  PyServer server("smtp_server.py", {"--dir", Path(inbox), "--mode", "stall-data"});
  option.SMTPPort = server.port();
  Queue(2);
  auto thread = std::make_unique<TSendEmailThread>(queue, option, TransferLimits{30'000, 60, 60, {}});
  thread->start();
  // The server marks the mail it is sitting on.
  ASSERT_TRUE(QTest::qWaitFor([&] { return std::filesystem::exists(inbox / "stalled"); }, 20'000));
  const auto start = std::chrono::steady_clock::now();
  thread.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  EXPECT_EQ(queue.Count(), 2);
}

TEST_F(SendEmailThreadTest, EndsAtOnceDuringThePause) {
  option.EmailSecs = 60;  // a 20-second pause
  TSendEmailThread thread(queue, option, limits);
  thread.start();
  const auto start = std::chrono::steady_clock::now();
  thread.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  EXPECT_TRUE(thread.isFinished());
}

}  // namespace
}  // namespace vigil::test
