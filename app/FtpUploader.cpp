#include "app/FtpUploader.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>

#include "settings/DebugLog.h"

namespace vigil {

TFtpUploader::TFtpUploader(TPictureQueue& queue, QObject* parent)
    : TFtpUploader(queue, TransferLimits{}, parent) {}

TFtpUploader::TFtpUploader(TPictureQueue& queue, const TransferLimits& limits, QObject* parent)
    : QObject(parent), FtpQueue(queue), limits_(limits) {
  connect(&tmrFTP, &QTimer::timeout, this, [this] { tmrFTPTimer(); });
}

TFtpUploader::~TFtpUploader() {
  tmrFTP.stop();
  cancel_.Request();
  if (worker_.joinable()) worker_.join();
}

void TFtpUploader::ApplyFtpSettings(const TOption& option) {
  account_ = {option.FTPAddr, option.FTPPort, option.FTPUser, option.FTPPswd};
  if (option.AlarmFTP) {
    tmrFTP.start(std::max(option.FTPSecs, 1) * 1000);
  }
}

QString TFtpUploader::RemoteName(const QString& FTPDir, const QString& path) {
  return FTPDir + QLatin1Char('/') + QFileInfo(path).fileName();
}

void TFtpUploader::tmrFTPTimer(const TOption& option) {
  if (running_ || !option.AlarmFTP || FtpQueue.Count() == 0) return;
  if (worker_.joinable()) worker_.join();  // the last run has ended; only its thread is left
  running_ = true;
  worker_ = std::thread(&TFtpUploader::Run, this, account_, option.FTPDir, option.FTPNums);
}

// Worker thread. Reports reach the UI thread as queued calls, which Qt drops if the uploader
// is gone; the destructor joins this thread, so `this` outlives every line here.
void TFtpUploader::Run(const FtpAccount& account, const QString& FTPDir, int FTPNums) {
  FtpSession session(account, limits_, &cancel_);
  int sent = 0;
  while (sent < FTPNums && !cancel_.Requested()) {
    // Looked up afresh each time: a newer alarm that sorts first is taken in this run.
    const QStringList head = FtpQueue.Peek(1);
    if (head.isEmpty()) break;
    const QString path = head.front();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
      // Deleted or never written: it can never go, and must not hold up the others.
      FtpQueue.Remove(path);
      DebugLog.Write(QStringLiteral("tmrFTPTimer: skipped %1: %2").arg(path, file.errorString()));
      continue;
    }
    const TransferResult result = session.Upload(RemoteName(FTPDir, path), file.readAll());
    if (!result.ok) {
      // The picture stays first in the queue for the next run.
      DebugLog.Write(QStringLiteral("tmrFTPTimer异常:") + result.error);
      break;
    }
    FtpQueue.Remove(path);
    ++sent;
    QMetaObject::invokeMethod(this, [this, path] { emit PictureUploaded(path); }, Qt::QueuedConnection);
  }
  QMetaObject::invokeMethod(
      this,
      [this] {
        running_ = false;
        emit RunFinished();
      },
      Qt::QueuedConnection);
}

}  // namespace vigil
