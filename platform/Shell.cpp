#include "Shell.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDesktopServices>
#include <QProcess>
#include <QUrl>
#include <arpa/inet.h>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <netdb.h>
#include <sstream>
#include <sys/statvfs.h>
#include <unistd.h>

#include "UniqueFd.h"

namespace vigil {
namespace {

std::filesystem::path xdgFolder(const char* var, const char* fallbackBelowHome) {
  const char* v = std::getenv(var);
  if (v && *v == '/') return v;
  const char* home = std::getenv("HOME");
  return std::filesystem::path(home && *home ? home : "/tmp") / fallbackBelowHome;
}

}  // namespace

std::filesystem::path ExecutableFolder() {
  std::error_code ec;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::current_path() : exe.parent_path();
}

bool IsWritableFolder(const std::filesystem::path& folder) {
  std::string probe = (folder / ".vigil-write-test-XXXXXX").string();
  UniqueFd fd(mkstemp(probe.data()));
  if (!fd) return false;
  unlink(probe.c_str());
  return true;
}

std::filesystem::path UserDataFolder() { return xdgFolder("XDG_DATA_HOME", ".local/share") / "vigil"; }

std::filesystem::path AutostartFolder() { return xdgFolder("XDG_CONFIG_HOME", ".config") / "autostart"; }

bool OpenWithDesktop(const QString& pathOrUrl) {
  QUrl url = pathOrUrl.contains(QLatin1String("://")) ? QUrl(pathOrUrl)
                                                      : QUrl::fromLocalFile(pathOrUrl);
  return QDesktopServices::openUrl(url);
}

bool RequestPowerOff(QString* error) {
  QDBusInterface logind(QStringLiteral("org.freedesktop.login1"),
                        QStringLiteral("/org/freedesktop/login1"),
                        QStringLiteral("org.freedesktop.login1.Manager"),
                        QDBusConnection::systemBus());
  if (logind.isValid()) {
    QDBusReply<void> reply = logind.call(QStringLiteral("PowerOff"), false);
    if (reply.isValid()) return true;
    if (error) *error = reply.error().message();
  }
  int rc = QProcess::execute(QStringLiteral("systemctl"), {QStringLiteral("poweroff")});
  if (rc == 0) return true;
  if (error && error->isEmpty()) *error = QStringLiteral("systemctl poweroff failed");
  return false;
}

std::optional<DiskSpaceInfo> QueryDiskSpace(const std::filesystem::path& path) {
  struct statvfs s{};
  if (statvfs(path.c_str(), &s) != 0) return std::nullopt;
  return DiskSpaceInfo{static_cast<int64_t>(s.f_blocks) * static_cast<int64_t>(s.f_frsize),
                       static_cast<int64_t>(s.f_bavail) * static_cast<int64_t>(s.f_frsize)};
}

QString LocalIPv4() {
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) != 0) return {};
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  if (getaddrinfo(host, nullptr, &hints, &list) != 0) return {};
  QString last;
  for (addrinfo* a = list; a; a = a->ai_next) {
    char text[INET_ADDRSTRLEN] = {};
    auto* sin = reinterpret_cast<sockaddr_in*>(a->ai_addr);
    if (inet_ntop(AF_INET, &sin->sin_addr, text, sizeof text)) last = QString::fromLatin1(text);
  }
  freeaddrinfo(list);
  return last;
}

std::string ReadSmallFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return std::move(ss).str();
}

bool ShowDesktopNotification(const QString& title, const QString& text, int timeout_ms) {
  QDBusInterface n(QStringLiteral("org.freedesktop.Notifications"),
                   QStringLiteral("/org/freedesktop/Notifications"),
                   QStringLiteral("org.freedesktop.Notifications"), QDBusConnection::sessionBus());
  if (!n.isValid()) return false;
  QDBusReply<uint> reply =
      n.call(QStringLiteral("Notify"), QStringLiteral("Vigil"), 0u,
             QStringLiteral("dialog-information"), title, text, QStringList{}, QVariantMap{},
             timeout_ms);
  return reply.isValid();
}

}  // namespace vigil
