// Operating-system services for the rest of the station.
#pragma once

#include <QString>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace vigil {

// The folder that holds config.ini, the default folders, WAV/ and the help: VIGIL_HOME when
// set, else the executable's folder, else (when that cannot be written, as for an installed
// package) the per-user data folder, which is created and said once in the debug log.
// Decided at the first call.
std::filesystem::path ProgramFolder();
struct ProgramFolderChoice {
  std::filesystem::path folder;  // with its trailing separator
  QString note;                  // what to tell the user when we fell back
};
ProgramFolderChoice ChooseProgramFolder(const char* vigilHome, const std::filesystem::path& exeFolder,
                                        const std::function<bool(const std::filesystem::path&)>& writable,
                                        const std::filesystem::path& dataFolder);
// Forgets the decision, for tests that change VIGIL_HOME.
void ResetProgramFolder();

// Opens "帮助文件.CHM" in the program folder when present, else the bundled HTML manual.
// Returns the file it opened (empty when there was none).
QString OpenHelp();
// The file OpenHelp would open.
QString HelpFile();

// The XDG autostart entry "Velmoria.desktop": removed, and written again when on. A failed
// write throws std::runtime_error with the system's message.
void SetAutoRun(bool on, const std::filesystem::path& programFile = {});
std::filesystem::path AutoRunEntryPath();

// Powers the machine off through the installed handler. The default handler asks
// systemd-logind; VIGIL_SHUTDOWN_LOG=<file> makes it append a line to that file instead.
// Tests install their own handler. Returns true when the request was made.
bool ShutdownComputer(int flags);
using ShutdownHandler = std::function<bool(int flags)>;
void SetShutdownHandler(ShutdownHandler handler);  // empty: back to the default

// The machine's own IPv4 address (the last its host name resolves to), empty if none.
QString LocalAddress();

struct DiskSpaceResult {
  int64_t total = -1;  // bytes, -1 when the volume could not be asked
  int64_t free = -1;
};
DiskSpaceResult DiskSpace(const std::filesystem::path& path);

// A folder picker's answer as the station stores it: trimmed, ending with "/".
QString NormalizeFolder(const QString& path);

// Per-processor CPU usage from the kernel's counters (/proc/stat).
class CpuUsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TCpuSampler {
 public:
  using Source = std::function<std::string()>;
  // Reads /proc/stat unless given another source of its text.
  explicit TCpuSampler(Source source = {});

  // Takes one sample; throws CpuUsageError when the text holds no processor lines.
  void CollectCpuData();
  // Busy fraction 0..1 of processor i between the last two samples (0 when no time passed
  // between them). Takes a first sample when none was taken yet.
  double CpuUsage(int i);
  int CpuCount() const { return cpuCount_; }

 private:
  struct Counters {
    uint64_t idle = 0, total = 0;
  };
  Source source_;
  int cpuCount_ = -1;
  std::vector<Counters> now_, prev_;
};

// The process-wide sampler of the system timer.
TCpuSampler& CpuSampler();

}  // namespace vigil
