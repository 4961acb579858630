#include "platform/capture/Compressors.h"

#include <QStringList>
#include <array>
#include <cmath>

namespace vigil::capture {

namespace {

constexpr std::array kCompressors{
    CompressorInfo{"Uncompressed RGB", "rawvideo", "", AV_PIX_FMT_BGR24, false},
    CompressorInfo{"Motion JPEG", "mjpeg", "MJPG", AV_PIX_FMT_YUVJ420P, true},
    CompressorInfo{"Microsoft MPEG-4 V2", "msmpeg4v2", "MP42", AV_PIX_FMT_YUV420P, true},
    // Takes only the CIF family of sizes (176x144, 352x288, 704x576 ...).
    CompressorInfo{"H.263", "h263", "H263", AV_PIX_FMT_YUV420P, true},
    CompressorInfo{"FFV1 Lossless", "ffv1", "FFV1", AV_PIX_FMT_YUV420P, false},
    CompressorInfo{"XviD MPEG-4 Codec", "mpeg4", "XVID", AV_PIX_FMT_YUV420P, true},
    CompressorInfo{"H.264", "libx264", "H264", AV_PIX_FMT_YUV420P, true},
};

}  // namespace

std::span<const CompressorInfo> Compressors() { return kCompressors; }

const CompressorInfo* FindCompressor(int index) {
  if (index < 0 || index >= static_cast<int>(kCompressors.size())) return nullptr;
  return &kCompressors[static_cast<size_t>(index)];
}

QStringList CompressorNames() {
  QStringList names;
  for (const auto& c : kCompressors) names << QString::fromLatin1(c.name);
  return names;
}

int64_t BitRateFor(int width, int height, double fps) {
  // About 0.15 bit per pixel: 1.15 Mbit/s for 640x480 at 25 frames per second.
  return std::llround(0.15 * width * height * (fps > 0 ? fps : 25.0));
}

}  // namespace vigil::capture
