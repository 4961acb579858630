// The video compressors a recording can use: one table, indexed by the "压缩格式" setting.
#pragma once

#include <QString>
#include <span>

extern "C" {
#include <libavutil/pixfmt.h>
}

namespace vigil::capture {

struct CompressorInfo {
  const char* name;       // shown to the user
  const char* encoder;    // FFmpeg encoder name
  const char* fourcc;     // AVI stream handler; "" keeps the encoder's own (DIB for raw)
  AVPixelFormat pixfmt;   // what the encoder is fed
  bool lossy;             // takes a bit rate
};

// Index 5 is the MPEG-4 Part 2 encoder that the defaults and the wizard choose.
std::span<const CompressorInfo> Compressors();
inline constexpr int kXvidCompressor = 5;

// Nothing when the index is out of range.
const CompressorInfo* FindCompressor(int index);
QStringList CompressorNames();

// The bit rate every lossy compressor is given for a picture of that size and rate.
int64_t BitRateFor(int width, int height, double fps);

}  // namespace vigil::capture
