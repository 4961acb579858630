// Still pictures of frames: JPEG through libjpeg-turbo, BMP through Qt's image writer.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/capture/Frame.h"

namespace vigil::capture {

enum class PictureFormat { Bmp, Jpeg };

// One TurboJPEG compressor, reused for every frame of a channel.
class JpegEncoder {
 public:
  JpegEncoder();
  ~JpegEncoder();
  JpegEncoder(const JpegEncoder&) = delete;
  JpegEncoder& operator=(const JpegEncoder&) = delete;

  // Replaces `out` with a complete JFIF file; false (and `error`) when compression fails.
  bool Encode(const Frame& frame, int quality, std::vector<uint8_t>& out, std::string& error);

 private:
  void* handle_;
};

// Writes the frame to `file` through a temporary file and a rename, so a reader never sees
// half a picture. False with a message when the picture cannot be written.
bool WritePicture(const Frame& frame, const std::filesystem::path& file, PictureFormat format, int quality,
                  JpegEncoder& jpeg, std::string& error);

}  // namespace vigil::capture
