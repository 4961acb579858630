// The process-wide debug log and the tray message tip.
#pragma once

#include <QString>
#include <atomic>
#include <functional>
#include <mutex>

namespace vigil {

// Writes "<prefix>: <thread id>: <text>" as one line to standard error with one write(2),
// so lines of different threads never mix.
class TVigilLog {
 public:
  TVigilLog();

  // Only while "EnDebug" is on (read at each call) or the build forces the log on.
  void Write(const QString& text);
  // Always.
  void WriteTagged(const QString& tag, const QString& text);

  // "VIGIL" after construction; the network start sets "VIGILS".
  void SetPrefix(const QString& prefix);
  QString Prefix() const;

  // Debug builds of the program turn the log on whatever "EnDebug" says.
  void SetForceOn(bool on) { forceOn_ = on; }
  // Where the lines go (standard error unless a test says otherwise).
  void SetFd(int fd) { fd_ = fd; }

 private:
  void Emit(const QString& first, const QString& text);

  mutable std::mutex prefixMutex_;
  QString prefix_;
  std::atomic<bool> forceOn_{false};
  std::atomic<int> fd_{2};
};

extern TVigilLog DebugLog;

// Shows a tip to the user; the main window installs one (tray balloon, desktop notification
// or in-window tip). Called on the UI thread only.
using TipPresenter = std::function<void(const QString& title, const QString& text)>;

class TMsgTip {
 public:
  static constexpr int kMaxTitle = 63;
  static constexpr int kMaxText = 255;
  static constexpr int kShowMs = 10'000;

  // Logs "title: text" through DebugLog.Write, then, when "MsgTip" is on, shows the tip with
  // the title cut to 63 and the text to 255 characters.
  static void ShowTip(const QString& title, const QString& text);
  static void SetPresenter(TipPresenter presenter);
};

}  // namespace vigil
