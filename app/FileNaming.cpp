#include "app/FileNaming.h"

#include <QDir>

#include "settings/DebugLog.h"

namespace vigil {

namespace {

QString Day(TDateTime t) { return FormatDateTime(QStringLiteral("yyyymmdd"), t); }

QString Stem(const TOption& option, TDateTime t, const QString& kind, const Clock& clock,
             const std::filesystem::path& configFile) {
  if (option.FileNameMode == 1) return FormatDateTime(QStringLiteral("hhnnss"), t);
  return NextSequenceName(kind, clock, configFile);
}

}  // namespace

QString NextSequenceName(const QString& kind, const Clock& clock, const std::filesystem::path& configFile) {
  const bool pictures = kind == QLatin1String("PIC");
  const TDateTime t = clock.Now();
  const QString counter = pictures ? ReadPictureCounter(configFile) : ReadFileCounter(configFile);
  const QString today = Day(t);
  QString next = QStringLiteral("0001");
  if (counter.left(8) == today) {
    bool ok = false;
    int value = (QStringLiteral("0") + counter.mid(8, 4)).toInt(&ok);
    if (ok && counter.mid(8, 4).size() == 4) {
      next = (QStringLiteral("0000") + QString::number(value + 1)).right(4);
    } else {
      // A damaged counter must not stop every recording of the day: count on from 0001.
      DebugLog.Write(QStringLiteral("序号计数器无效，从0001重新计数：") + counter);
    }
  }
  if (pictures)
    WritePictureCounter(today + next, configFile);
  else
    WriteFileCounter(today + next, configFile);
  return next;
}

QString MakeDayFolder(const QString& base, TDateTime t) {
  const QString folder = base + Day(t) + QLatin1Char('/');
  QDir dir(folder);
  // Missing parents too: a picture folder deleted by hand (or not made yet) must not lose
  // every alarm picture from then on.
  if (!dir.exists() && !QDir().mkpath(folder))
    throw DayFolderError(("cannot create folder " + folder).toStdString());
  return folder;
}

QString RecordingFileName(const TOption& option, int channel, TDateTime t, const Clock& clock,
                          const std::filesystem::path& configFile) {
  const QString folder = MakeDayFolder(option.VideoPath, t);
  return folder + Stem(option, t, QStringLiteral("AVI"), clock, configFile) +
         QStringLiteral("(%1).AVI").arg(channel);
}

QString AlarmPictureFileName(const TOption& option, int channel, TDateTime t, const Clock& clock,
                             const std::filesystem::path& configFile) {
  const QString folder = MakeDayFolder(option.PicPath, t);
  return folder + Stem(option, t, QStringLiteral("PIC"), clock, configFile) +
         QStringLiteral("(%1)").arg(channel) + (option.PicFormat == 0 ? ".BMP" : ".JPG");
}

QString SnapshotBaseName(const QString& photoPath, TDateTime t, int channel) {
  return photoPath + FormatDateTime(QStringLiteral("yyyymmddhhnnss"), t) + QStringLiteral("(%1)").arg(channel);
}

QString SnapshotFileName(const QString& base, int k, int photoFormat) {
  return base + QStringLiteral("-%1").arg(k) + (photoFormat == 0 ? ".BMP" : ".JPG");
}

}  // namespace vigil
