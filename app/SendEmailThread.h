// TSendEmailThread: mails the alarm pictures of MailQueue in the background, at most one mail
// every "EmailSecs" seconds with up to "EmailPics" pictures (or a notice without pictures).
//
// The owner connects MailSent (queued, so it lands on the UI thread) to count MailCount,
// calls start(), and destroys the thread to end it: the destructor cuts off a pause or a
// sending at once and waits for the thread.
#pragma once

#include <QThread>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>

#include "app/PictureQueue.h"
#include "platform/MailSender.h"
#include "platform/Transfer.h"
#include "settings/Options.h"

namespace vigil {

class TSendEmailThread final : public QThread {
  Q_OBJECT

 public:
  // Takes the e-mail settings of `option` now, on the caller's (UI) thread: the thread never
  // reads Option while the dialogs may write it; changed settings arrive through a new thread.
  explicit TSendEmailThread(TPictureQueue& MailQueue, const TOption& option = Option,
                            QObject* parent = nullptr);
  // Test hook: shorter limits than the real ones.
  TSendEmailThread(TPictureQueue& MailQueue, const TOption& option, const TransferLimits& limits,
                   QObject* parent = nullptr);
  ~TSendEmailThread() override;

  // Asks the thread to end and waits for it; safe to call twice.
  void Stop();

  // One sending; run by the thread, public for tests that drive it without the pauses.
  void SendPending();

 signals:
  // After the server took a mail; `pictures` attached to it.
  void MailSent(int pictures);

 protected:
  void run() override;

 private:
  struct Settings {
    bool AlarmEmail = false;
    int EmailMode = 1;
    int EmailSecs = 60;
    int EmailPics = 10;
  };

  TPictureQueue& MailQueue;
  const Settings settings_;
  const SmtpAccount account_;
  MailMessage Message;  // composed once; the attachments change per sending
  const TransferLimits limits_;
  std::optional<std::chrono::steady_clock::time_point> LastSend;

  std::mutex pauseMutex_;
  std::condition_variable pauseWake_;
  std::atomic<bool> stopping_{false};
  TransferCancel cancel_;
};

}  // namespace vigil
