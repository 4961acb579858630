#include "app/SendEmailThread.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <climits>

#include "settings/DebugLog.h"

namespace vigil {
namespace {

constexpr int kSendPictures = 1;
// With "EmailSecs" 0 the rounds would follow each other without a pause.
constexpr int kMinPauseMs = 1000;
// The address and notice senders both connect with this limit.
constexpr int kConnectTimeoutMs = 2000;
constexpr const char* kMailer = "Tavik监控邮件发送器";

TransferLimits MailLimits() {
  TransferLimits limits;
  limits.connectTimeoutMs = kConnectTimeoutMs;
  return limits;
}

}  // namespace

TSendEmailThread::TSendEmailThread(TPictureQueue& queue, const TOption& option, QObject* parent)
    : TSendEmailThread(queue, option, MailLimits(), parent) {}

TSendEmailThread::TSendEmailThread(TPictureQueue& queue, const TOption& option,
                                   const TransferLimits& limits, QObject* parent)
    : QThread(parent),
      MailQueue(queue),
      settings_{option.AlarmEmail, option.EmailMode, option.EmailSecs, option.EmailPics},
      // The built-in account arrives with EmailParity off and no user; an own account with a
      // user name logs in even when the box was left unticked, as it always did.
      account_{option.SMTPAddr, option.SMTPPort, option.EmailUser, option.EmailPswd,
               option.EmailParity || !option.EmailUser.isEmpty()},
      limits_(limits) {
  Message.from = option.FromEmail;
  Message.to = option.EmailTo;
  Message.subject = option.EmailSubject;
  Message.body = option.EmailSubject;
  Message.mailer = QString::fromUtf8(kMailer);
}

TSendEmailThread::~TSendEmailThread() { Stop(); }

void TSendEmailThread::Stop() {
  {
    std::lock_guard lock(pauseMutex_);
    stopping_ = true;
  }
  pauseWake_.notify_all();
  cancel_.Request();
  wait();
}

void TSendEmailThread::run() {
  const auto interval = std::chrono::seconds(std::max(settings_.EmailSecs, 0));
  const auto pause = std::chrono::milliseconds(
      settings_.EmailSecs > 0 ? settings_.EmailSecs * 1000 / 3 : kMinPauseMs);
  while (!stopping_) {
    {
      std::unique_lock lock(pauseMutex_);
      pauseWake_.wait_for(lock, pause, [this] { return stopping_.load(); });
    }
    if (stopping_) break;
    const auto now = std::chrono::steady_clock::now();
    if (LastSend && *LastSend + interval > now) continue;
    SendPending();
    LastSend = now;
  }
}

void TSendEmailThread::SendPending() {
  if (!settings_.AlarmEmail) return;
  const QStringList queued = MailQueue.Peek(INT_MAX);
  if (queued.isEmpty()) return;

  // Pictures leave the queue only once the server has them, so a failed sending loses none.
  QStringList sending;
  Message.attachments.clear();
  if (settings_.EmailMode == kSendPictures) {
    const int most = std::max(settings_.EmailPics, 1);
    for (const QString& path : queued) {
      if (Message.attachments.size() >= static_cast<size_t>(most)) break;
      QFile file(path);
      if (!file.open(QIODevice::ReadOnly)) {
        // A picture whose capture failed or that was deleted can never go: drop it.
        MailQueue.Remove(path);
        DebugLog.Write(QStringLiteral("SendPending: skipped %1: %2").arg(path, file.errorString()));
        continue;
      }
      Message.attachments.push_back({QFileInfo(path).fileName(), file.readAll()});
      sending << path;
    }
    if (sending.isEmpty()) return;
  } else {
    sending = queued;  // a notice for everything queued since the last one
  }

  const TransferResult result = SendMail(account_, Message, limits_, &cancel_);
  Message.attachments.clear();
  if (!result.ok) {
    DebugLog.Write(QStringLiteral("SendPending异常:") + result.error);
    return;
  }
  for (const QString& path : sending) MailQueue.Remove(path);
  emit MailSent(settings_.EmailMode == kSendPictures ? static_cast<int>(sending.size()) : 0);
}

}  // namespace vigil
