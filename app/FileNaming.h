// Names and folders of everything the station writes: recordings and alarm pictures in day
// folders, snapshots in the snapshot folder, and the two daily sequence counters.
#pragma once

#include <QString>
#include <filesystem>
#include <stdexcept>

#include "platform/DateTime.h"
#include "settings/Options.h"

namespace vigil {

// A day folder that could not be created; what() names it and the reason.
class DayFolderError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The next 4-digit value of today's sequence: kind "PIC" counts alarm pictures, any other
// kind recordings. Reads and writes the counter in config.ini at every call.
QString NextSequenceName(const QString& kind, const Clock& clock,
                         const std::filesystem::path& configFile = ConfigFilePath());

// base + yyyymmdd + "/", created with any missing parents; throws DayFolderError.
QString MakeDayFolder(const QString& base, TDateTime t);

// Day folder below VideoPath + hhnnss(n).AVI ("文件名命名模式" 1) or NNNN(n).AVI.
QString RecordingFileName(const TOption& option, int channel, TDateTime t, const Clock& clock,
                          const std::filesystem::path& configFile = ConfigFilePath());
// Day folder below PicPath + hhnnss(n) or NNNN(n), ".BMP" when PicFormat is 0 else ".JPG".
QString AlarmPictureFileName(const TOption& option, int channel, TDateTime t, const Clock& clock,
                             const std::filesystem::path& configFile = ConfigFilePath());

// PhotoPath + yyyymmddhhnnss(n): the shared start of a burst's names.
QString SnapshotBaseName(const QString& photoPath, TDateTime t, int channel);
// base + "-" + k + ".BMP" when PhotoFormat is 0, else ".JPG".
QString SnapshotFileName(const QString& base, int k, int photoFormat);

}  // namespace vigil
