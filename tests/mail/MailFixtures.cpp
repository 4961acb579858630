#include "MailFixtures.h"

#include <QJsonDocument>
#include <QRandomGenerator>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

#include "TempHome.h"
#include "settings/DebugLog.h"

namespace vigil::test {
namespace {

QString Python() {
  const char* python = std::getenv("VIGIL_PYTHON");
  return QString::fromUtf8(python ? python : "/usr/bin/python3");
}

QString Script(const char* name) { return Path(SourcePath(std::string("tests/mail/") + name)); }

}  // namespace

QCoreApplication& App() {
  static int argc = 1;
  static char name[] = "test_mail";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
  return app;
}

PyServer::PyServer(const QString& script, const QStringList& args) {
  process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  process_.start(Python(), QStringList{Script(script.toUtf8().constData())} + args);
  if (!process_.waitForStarted(10'000)) throw std::runtime_error("cannot start " + script.toStdString());
  // The script prints its lines once it listens; "PORT" comes last but for "CA".
  while (port_ == 0 || (args.contains(QStringLiteral("--starttls")) && ca_.isEmpty())) {
    while (!process_.canReadLine()) {
      if (!process_.waitForReadyRead(20'000))
        throw std::runtime_error(script.toStdString() + " did not start listening");
    }
    const QString line = QString::fromUtf8(process_.readLine()).trimmed();
    if (line.startsWith(QStringLiteral("PORT "))) port_ = line.mid(5).toInt();
    if (line.startsWith(QStringLiteral("CA "))) ca_ = line.mid(3);
  }
}

PyServer::~PyServer() {
  process_.kill();
  process_.waitForFinished(10'000);
}

int DeadPort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  ::bind(fd, reinterpret_cast<sockaddr*>(&addr), len);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  ::close(fd);  // bound but never listening, now closed: connections are refused
  return ntohs(addr.sin_port);
}

QJsonArray ParseMails(const std::filesystem::path& folder) {
  QProcess parser;
  parser.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  parser.start(Python(), {Script("parse_mail.py"), Path(folder)});
  parser.waitForFinished(60'000);
  if (parser.exitCode() != 0) throw std::runtime_error("parse_mail.py failed");
  return QJsonDocument::fromJson(parser.readAllStandardOutput()).array();
}

int MailCountIn(const std::filesystem::path& folder) {
  int n = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    if (entry.path().extension() == ".json") ++n;
  return n;
}

QByteArray MakePicture(const std::filesystem::path& file, int size) {
  QByteArray bytes(size, Qt::Uninitialized);
  for (char& c : bytes) c = static_cast<char>(QRandomGenerator::global()->bounded(256));
  WriteFile(file, bytes.toStdString());
  return bytes;
}

QString Path(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

LogCapture::LogCapture(const std::filesystem::path& file) : file_(file) {
  fd_ = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  DebugLog.SetFd(fd_);
  DebugLog.SetForceOn(true);
}

LogCapture::~LogCapture() {
  DebugLog.SetFd(2);
  DebugLog.SetForceOn(false);
  ::close(fd_);
}

QString LogCapture::Text() const { return QString::fromStdString(ReadFile(file_)); }

void SendAlarmsTo(TOption& o, const PyServer& ftp, const PyServer& smtp, const QString& ftpDir) {
  o.AlarmFTP = true;
  o.FTPAddr = QStringLiteral("127.0.0.1");
  o.FTPPort = ftp.port();
  o.FTPUser = QStringLiteral("alarm");
  o.FTPPswd = QStringLiteral("secret");
  o.FTPDir = ftpDir;
  o.FTPSecs = 1;
  o.AlarmEmail = true;
  o.EmailMode = 1;
  o.AccountMode = 2;
  o.SMTPAddr = QStringLiteral("127.0.0.1");
  o.SMTPPort = smtp.port();
  o.FromEmail = QStringLiteral("station@example.org");
  o.EmailTo = QStringLiteral("guard@example.org");
  o.EmailSecs = 1;
}

}  // namespace vigil::test
