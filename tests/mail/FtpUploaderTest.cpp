// TFtpUploader with FtpQueue against pyftpdlib: runs of "FTPNums" pictures, byte-equal files,
// UploadCount on the UI thread, and faulty servers that must neither freeze the window nor
// lose a picture.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <chrono>

#include "MailFixtures.h"
#include "TempHome.h"
#include "app/FtpUploader.h"

namespace vigil::test {
namespace {

using namespace std::chrono_literals;

class FtpUploaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    std::filesystem::create_directory(ftpHome);
    std::filesystem::create_directory(pics);
    option.AlarmFTP = true;
    option.FTPAddr = QStringLiteral("127.0.0.1");
    option.FTPUser = QStringLiteral("alarm");
    option.FTPPswd = QStringLiteral("secret");
    option.FTPDir = QStringLiteral("alarm");
    option.FTPSecs = 60;
    option.FTPNums = 30;
  }

  std::filesystem::path Queue(const QString& name, QByteArray* bytes = nullptr, int size = 4000) {
    auto file = pics / name.toStdString();
    QByteArray data = MakePicture(file, size);
    if (bytes) *bytes = data;
    queue.Add(Path(file));
    return file;
  }

  // One run from the tick to its end; UploadCount as TfrmMain counts it.
  void RunOnce(TFtpUploader& ftp, int timeoutMs = 30'000) {
    QSignalSpy finished(&ftp, &TFtpUploader::RunFinished);
    ftp.tmrFTPTimer(option);
    ASSERT_TRUE(ftp.Running());
    ASSERT_TRUE(finished.wait(timeoutMs));
    EXPECT_FALSE(ftp.Running());
  }

  TempHome home;
  std::filesystem::path ftpHome = home / "ftp";
  std::filesystem::path pics = home / "pics";
  TOption option;
  TPictureQueue queue;
  TransferLimits limits{2000, 1, 1, {}};
};

TEST_F(FtpUploaderTest, RunsSendTheOldestFtpNumsPicturesByteEqual) {
  PyServer server("ftp_server.py", {"--home", Path(ftpHome)});
  option.FTPPort = server.port();
  std::map<QString, QByteArray> sent;
  for (int i = 0; i < 42; ++i) {
    QString name = QStringLiteral("08%1(1).JPG").arg(i, 4, 10, QLatin1Char('0'));
    Queue(name, &sent[name]);
  }
  // Names a camera title or a user folder can bring: Chinese, spaces, very long.
  for (QString name : {QString::fromUtf8("报警 图片 (3).jpg"), QStringLiteral("a b  c.JPG"),
                       QString::fromUtf8("摄像头").repeated(25) + QStringLiteral(".jpg")})
    Queue(name, &sent[name]);

  TFtpUploader ftp(queue, limits);
  ftp.ApplyFtpSettings(option);
  int UploadCount = 0;
  QObject::connect(&ftp, &TFtpUploader::PictureUploaded, [&] {
    EXPECT_EQ(QThread::currentThread(), App().thread());
    ++UploadCount;
  });
  RunOnce(ftp);
  EXPECT_EQ(UploadCount, 30);
  EXPECT_EQ(queue.Count(), 15);
  // The oldest 30 went first.
  EXPECT_TRUE(std::filesystem::exists(ftpHome / "alarm" / "080029(1).JPG"));
  EXPECT_FALSE(std::filesystem::exists(ftpHome / "alarm" / "080030(1).JPG"));

  RunOnce(ftp);
  EXPECT_EQ(UploadCount, 45);
  EXPECT_EQ(queue.Count(), 0);
  for (const auto& [name, bytes] : sent)
    EXPECT_EQ(QByteArray::fromStdString(ReadFile(ftpHome / "alarm" / name.toStdString())), bytes) << name.toStdString();
}

TEST_F(FtpUploaderTest, EmptyFolderStoresAtTheServersRoot) {
  PyServer server("ftp_server.py", {"--home", Path(ftpHome)});
  option.FTPPort = server.port();
  option.FTPDir.clear();
  QByteArray bytes;
  Queue(QStringLiteral("080409(2).JPG"), &bytes);
  TFtpUploader ftp(queue, limits);
  ftp.ApplyFtpSettings(option);
  RunOnce(ftp);
  EXPECT_EQ(QByteArray::fromStdString(ReadFile(ftpHome / "080409(2).JPG")), bytes);
  EXPECT_EQ(TFtpUploader::RemoteName(QStringLiteral("alarm"), QStringLiteral("/p/20090517/080409(2).JPG")),
            QStringLiteral("alarm/080409(2).JPG"));
}

TEST_F(FtpUploaderTest, DeletedPictureIsSkippedAndTheRestGoes) {
  LogCapture log(home / "log");
  PyServer server("ftp_server.py", {"--home", Path(ftpHome)});
  option.FTPPort = server.port();
  std::filesystem::remove(Queue(QStringLiteral("080000(1).JPG")));
  Queue(QStringLiteral("080001(1).JPG"));
  TFtpUploader ftp(queue, limits);
  ftp.ApplyFtpSettings(option);
  QSignalSpy uploaded(&ftp, &TFtpUploader::PictureUploaded);
  RunOnce(ftp);
  EXPECT_EQ(uploaded.count(), 1);
  EXPECT_EQ(queue.Count(), 0);
  EXPECT_TRUE(std::filesystem::exists(ftpHome / "alarm" / "080001(1).JPG"));
  EXPECT_TRUE(log.Text().contains(QStringLiteral("080000(1).JPG")));
}

TEST_F(FtpUploaderTest, NothingToDoWhenSwitchedOffOrEmpty) {
  TFtpUploader ftp(queue, limits);
  ftp.tmrFTPTimer(option);  // empty queue
  EXPECT_FALSE(ftp.Running());
  Queue(QStringLiteral("080000(1).JPG"));
  option.AlarmFTP = false;
  ftp.ApplyFtpSettings(option);
  EXPECT_FALSE(ftp.tmrFTP.isActive());
  ftp.tmrFTPTimer(option);
  EXPECT_FALSE(ftp.Running());
  option.AlarmFTP = true;
  option.FTPSecs = 7;
  ftp.ApplyFtpSettings(option);
  EXPECT_TRUE(ftp.tmrFTP.isActive());
  EXPECT_EQ(ftp.tmrFTP.interval(), 7000);
}

struct FtpFault {
  const char* name;
  const char* mode;  // ftp_server.py mode; null: nothing listens
  const char* password;
};
void PrintTo(const FtpFault& c, std::ostream* os) { *os << c.name; }

class FtpFaultTest : public FtpUploaderTest, public ::testing::WithParamInterface<FtpFault> {};

TEST_P(FtpFaultTest, FailedRunKeepsTheQueueAndNeverBlocksTheWindow) {
  LogCapture log(home / "log");
  const FtpFault& c = GetParam();
  std::optional<PyServer> server;
  if (c.mode) server.emplace("ftp_server.py", QStringList{"--home", Path(ftpHome), "--mode", c.mode});
  option.FTPPort = server ? server->port() : DeadPort();
  option.FTPPswd = QString::fromUtf8(c.password);
  Queue(QStringLiteral("080000(1).JPG"), nullptr, 300'000);
  Queue(QStringLiteral("080001(1).JPG"));

  TFtpUploader ftp(queue, limits);
  ftp.ApplyFtpSettings(option);
  QSignalSpy uploaded(&ftp, &TFtpUploader::PictureUploaded);
  QSignalSpy finished(&ftp, &TFtpUploader::RunFinished);
  const auto start = std::chrono::steady_clock::now();
  ftp.tmrFTPTimer(option);
  ftp.tmrFTPTimer(option);  // a tick during the run does nothing
  // The UI thread is back at once, whatever the server does.
  EXPECT_LT(std::chrono::steady_clock::now() - start, 100ms);
  ASSERT_TRUE(finished.wait(20'000));
  EXPECT_EQ(finished.count(), 1);
  EXPECT_EQ(uploaded.count(), 0);
  ASSERT_EQ(queue.Count(), 2);
  EXPECT_EQ(queue.Peek(1).front(), Path(pics / "080000(1).JPG"));
  EXPECT_TRUE(log.Text().contains(QStringLiteral("tmrFTPTimer异常:"))) << log.Text().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Servers, FtpFaultTest,
                         ::testing::Values(FtpFault{"Down", nullptr, "secret"},
                                           FtpFault{"Refusing", "refuse", "secret"},
                                           FtpFault{"WrongPassword", "normal", "wrong"},
                                           FtpFault{"SilentAtLogin", "stall", "secret"},
                                           FtpFault{"HangsUpInTransfer", "drop-data", "secret"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FtpUploaderTest, DestroyingCutsOffARunAtOnce) {
  PyServer server("ftp_server.py", {"--home", Path(ftpHome), "--mode", "stall"});
  option.FTPPort = server.port();
  Queue(QStringLiteral("080000(1).JPG"));
  auto ftp = std::make_unique<TFtpUploader>(queue, TransferLimits{30'000, 60, 60, {}});
  ftp->ApplyFtpSettings(option);
  ftp->tmrFTPTimer(option);
  ASSERT_TRUE(ftp->Running());
  QTest::qWait(300);  // into the login wait
  const auto start = std::chrono::steady_clock::now();
  ftp.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  EXPECT_EQ(queue.Count(), 1);
}

}  // namespace
}  // namespace vigil::test
