#include "platform/capture/V4l2Controls.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vigil::capture {

namespace {

QString SystemError(const char* step) {
  return QStringLiteral("%1: %2").arg(QString::fromLatin1(step), QString::fromLocal8Bit(std::strerror(errno)));
}

int Ioctl(int fd, unsigned long request, void* arg) {
  int r;
  do r = ::ioctl(fd, request, arg);
  while (r == -1 && errno == EINTR);
  return r;
}

QString Name(const uint8_t* text, size_t size) {
  return QString::fromUtf8(reinterpret_cast<const char*>(text), static_cast<int>(strnlen(reinterpret_cast<const char*>(text), size)));
}

}  // namespace

std::unique_ptr<V4l2Device> V4l2Device::Open(const std::filesystem::path& node, QString& error) {
  UniqueFd fd(::open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
  if (!fd) {
    error = SystemError(node.c_str());
    return nullptr;
  }
  return std::make_unique<V4l2Device>(std::move(fd));
}

std::vector<V4l2Control> V4l2Device::Controls(QString& error) const {
  std::vector<V4l2Control> controls;
  v4l2_queryctrl q{};
  q.id = V4L2_CTRL_FLAG_NEXT_CTRL;
  while (Ioctl(fd_.get(), VIDIOC_QUERYCTRL, &q) == 0) {
    const uint32_t id = q.id;
    q.id |= V4L2_CTRL_FLAG_NEXT_CTRL;
    if (q.flags & V4L2_CTRL_FLAG_DISABLED) continue;
    V4l2Control c;
    switch (q.type) {
      case V4L2_CTRL_TYPE_INTEGER: c.kind = V4l2Control::Kind::Integer; break;
      case V4L2_CTRL_TYPE_BOOLEAN: c.kind = V4l2Control::Kind::Boolean; break;
      case V4L2_CTRL_TYPE_MENU:
      case V4L2_CTRL_TYPE_INTEGER_MENU: c.kind = V4l2Control::Kind::Menu; break;
      case V4L2_CTRL_TYPE_BUTTON: c.kind = V4l2Control::Kind::Button; break;
      default: continue;  // classes, strings, 64-bit and compound controls
    }
    c.id = id;
    c.name = Name(q.name, sizeof q.name);
    c.minimum = q.minimum;
    c.maximum = q.maximum;
    c.step = q.step > 0 ? q.step : 1;
    c.defaultValue = q.default_value;
    c.readOnly = (q.flags & (V4L2_CTRL_FLAG_READ_ONLY | V4L2_CTRL_FLAG_GRABBED)) != 0;
    if (c.kind == V4l2Control::Kind::Menu) {
      for (int32_t v = q.minimum; v <= q.maximum; ++v) {
        v4l2_querymenu m{};
        m.id = id;
        m.index = static_cast<uint32_t>(v);
        if (Ioctl(fd_.get(), VIDIOC_QUERYMENU, &m) != 0) continue;
        c.menu.emplace_back(v, q.type == V4L2_CTRL_TYPE_MENU ? Name(m.name, sizeof m.name)
                                                               : QString::number(m.value));
      }
    }
    if (c.kind != V4l2Control::Kind::Button) {
      QString ignored;
      if (!Get(id, c.value, ignored)) c.value = c.defaultValue;
    }
    controls.push_back(std::move(c));
  }
  if (errno != EINVAL && controls.empty()) error = SystemError("VIDIOC_QUERYCTRL");
  return controls;
}

bool V4l2Device::Get(uint32_t id, int32_t& value, QString& error) const {
  v4l2_control c{};
  c.id = id;
  if (Ioctl(fd_.get(), VIDIOC_G_CTRL, &c) != 0) {
    error = SystemError("VIDIOC_G_CTRL");
    return false;
  }
  value = c.value;
  return true;
}

bool V4l2Device::Set(uint32_t id, int32_t value, QString& error) {
  v4l2_control c{};
  c.id = id;
  c.value = value;
  if (Ioctl(fd_.get(), VIDIOC_S_CTRL, &c) != 0) {
    error = SystemError("VIDIOC_S_CTRL");
    return false;
  }
  return true;
}

}  // namespace vigil::capture
