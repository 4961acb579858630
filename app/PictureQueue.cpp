#include "PictureQueue.h"

namespace vigil {

bool TPictureQueue::Add(const QString& path) {
  std::lock_guard lock(mutex_);
  return paths_.insert(path).second;
}

QStringList TPictureQueue::Peek(int count) const {
  std::lock_guard lock(mutex_);
  QStringList out;
  for (auto it = paths_.begin(); it != paths_.end() && out.size() < count; ++it) out << *it;
  return out;
}

QStringList TPictureQueue::Take(int count) {
  std::lock_guard lock(mutex_);
  QStringList out;
  while (!paths_.empty() && out.size() < count) out << paths_.extract(paths_.begin()).value();
  return out;
}

bool TPictureQueue::Remove(const QString& path) {
  std::lock_guard lock(mutex_);
  return paths_.erase(path) > 0;
}

int TPictureQueue::Count() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(paths_.size());
}

void TPictureQueue::Clear() {
  std::lock_guard lock(mutex_);
  paths_.clear();
}

}  // namespace vigil
