// Capture sources in device-index order: V4L2 capture devices, the extra sources the user
// lists in config.ini, then virtual demo cameras. Each kind is one entry of a small table.
#pragma once

#include <QString>
#include <atomic>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/capture/Frame.h"

namespace vigil::capture {

enum class SourceKind { V4l2, File, Url, Lavfi, Virtual };

// Options of a virtual demo camera.
struct VirtualCameraOptions {
  int index = 1;              // 1-based, picks the scene's colours and motion timing
  bool burn_counter = false;  // draw the frame number as a row of black/white blocks
  // A late frame is skipped (and counted as dropped) as a live camera would; off, every
  // frame is delivered, late ones back to back.
  bool drop_late = true;
  double move_s = 6.0;  // the object moves this long ...
  double rest_s = 6.0;  // ... then rests this long
};

struct SourceInfo {
  SourceKind kind = SourceKind::Virtual;
  QString title;             // shown to the user
  std::string location;      // device node, file, URL or lavfi graph
  VirtualCameraOptions virt;  // virtual cameras only
};

struct CaptureRequest {
  int width = 640;
  int height = 480;
  double fps = 25.0;
};

enum class ReadStatus { Frame, Ended, Failed };

// An opened source. Read() blocks until the next frame is due and delivers it scaled
// (stretched) to the requested size.
class FrameSource {
 public:
  virtual ~FrameSource() = default;
  virtual ReadStatus Read(Frame& frame, std::string& error) = 0;
  virtual double FrameRate() const = 0;
  // Frames the source skipped because the reader fell behind.
  virtual int64_t Dropped() const { return 0; }
};

// One entry per source kind.
struct SourceType {
  SourceKind kind;
  const char* name;
  // Opens the source or returns null with a message. `stop` aborts blocking steps.
  std::unique_ptr<FrameSource> (*open)(const SourceInfo& info, const CaptureRequest& request,
                                       const std::atomic<bool>& stop, std::string& error);
};
const SourceType& SourceTypeOf(SourceKind kind);

inline std::unique_ptr<FrameSource> OpenSource(const SourceInfo& info, const CaptureRequest& request,
                                               const std::atomic<bool>& stop, std::string& error) {
  return SourceTypeOf(info.kind).open(info, request, stop, error);
}

// V4L2 nodes that can capture video, in /dev/videoN order.
std::vector<SourceInfo> ListV4l2Devices(const std::filesystem::path& dev = "/dev");

// An extra source written as "file:PATH" (played in a loop), "lavfi:GRAPH" or a camera URL
// (rtsp://, rtmp://, http://, https://). Nothing for any other text.
std::optional<SourceInfo> ParseExtraSource(const QString& text, const QString& title = {});
// Section "ExtraSources" of config.ini: keys "Source1".."Source9" and optional "Title1"..
std::vector<SourceInfo> ReadExtraSources(const std::filesystem::path& configFile);

SourceInfo VirtualCamera(int index, const QString& title = {});

// Devices, then extras, then `virtualCameras` demo cameras.
std::vector<SourceInfo> ListSources(const std::filesystem::path& configFile, int virtualCameras);

}  // namespace vigil::capture
