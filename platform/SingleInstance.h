// One station per user. The first start takes a lock that the kernel drops when the
// process ends (even on kill -9) and listens on a local socket; a later start finds the lock
// taken, connects, asks the running station to come forward and ends.
#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>
#include <filesystem>

#include "platform/UniqueFd.h"

namespace vigil {

class SingleInstance : public QObject {
  Q_OBJECT
 public:
  enum class Role {
    Primary,    // we hold the lock and listen; ActivationRequested arrives on later starts
    Secondary,  // another station runs; it has been asked to come forward (when it answered)
    Failed,     // neither: the lock or the socket could not be made (see the error text)
  };

  // `name` is the socket's file name inside the per-user runtime folder.
  explicit SingleInstance(const QString& name, QObject* parent = nullptr);
  ~SingleInstance() override;

  // `message` is what a later start sends to the running one.
  Role Start(const QByteArray& message, QString* error);

  std::filesystem::path SocketPath() const { return socketPath_; }

  // $XDG_RUNTIME_DIR when it exists, else /tmp/vigil-<uid> (made private to the user).
  static std::filesystem::path RuntimeFolder(QString* error);

 signals:
  // A later start sent this line.
  void MessageReceived(const QByteArray& message);

 private:
  bool TakeLock(QString* error);
  bool Listen(QString* error);
  bool SendToRunning(const QByteArray& message, QString* error);
  void OnNewConnection();

  QString name_;
  std::filesystem::path socketPath_;
  UniqueFd lock_;
  QLocalServer server_;
};

}  // namespace vigil
