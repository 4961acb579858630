// One AVI file being written: swscale → encoder → AVI muxer. The file is flushed to the
// system about once a second, so a killed process leaves a file that plays up to then.
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "platform/capture/FfmpegUtil.h"
#include "platform/capture/Frame.h"

namespace vigil::capture {

struct AudioFormat {
  int sample_rate = 48000;
  int channels = 2;  // samples are interleaved signed 16-bit
};

struct RecorderConfig {
  std::filesystem::path file;
  int compressor = 5;
  int width = 640;
  int height = 480;
  double fps = 25.0;
  std::optional<AudioFormat> audio;
};

class AviRecorder {
 public:
  // Empty when the compressor's encoder opens for this picture, else the refusal text.
  static std::string Check(int compressor, int width, int height, double fps);
  // The open recorder, or null with a message; no file is left behind on failure.
  static std::unique_ptr<AviRecorder> Open(const RecorderConfig& config, std::string& error);
  ~AviRecorder();  // closes the file if Close() was not called
  AviRecorder(const AviRecorder&) = delete;
  AviRecorder& operator=(const AviRecorder&) = delete;

  // False with a message when the file can no longer be written (disk full ...); the file
  // is then closed as it stands and every later call fails at once.
  bool WriteVideo(const Frame& frame, std::string& error);
  bool WriteAudio(const uint8_t* samples, int bytes, std::string& error);
  // Drains the encoder and finishes the file (index, sizes).
  bool Close(std::string& error);

  const std::filesystem::path& file() const { return config_.file; }
  int64_t frames() const { return frames_; }

 private:
  explicit AviRecorder(const RecorderConfig& config) : config_(config) {}
  bool Start(std::string& error);
  bool Send(AVFrame* frame, std::string& error);  // null drains
  bool Failed(const std::string& what, int rc, std::string& error);
  void MaybeFlush();

  RecorderConfig config_;
  AVFormatContext* out_ = nullptr;  // owned; freed in the destructor
  CodecContextPtr encoder_;
  SwsPtr sws_;
  AvFramePtr picture_;
  PacketPtr packet_{av_packet_alloc()};
  AVStream* video_ = nullptr;
  AVStream* audio_ = nullptr;
  int64_t frames_ = 0;
  int64_t samples_ = 0;
  bool headerWritten_ = false;
  bool broken_ = false;
  bool closed_ = false;
  std::chrono::steady_clock::time_point lastFlush_;
};

}  // namespace vigil::capture
