// The low-disk "overwrite" policy: make room by deleting the station's own oldest files.
#pragma once

#include <filesystem>
#include <optional>
#include <set>

namespace vigil {

// The oldest recording the station wrote below videoPath (a day folder named yyyymmdd holding
// hhnnss(n).AVI or NNNN(n).AVI), or, when there is none, the oldest alarm picture below
// picPath (the same folders, .BMP or .JPG). Nothing else is ever chosen, and no path in
// `inUse` (files being written). Older day folders go first; within a day, the older file.
std::optional<std::filesystem::path> OldestStationFile(const std::filesystem::path& videoPath,
                                                       const std::filesystem::path& picPath,
                                                       const std::set<std::filesystem::path>& inUse);

// Deletes that file, and its day folder once empty. Returns the deleted file.
std::optional<std::filesystem::path> DeleteOldestStationFile(const std::filesystem::path& videoPath,
                                                             const std::filesystem::path& picPath,
                                                             const std::set<std::filesystem::path>& inUse);

}  // namespace vigil
