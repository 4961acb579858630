#include "SingleInstance.h"

#include <QDeadlineTimer>
#include <QLocalSocket>
#include <QThread>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vigil {
namespace {

// A start that lost the race waits this long for the winner to listen.
constexpr int kConnectWaitMs = 5000;
constexpr int kRetryMs = 50;
constexpr int kMaxMessage = 256;

QString errnoText() { return QString::fromLocal8Bit(std::strerror(errno)); }

}  // namespace

SingleInstance::SingleInstance(const QString& name, QObject* parent)
    : QObject(parent), name_(name) {
  connect(&server_, &QLocalServer::newConnection, this, &SingleInstance::OnNewConnection);
}

SingleInstance::~SingleInstance() {
  // Close before the lock goes, so a start in between never meets our socket file.
  if (server_.isListening()) server_.close();
}

std::filesystem::path SingleInstance::RuntimeFolder(QString* error) {
  if (const char* xdg = std::getenv("XDG_RUNTIME_DIR"); xdg && *xdg == '/') {
    struct stat st {};
    if (::stat(xdg, &st) == 0 && S_ISDIR(st.st_mode)) return xdg;
  }
  // /tmp is shared: the folder must be ours and closed to others, or someone else could
  // plant a socket or lock file that steers our start.
  std::filesystem::path dir = "/tmp/vigil-" + std::to_string(::getuid());
  if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
    if (error) *error = QStringLiteral("cannot create %1: %2").arg(QString::fromStdString(dir), errnoText());
    return {};
  }
  struct stat st {};
  if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid() ||
      (st.st_mode & 077) != 0) {
    if (error) *error = QStringLiteral("%1 is not a private folder of this user").arg(QString::fromStdString(dir));
    return {};
  }
  return dir;
}

SingleInstance::Role SingleInstance::Start(const QByteArray& message, QString* error) {
  std::filesystem::path dir = RuntimeFolder(error);
  if (dir.empty()) return Role::Failed;
  socketPath_ = dir / name_.toStdString();
  if (TakeLock(error)) return Listen(error) ? Role::Primary : Role::Failed;
  if (!lock_) return Role::Failed;
  // Another station runs: it is asked to come forward; when it does not answer the error
  // says so, and this start still ends, so that two stations never run.
  SendToRunning(message, error);
  return Role::Secondary;
}

// True when we hold the lock. False with lock_ open means another process holds it.
bool SingleInstance::TakeLock(QString* error) {
  std::string path = socketPath_.string() + ".lock";
  lock_ = UniqueFd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (!lock_) {
    if (error) *error = QStringLiteral("cannot open %1: %2").arg(QString::fromStdString(path), errnoText());
    return false;
  }
  if (::flock(lock_.get(), LOCK_EX | LOCK_NB) == 0) return true;
  if (errno != EWOULDBLOCK) {
    if (error) *error = QStringLiteral("cannot lock %1: %2").arg(QString::fromStdString(path), errnoText());
    lock_.Close();
  }
  return false;
}

bool SingleInstance::Listen(QString* error) {
  // Whatever sits at the path now was left by a station that died (we hold the lock) or
  // belongs to someone else; either way it must not block this start.
  const QString path = QString::fromStdString(socketPath_.string());
  QLocalServer::removeServer(path);
  server_.setSocketOptions(QLocalServer::UserAccessOption);
  if (server_.listen(path)) return true;
  if (error) *error = QStringLiteral("cannot listen on %1: %2").arg(path, server_.errorString());
  return false;
}

bool SingleInstance::SendToRunning(const QByteArray& message, QString* error) {
  const QString path = QString::fromStdString(socketPath_.string());
  QDeadlineTimer deadline(kConnectWaitMs);
  QLocalSocket socket;
  // The holder of the lock may still be starting and not listen yet.
  while (true) {
    socket.connectToServer(path);
    if (socket.waitForConnected(kRetryMs * 4)) break;
    socket.abort();
    if (deadline.hasExpired()) {
      if (error) *error = QStringLiteral("the running station does not answer on %1").arg(path);
      return false;
    }
    QThread::msleep(kRetryMs);
  }
  socket.write(message + '\n');
  bool sent = socket.waitForBytesWritten(kConnectWaitMs);
  socket.disconnectFromServer();
  if (socket.state() != QLocalSocket::UnconnectedState) socket.waitForDisconnected(kRetryMs * 4);
  if (!sent && error) *error = QStringLiteral("cannot write to %1: %2").arg(path, socket.errorString());
  return sent;
}

void SingleInstance::OnNewConnection() {
  while (QLocalSocket* socket = server_.nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
      while (socket->canReadLine()) {
        QByteArray line = socket->readLine(kMaxMessage).trimmed();
        emit MessageReceived(line);
      }
      // A peer that sends a long run without a line end is not a station; drop it.
      if (socket->bytesAvailable() > kMaxMessage) socket->abort();
    });
  }
}

}  // namespace vigil
