#include "DebugLog.h"

#include <cerrno>
#include <sys/syscall.h>
#include <unistd.h>

#include "settings/Options.h"

namespace vigil {

TVigilLog DebugLog;

namespace {
TipPresenter& Presenter() {
  static TipPresenter p;
  return p;
}
}  // namespace

TVigilLog::TVigilLog() : prefix_(QStringLiteral("VIGIL")) {}

void TVigilLog::SetPrefix(const QString& prefix) {
  std::lock_guard lock(prefixMutex_);
  prefix_ = prefix;
}

QString TVigilLog::Prefix() const {
  std::lock_guard lock(prefixMutex_);
  return prefix_;
}

void TVigilLog::Write(const QString& text) {
  if (Option.EnDebug || forceOn_) Emit(Prefix(), text);
}

void TVigilLog::WriteTagged(const QString& tag, const QString& text) { Emit(tag, text); }

void TVigilLog::Emit(const QString& first, const QString& text) {
  const auto tid = static_cast<long>(syscall(SYS_gettid));
  QByteArray line = (first + QStringLiteral(": ") + QString::number(tid) + QStringLiteral(": ") +
                     text)
                        .toUtf8();
  // A line break inside the text would split the line.
  line.replace('\n', ' ');
  line.append('\n');
  for (;;) {
    ssize_t n = ::write(fd_, line.constData(), static_cast<size_t>(line.size()));
    if (n >= 0 || errno != EINTR) break;
  }
}

void TMsgTip::ShowTip(const QString& title, const QString& text) {
  DebugLog.Write(title + QStringLiteral(": ") + text);
  if (!Option.MsgTip) return;
  if (TipPresenter& p = Presenter()) p(title.left(kMaxTitle), text.left(kMaxText));
}

void TMsgTip::SetPresenter(TipPresenter presenter) { Presenter() = std::move(presenter); }

}  // namespace vigil
