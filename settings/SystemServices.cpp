#include "SystemServices.h"

#include <QFile>
#include <QSaveFile>
#include <cstdlib>
#include <mutex>
#include <sstream>

#include "platform/Shell.h"
#include "settings/DebugLog.h"

namespace vigil {
namespace {

std::mutex gFolderMutex;
std::filesystem::path gProgramFolder;

ShutdownHandler& Handler() {
  static ShutdownHandler h;
  return h;
}

bool DefaultShutdown(int flags) {
  if (const char* log = std::getenv("VIGIL_SHUTDOWN_LOG"); log && *log) {
    QFile f(QString::fromLocal8Bit(log));
    if (!f.open(QIODevice::Append)) return false;
    f.write(QStringLiteral("poweroff flags=%1\n").arg(flags).toUtf8());
    return true;
  }
  QString error;
  if (RequestPowerOff(&error)) return true;
  DebugLog.Write(QStringLiteral("ShutdownComputer异常:") + error);
  return false;
}

}  // namespace

ProgramFolderChoice ChooseProgramFolder(const char* vigilHome, const std::filesystem::path& exeFolder,
                                        const std::function<bool(const std::filesystem::path&)>& writable,
                                        const std::filesystem::path& dataFolder) {
  if (vigilHome && *vigilHome) return {std::filesystem::path(vigilHome) / "", {}};
  if (writable(exeFolder)) return {exeFolder / "", {}};
  return {dataFolder / "",
          QStringLiteral("program folder %1 cannot be written; settings and recordings go to %2")
              .arg(QString::fromStdString(exeFolder.string()),
                   QString::fromStdString(dataFolder.string()))};
}

std::filesystem::path ProgramFolder() {
  std::lock_guard lock(gFolderMutex);
  if (!gProgramFolder.empty()) return gProgramFolder;
  ProgramFolderChoice choice =
      ChooseProgramFolder(std::getenv("VIGIL_HOME"), ExecutableFolder(), IsWritableFolder, UserDataFolder());
  std::error_code ec;
  std::filesystem::create_directories(choice.folder, ec);
  // Said whatever "EnDebug" says: the settings that switch the log on live in that folder.
  if (!choice.note.isEmpty()) DebugLog.WriteTagged(DebugLog.Prefix(), choice.note);
  gProgramFolder = choice.folder;
  return gProgramFolder;
}

void ResetProgramFolder() {
  std::lock_guard lock(gFolderMutex);
  gProgramFolder.clear();
}

QString HelpFile() {
  std::error_code ec;
  for (const std::filesystem::path& p :
       {ProgramFolder() / "帮助文件.CHM", ProgramFolder() / "help" / "index.html",
        ExecutableFolder() / "help" / "index.html"}) {
    if (std::filesystem::is_regular_file(p, ec)) return QString::fromStdString(p.string());
  }
  return {};
}

QString OpenHelp() {
  QString file = HelpFile();
  if (!file.isEmpty()) OpenWithDesktop(file);
  return file;
}

std::filesystem::path AutoRunEntryPath() { return AutostartFolder() / "Velmoria.desktop"; }

void SetAutoRun(bool on, const std::filesystem::path& programFile) {
  const std::filesystem::path entry = AutoRunEntryPath();
  std::error_code ec;
  std::filesystem::remove(entry, ec);  // a missing entry or failed removal is ignored
  if (!on) return;
  std::filesystem::path exe = programFile.empty() ? ExecutableFolder() / "vigil" : programFile;
  std::filesystem::create_directories(entry.parent_path(), ec);
  std::ostringstream text;
  // Exec takes a quoted path so that folders with blanks work.
  text << "[Desktop Entry]\nType=Application\nName=Vigil\nExec=\"" << exe.string()
       << "\"\nX-GNOME-Autostart-enabled=true\n";
  QSaveFile f(QString::fromStdString(entry.string()));
  if (!f.open(QIODevice::WriteOnly) || f.write(QByteArray::fromStdString(text.str())) < 0 ||
      !f.commit())
    throw std::runtime_error(f.errorString().toStdString());
}

bool ShutdownComputer(int flags) {
  ShutdownHandler& h = Handler();
  return h ? h(flags) : DefaultShutdown(flags);
}

void SetShutdownHandler(ShutdownHandler handler) { Handler() = std::move(handler); }

QString LocalAddress() { return LocalIPv4(); }

DiskSpaceResult DiskSpace(const std::filesystem::path& path) {
  auto info = QueryDiskSpace(path);
  if (!info) return {};
  return {info->total, info->free};
}

QString NormalizeFolder(const QString& path) {
  QString p = path.trimmed();
  if (!p.isEmpty() && !p.endsWith(QLatin1Char('/'))) p += QLatin1Char('/');
  return p;
}

TCpuSampler::TCpuSampler(Source source) : source_(std::move(source)) {
  if (!source_) source_ = [] { return ReadSmallFile("/proc/stat"); };
}

void TCpuSampler::CollectCpuData() {
  std::istringstream in(source_());
  std::vector<Counters> sample;
  for (std::string line; std::getline(in, line);) {
    // Per-processor lines are "cpuN user nice system idle iowait irq softirq steal ...";
    // the summary line "cpu " is skipped.
    if (line.size() < 4 || line.compare(0, 3, "cpu") != 0 || line[3] < '0' || line[3] > '9')
      continue;
    std::istringstream fields(line.substr(line.find(' ') == std::string::npos ? line.size()
                                                                               : line.find(' ')));
    Counters c;
    uint64_t v = 0;
    for (int k = 0; k < 10 && fields >> v; ++k) {
      if (k == 3 || k == 4) c.idle += v;  // idle and iowait
      if (k < 8) c.total += v;            // guest time is already inside user time
    }
    sample.push_back(c);
  }
  if (sample.empty()) throw CpuUsageError("Unable to locate the \"Processor\" performance object");
  if (cpuCount_ < 0) {
    cpuCount_ = static_cast<int>(sample.size());
    now_.assign(sample.size(), {});
  }
  // Processors that went off line keep their last counters, so they read as no time passed.
  sample.resize(static_cast<size_t>(cpuCount_), Counters{});
  for (size_t i = 0; i < sample.size(); ++i)
    if (sample[i].total == 0) sample[i] = now_[i];
  prev_ = std::exchange(now_, std::move(sample));
}

double TCpuSampler::CpuUsage(int i) {
  if (cpuCount_ < 0) CollectCpuData();
  if (i < 0 || i >= cpuCount_) throw CpuUsageError("CPU index out of bounds");
  const Counters& a = prev_[static_cast<size_t>(i)];
  const Counters& b = now_[static_cast<size_t>(i)];
  // Counters that ran backwards (a processor that came back) count as no time passed.
  if (b.total <= a.total || b.idle < a.idle) return 0.0;
  double busy = 1.0 - static_cast<double>(b.idle - a.idle) / static_cast<double>(b.total - a.total);
  return std::clamp(busy, 0.0, 1.0);
}

TCpuSampler& CpuSampler() {
  static TCpuSampler sampler;
  return sampler;
}

}  // namespace vigil
