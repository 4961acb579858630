// The alarm-picture senders of the running station: the alert e-mail thread and the FTP
// uploader, set up at start and again when the alarm settings change.
#pragma once

#include <memory>

#include "app/FtpUploader.h"
#include "app/MainFacet.h"
#include "app/SendEmailThread.h"

namespace vigil {

class TAlertSendersFacet final : public TMainFacet {
 public:
  explicit TAlertSendersFacet(TfrmMain& main);
  ~TAlertSendersFacet() override;

  void FormCreate(TCreateStage stage) override;
  void FormDestroy(TDestroyStage stage) override;
  void Notified(TNotification n) override;

  // Ends the mail thread and starts a new one with the settings of now, when e-mail alarms
  // are on.
  void RestartMailSender();
  TSendEmailThread* MailSender() const { return mailSender_.get(); }
  TFtpUploader& Ftp() { return ftp_; }

 private:
  TFtpUploader ftp_;
  std::unique_ptr<TSendEmailThread> mailSender_;
};

}  // namespace vigil
