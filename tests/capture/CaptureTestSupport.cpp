#include "CaptureTestSupport.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QThread>
#include <memory>

#include "QtTestApp.h"
#include "platform/capture/VirtualCamera.h"

namespace vigil::test {

std::vector<StreamProbe> Probe(const std::filesystem::path& file, std::string* log) {
  QProcess p;
  p.start(QStringLiteral("ffprobe"),
          {"-v", "error", "-count_frames", "-show_entries",
           "stream=codec_name,codec_tag_string,codec_type,width,height,r_frame_rate,nb_read_frames,nb_read_packets",
           "-of", "json", QString::fromStdString(file.string())});
  p.waitForFinished(120000);
  if (log) *log = p.readAllStandardError().toStdString();
  std::vector<StreamProbe> out;
  if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) return out;
  const QJsonArray streams = QJsonDocument::fromJson(p.readAllStandardOutput())["streams"].toArray();
  for (const auto& v : streams) {
    QJsonObject s = v.toObject();
    StreamProbe sp;
    sp.codec = s["codec_name"].toString().toStdString();
    sp.tag = s["codec_tag_string"].toString().toStdString();
    sp.type = s["codec_type"].toString().toStdString();
    sp.width = s["width"].toInt();
    sp.height = s["height"].toInt();
    sp.rate = s["r_frame_rate"].toString().toStdString();
    QString count = s[sp.type == "video" ? "nb_read_frames" : "nb_read_packets"].toString();
    sp.frames = count.isEmpty() ? -1 : count.toLongLong();
    out.push_back(sp);
  }
  return out;
}

const StreamProbe* VideoStream(const std::vector<StreamProbe>& streams) {
  for (const auto& s : streams)
    if (s.type == "video") return &s;
  return nullptr;
}

std::vector<long long> DecodeCounters(const std::filesystem::path& file, int width, int height) {
  QProcess p;
  p.start(QStringLiteral("ffmpeg"), {"-v", "error", "-i", QString::fromStdString(file.string()), "-f", "rawvideo",
                                     "-pix_fmt", "bgr24", "-s", QStringLiteral("%1x%2").arg(width).arg(height), "-"});
  p.waitForFinished(120000);
  QByteArray raw = p.readAllStandardOutput();
  const qsizetype frameBytes = static_cast<qsizetype>(width) * height * 3;
  std::vector<long long> counters;
  for (qsizetype off = 0; off + frameBytes <= raw.size(); off += frameBytes)
    counters.push_back(capture::ReadBurntCounter(reinterpret_cast<const uint8_t*>(raw.constData() + off), width,
                                                 height, width * 3));
  return counters;
}

bool WaitUntil(const std::function<bool()>& done, int timeout_ms) { return WaitFor(done, timeout_ms); }

}  // namespace vigil::test
