#include "AlertSendersFacet.h"

#include "app/MainForm.h"
#include "app/StationState.h"

namespace vigil {

TAlertSendersFacet::TAlertSendersFacet(TfrmMain& main) : TMainFacet(main), ftp_(FtpQueue, &main) {
  QObject::connect(&ftp_, &TFtpUploader::PictureUploaded, &main, [] { ++UploadCount; });
}

// The thread and the uploader go before the queues they use (which live for the process).
TAlertSendersFacet::~TAlertSendersFacet() { mailSender_.reset(); }

void TAlertSendersFacet::FormCreate(TCreateStage stage) {
  if (stage == TCreateStage::Settings) ftp_.ApplyFtpSettings();
  if (stage == TCreateStage::Services) RestartMailSender();
}

void TAlertSendersFacet::FormDestroy(TDestroyStage stage) {
  if (stage == TDestroyStage::Services) mailSender_.reset();
}

void TAlertSendersFacet::Notified(TNotification n) {
  if (n != WM_ALARM_SETTINGS_CHANGED) return;
  ftp_.ApplyFtpSettings();
  RestartMailSender();
}

void TAlertSendersFacet::RestartMailSender() {
  mailSender_.reset();  // stops the old thread and waits for it, even in mid-send
  if (!Option.AlarmEmail) return;
  mailSender_ = std::make_unique<TSendEmailThread>(MailQueue);
  QObject::connect(mailSender_.get(), &TSendEmailThread::MailSent, &main_, [] { ++MailCount; });
  mailSender_->start();
}

}  // namespace vigil
