// Fixtures of the mail and FTP tests: the Python servers on free loopback ports, mails parsed
// back by Python's email package, a capture of the debug log, pictures with random bytes.
#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QJsonArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <filesystem>

#include "settings/Options.h"

namespace vigil::test {

// The process's one QCoreApplication (queued signals need it).
QCoreApplication& App();

// A server script of tests/mail run by Debian's python3; it is killed when this goes.
class PyServer {
 public:
  PyServer(const QString& script, const QStringList& args);
  ~PyServer();
  PyServer(const PyServer&) = delete;
  PyServer& operator=(const PyServer&) = delete;

  int port() const { return port_; }
  const QString& ca() const { return ca_; }  // certificate of a STARTTLS server

 private:
  QProcess process_;
  int port_ = 0;
  QString ca_;
};

// Alarm pictures go to both servers every second: FTP as "alarm"/"secret" into `ftpDir`,
// mail through an own SMTP account from station@ to guard@example.org.
void SendAlarmsTo(TOption& option, const PyServer& ftp, const PyServer& smtp, const QString& ftpDir);

// A loopback port on which nothing listens.
int DeadPort();

// Every <n>.eml of the folder, parsed: see parse_mail.py for the fields.
QJsonArray ParseMails(const std::filesystem::path& folder);
int MailCountIn(const std::filesystem::path& folder);

// Random bytes written to `file`, returned.
QByteArray MakePicture(const std::filesystem::path& file, int size);
QString Path(const std::filesystem::path& p);

// Sends the debug log to a file for the fixture's life and turns it on.
class LogCapture {
 public:
  explicit LogCapture(const std::filesystem::path& file);
  ~LogCapture();
  QString Text() const;

 private:
  std::filesystem::path file_;
  int fd_ = -1;
};

}  // namespace vigil::test
