#include "DiskPolicy.h"

#include <QRegularExpression>
#include <QString>
#include <algorithm>
#include <vector>

namespace vigil {
namespace {

namespace fs = std::filesystem;

bool IsDayFolderName(const QString& name) {
  static const QRegularExpression re(QStringLiteral("^\\d{8}$"));
  return re.match(name).hasMatch();
}

bool IsStationFileName(const QString& name, bool recordings) {
  static const QRegularExpression video(QStringLiteral("^(\\d{6}|\\d{4})\\(\\d\\)\\.AVI$"));
  static const QRegularExpression picture(QStringLiteral("^(\\d{6}|\\d{4})\\(\\d\\)\\.(BMP|JPG)$"));
  return (recordings ? video : picture).match(name).hasMatch();
}

QString NameOf(const fs::path& p) { return QString::fromStdString(p.filename().string()); }

std::optional<fs::path> OldestIn(const fs::path& base, bool recordings, const std::set<fs::path>& inUse) {
  std::error_code ec;
  std::vector<fs::path> days;
  for (const auto& e : fs::directory_iterator(base, ec))
    if (e.is_directory(ec) && !e.is_symlink(ec) && IsDayFolderName(NameOf(e.path()))) days.push_back(e.path());
  std::sort(days.begin(), days.end());
  for (const fs::path& day : days) {
    std::optional<fs::path> best;
    fs::file_time_type bestTime;
    for (const auto& e : fs::directory_iterator(day, ec)) {
      if (!e.is_regular_file(ec) || e.is_symlink(ec) || !IsStationFileName(NameOf(e.path()), recordings) ||
          inUse.count(e.path().lexically_normal()))
        continue;
      auto t = e.last_write_time(ec);
      if (ec) continue;
      if (!best || t < bestTime || (t == bestTime && e.path() < *best)) {
        best = e.path();
        bestTime = t;
      }
    }
    if (best) return best;
  }
  return std::nullopt;
}

}  // namespace

std::optional<fs::path> OldestStationFile(const fs::path& videoPath, const fs::path& picPath,
                                          const std::set<fs::path>& inUse) {
  std::set<fs::path> normal;
  for (const fs::path& p : inUse) normal.insert(p.lexically_normal());
  if (auto v = OldestIn(videoPath, true, normal)) return v;
  return OldestIn(picPath, false, normal);
}

std::optional<fs::path> DeleteOldestStationFile(const fs::path& videoPath, const fs::path& picPath,
                                                const std::set<fs::path>& inUse) {
  auto victim = OldestStationFile(videoPath, picPath, inUse);
  std::error_code ec;
  if (!victim || !fs::remove(*victim, ec)) return std::nullopt;
  fs::remove(victim->parent_path(), ec);  // only succeeds when the day folder is empty now
  return victim;
}

}  // namespace vigil
