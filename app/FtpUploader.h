// FTP upload of the alarm pictures in FtpQueue: every "FTPSecs" seconds tmrFTP starts a run
// that sends up to "FTPNums" of the oldest pictures to "FTPDir" + "/" + file name.
//
// A run talks to the server on a worker thread so that a slow or dead server never freezes
// the window; runs never overlap (a tick during a run does nothing) and take the queue in the
// same order as before. The owner calls ApplyFtpSettings() at start and after the alarm
// settings change, and connects PictureUploaded to count UploadCount (it arrives on the UI
// thread). Destroying the uploader cuts a run off and waits for its thread.
#pragma once

#include <QObject>
#include <QTimer>
#include <thread>

#include "app/PictureQueue.h"
#include "platform/FtpClient.h"
#include "platform/Transfer.h"
#include "settings/Options.h"

namespace vigil {

class TFtpUploader final : public QObject {
  Q_OBJECT

 public:
  explicit TFtpUploader(TPictureQueue& FtpQueue, QObject* parent = nullptr);
  // Test hook: shorter limits than the real ones.
  TFtpUploader(TPictureQueue& FtpQueue, const TransferLimits& limits, QObject* parent = nullptr);
  ~TFtpUploader() override;

  // Takes the account from `option`; with "FTP" alarms on, (re)starts tmrFTP with the period
  // "FTPSecs". A run in progress finishes with the account it started with.
  void ApplyFtpSettings(const TOption& option = Option);

  // One upload run; returns at once. Reads "FTP", "FTPNums" and "FTPDir" now.
  void tmrFTPTimer(const TOption& option = Option);

  bool Running() const { return running_; }
  QTimer tmrFTP;

  // "FTPDir" + "/" + the file name of `path`, the folder used as stored.
  static QString RemoteName(const QString& FTPDir, const QString& path);

 signals:
  void PictureUploaded(const QString& path);
  void RunFinished();

 private:
  void Run(const FtpAccount& account, const QString& FTPDir, int FTPNums);

  TPictureQueue& FtpQueue;
  const TransferLimits limits_;
  FtpAccount account_;
  bool running_ = false;  // UI thread only
  TransferCancel cancel_;
  std::thread worker_;
};

}  // namespace vigil
