// The Linux desktop and system services the station uses.
#pragma once

#include <QString>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace vigil {

// Folder of the running executable (from /proc/self/exe).
std::filesystem::path ExecutableFolder();
// True when a file can be created in folder (tried, not guessed from permission bits).
bool IsWritableFolder(const std::filesystem::path& folder);
// $XDG_DATA_HOME/vigil, or ~/.local/share/vigil.
std::filesystem::path UserDataFolder();
// $XDG_CONFIG_HOME/autostart, or ~/.config/autostart.
std::filesystem::path AutostartFolder();

// Opens a file, folder or URL with the desktop's default program.
bool OpenWithDesktop(const QString& pathOrUrl);

// Asks systemd-logind to power the machine off (falls back to `systemctl poweroff`).
// Returns false with a reason when the request was refused or could not be made.
bool RequestPowerOff(QString* error);

struct DiskSpaceInfo {
  int64_t total = 0;  // bytes
  int64_t free = 0;   // bytes available to this program
};
std::optional<DiskSpaceInfo> QueryDiskSpace(const std::filesystem::path& path);

// The last IPv4 address the machine's own host name resolves to; empty when it does not.
QString LocalIPv4();

// Whole contents of a small system file such as /proc/stat; empty when unreadable.
std::string ReadSmallFile(const std::filesystem::path& file);

// A desktop notification (org.freedesktop.Notifications); false when no server answers.
bool ShowDesktopNotification(const QString& title, const QString& text, int timeout_ms);

}  // namespace vigil
