// Helpers of the capture tests: a GUI application for text rendering, ffprobe and ffmpeg
// run on the files the tests write.
#pragma once

#include <QString>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace vigil::test {

struct StreamProbe {
  std::string codec;   // codec_name
  std::string tag;     // codec_tag_string
  std::string type;    // video / audio
  int width = 0, height = 0;
  std::string rate;    // r_frame_rate
  long long frames = -1;  // nb_read_frames (video) or packets read (audio)
};

// Every stream of the file as ffprobe decodes it; empty when ffprobe rejects the file.
// `log` receives ffprobe's error output.
std::vector<StreamProbe> Probe(const std::filesystem::path& file, std::string* log = nullptr);
const StreamProbe* VideoStream(const std::vector<StreamProbe>& streams);

// The burnt counters of every frame of a recording, decoded with ffmpeg.
std::vector<long long> DecodeCounters(const std::filesystem::path& file, int width, int height);

// Runs the Qt event loop until `done` or the time-out; true when done.
bool WaitUntil(const std::function<bool()>& done, int timeout_ms = 15000);

}  // namespace vigil::test
