// Sound inputs (PulseAudio sources, then ALSA devices) and a capture thread reading one.
#pragma once

#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/capture/AviRecorder.h"

namespace vigil::capture {

struct AudioInputInfo {
  std::string format;  // "pulse" or "alsa"
  std::string device;
  QString description;
};

// In the order the "AudioIdx" setting counts them.
std::vector<AudioInputInfo> ListAudioInputs();

// Reads interleaved 16-bit samples from one input on its own thread and hands each block
// to `sink` (called on that thread).
class AudioCapture {
 public:
  using Sink = std::function<void(const uint8_t* samples, int bytes)>;
  // Null with a message when the input cannot be opened.
  static std::unique_ptr<AudioCapture> Open(const AudioInputInfo& input, Sink sink, std::string& error);
  ~AudioCapture();
  AudioCapture(const AudioCapture&) = delete;
  AudioCapture& operator=(const AudioCapture&) = delete;

  const AudioFormat& format() const { return format_; }

 private:
  AudioCapture() = default;
  void Run();
  static int Interrupt(void* opaque);

  AVFormatContext* input_ = nullptr;
  Sink sink_;
  AudioFormat format_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace vigil::capture
