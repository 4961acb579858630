// The controls a V4L2 device offers (brightness, contrast, exposure ...): listed, read and
// set through the device's ioctls, for the channel's device settings dialog.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "platform/UniqueFd.h"

namespace vigil::capture {

struct V4l2Control {
  enum class Kind { Integer, Boolean, Menu, Button };
  uint32_t id = 0;
  QString name;
  Kind kind = Kind::Integer;
  int32_t minimum = 0, maximum = 0, step = 1, defaultValue = 0;
  int32_t value = 0;
  bool readOnly = false;
  // Menu entries by value (empty texts for values the driver skips).
  std::vector<std::pair<int32_t, QString>> menu;
};

// An opened device node. Open() is null with a message when the node cannot be opened.
class V4l2Device {
 public:
  static std::unique_ptr<V4l2Device> Open(const std::filesystem::path& node, QString& error);
  explicit V4l2Device(UniqueFd fd) : fd_(std::move(fd)) {}

  // The user controls, disabled and unsupported kinds left out, with their current values.
  std::vector<V4l2Control> Controls(QString& error) const;
  bool Set(uint32_t id, int32_t value, QString& error);
  bool Get(uint32_t id, int32_t& value, QString& error) const;

 private:
  UniqueFd fd_;
};

}  // namespace vigil::capture
