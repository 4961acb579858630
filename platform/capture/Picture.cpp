#include "platform/capture/Picture.h"

#include <turbojpeg.h>

#include <QImage>
#include <QSaveFile>
#include <algorithm>

namespace vigil::capture {

JpegEncoder::JpegEncoder() : handle_(tjInitCompress()) {}
JpegEncoder::~JpegEncoder() {
  if (handle_) tjDestroy(handle_);
}

bool JpegEncoder::Encode(const Frame& frame, int quality, std::vector<uint8_t>& out, std::string& error) {
  if (!handle_) {
    error = "JPEG compressor not available";
    return false;
  }
  unsigned char* buf = nullptr;
  unsigned long size = 0;
  int rc = tjCompress2(handle_, frame.data(), frame.width, frame.stride(), frame.height, TJPF_BGR, &buf, &size,
                       TJSAMP_420, std::clamp(quality, 1, 100), TJFLAG_FASTDCT);
  if (rc != 0) {
    error = tjGetErrorStr2(handle_);
    tjFree(buf);
    return false;
  }
  out.assign(buf, buf + size);
  tjFree(buf);
  return true;
}

bool WritePicture(const Frame& frame, const std::filesystem::path& file, PictureFormat format, int quality,
                  JpegEncoder& jpeg, std::string& error) {
  QSaveFile out(QString::fromStdString(file.string()));
  if (!out.open(QIODevice::WriteOnly)) {
    error = "cannot create " + file.string() + ": " + out.errorString().toStdString();
    return false;
  }
  if (format == PictureFormat::Jpeg) {
    std::vector<uint8_t> bytes;
    if (!jpeg.Encode(frame, quality, bytes, error)) return false;
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
  } else {
    QImage image(frame.data(), frame.width, frame.height, frame.stride(), QImage::Format_BGR888);
    if (!image.save(&out, "BMP")) {
      error = "cannot write " + file.string() + ": " + out.errorString().toStdString();
      return false;
    }
  }
  if (!out.commit()) {
    error = "cannot write " + file.string() + ": " + out.errorString().toStdString();
    return false;
  }
  return true;
}

}  // namespace vigil::capture
