#include "platform/capture/Sources.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <array>
#include <stdexcept>

#include "platform/IniFile.h"
#include "platform/UniqueFd.h"
#include "platform/capture/SourceImpl.h"

namespace vigil::capture {

namespace {

constexpr std::array kSourceTypes{
    SourceType{SourceKind::V4l2, "v4l2", OpenFfmpegSource},
    SourceType{SourceKind::File, "file", OpenFfmpegSource},
    SourceType{SourceKind::Url, "url", OpenFfmpegSource},
    SourceType{SourceKind::Lavfi, "lavfi", OpenFfmpegSource},
    SourceType{SourceKind::Virtual, "virtual", OpenVirtualCamera},
};

bool CapturesVideo(const std::filesystem::path& node, QString& card) {
  UniqueFd fd(::open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
  if (!fd) return false;
  v4l2_capability cap{};
  if (::ioctl(fd.get(), VIDIOC_QUERYCAP, &cap) != 0) return false;
  // device_caps describes this node; capabilities the whole device.
  uint32_t caps = (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
  card = QString::fromUtf8(reinterpret_cast<const char*>(cap.card));
  return (caps & (V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_VIDEO_CAPTURE_MPLANE)) != 0;
}

}  // namespace

const SourceType& SourceTypeOf(SourceKind kind) {
  for (const auto& t : kSourceTypes)
    if (t.kind == kind) return t;
  throw std::logic_error("unknown source kind");
}

std::vector<SourceInfo> ListV4l2Devices(const std::filesystem::path& dev) {
  std::vector<std::pair<int, SourceInfo>> found;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dev, ec)) {
    std::string name = entry.path().filename().string();
    if (name.rfind("video", 0) != 0) continue;
    std::string digits = name.substr(5);
    if (digits.empty() || !std::all_of(digits.begin(), digits.end(), ::isdigit)) continue;
    QString card;
    if (!CapturesVideo(entry.path(), card)) continue;
    SourceInfo info;
    info.kind = SourceKind::V4l2;
    info.location = entry.path().string();
    info.title = card.isEmpty() ? QString::fromStdString(name) : card;
    found.emplace_back(std::stoi(digits), std::move(info));
  }
  std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<SourceInfo> out;
  for (auto& f : found) out.push_back(std::move(f.second));
  return out;
}

std::optional<SourceInfo> ParseExtraSource(const QString& text, const QString& title) {
  QString t = text.trimmed();
  SourceInfo info;
  info.title = title.isEmpty() ? t : title;
  auto rest = [&](int prefix) { return t.mid(prefix).trimmed().toStdString(); };
  if (t.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) {
    info.kind = SourceKind::File;
    info.location = rest(5);
  } else if (t.startsWith(QLatin1String("lavfi:"), Qt::CaseInsensitive)) {
    info.kind = SourceKind::Lavfi;
    info.location = rest(6);
  } else {
    static const char* const kSchemes[] = {"rtsp://", "rtmp://", "http://", "https://"};
    bool url = std::any_of(std::begin(kSchemes), std::end(kSchemes), [&](const char* s) {
      return t.startsWith(QLatin1String(s), Qt::CaseInsensitive);
    });
    if (!url) return std::nullopt;
    info.kind = SourceKind::Url;
    info.location = t.toStdString();
  }
  if (info.location.empty()) return std::nullopt;
  return info;
}

std::vector<SourceInfo> ReadExtraSources(const std::filesystem::path& configFile) {
  PrivateProfile ini(configFile);
  const QString section = QStringLiteral("ExtraSources");
  std::vector<SourceInfo> out;
  for (int i = 1; i <= 9; ++i) {
    QString text = ini.ReadString(section, QStringLiteral("Source%1").arg(i), {});
    if (text.isEmpty()) continue;
    QString title = ini.ReadString(section, QStringLiteral("Title%1").arg(i), {});
    if (auto s = ParseExtraSource(text, title)) out.push_back(std::move(*s));
  }
  return out;
}

SourceInfo VirtualCamera(int index, const QString& title) {
  SourceInfo info;
  info.kind = SourceKind::Virtual;
  info.virt.index = index;
  info.title = title.isEmpty() ? QStringLiteral("虚拟摄像头 %1").arg(index) : title;
  return info;
}

std::vector<SourceInfo> ListSources(const std::filesystem::path& configFile, int virtualCameras) {
  std::vector<SourceInfo> out = ListV4l2Devices();
  for (auto& s : ReadExtraSources(configFile)) out.push_back(std::move(s));
  for (int i = 1; i <= virtualCameras; ++i) out.push_back(VirtualCamera(i));
  return out;
}

}  // namespace vigil::capture
