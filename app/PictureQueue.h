// FtpQueue and MailQueue: alarm-picture paths waiting to be sent, as a sorted set (picture
// names carry their time, so sorted order is oldest first; a path queued twice is kept
// once). Shared between the UI thread and the mail thread under one lock.
#pragma once

#include <QString>
#include <QStringList>
#include <mutex>
#include <set>

namespace vigil {

class TPictureQueue {
 public:
  // False when the path was queued already.
  bool Add(const QString& path);
  // Up to `count` oldest paths, left in the queue.
  QStringList Peek(int count) const;
  // Up to `count` oldest paths, removed from the queue.
  QStringList Take(int count);
  bool Remove(const QString& path);
  int Count() const;
  void Clear();

 private:
  mutable std::mutex mutex_;
  std::set<QString> paths_;
};

}  // namespace vigil
