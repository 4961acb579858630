#include <gtest/gtest.h>

#include <chrono>

#include "TempHome.h"
#include "app/DiskPolicy.h"

using namespace vigil;
namespace fs = std::filesystem;

namespace {
void Make(const fs::path& p, int ageMinutes) {
  fs::create_directories(p.parent_path());
  vigil::test::WriteFile(p, "data");
  fs::last_write_time(p, fs::file_time_type::clock::now() - std::chrono::minutes(ageMinutes));
}
}  // namespace

TEST(DiskPolicy, DeletesOnlyTheStationsOwnFilesOldestFirst) {
  vigil::test::TempHome home;
  const fs::path video = home / "Video", pic = home / "Image";
  // What the station wrote.
  Make(video / "20261210" / "235900(1).AVI", 100);
  Make(video / "20261210" / "0007(2).AVI", 200);  // older within the day
  Make(video / "20261211" / "000100(1).AVI", 300);  // newer day folder, whatever its time
  Make(pic / "20261209" / "120000(3).JPG", 10);
  // What the user keeps there.
  Make(video / "notes.txt", 1000);
  Make(video / "20261210" / "holiday.mp4", 1000);
  Make(video / "20261210" / "120000(1).avi", 1000);   // not our upper-case name
  Make(video / "backup" / "080000(1).AVI", 1000);     // not a day folder
  Make(video / "2026121" / "080000(1).AVI", 1000);    // nor this
  Make(pic / "20261209" / "portrait.JPG", 1000);

  const std::set<fs::path> inUse{video / "20261211" / "000100(1).AVI"};
  std::vector<std::string> order;
  while (auto gone = DeleteOldestStationFile(video / "", pic / "", inUse))
    order.push_back(gone->lexically_relative(home.path()).string());
  EXPECT_EQ(order, (std::vector<std::string>{"Video/20261210/0007(2).AVI", "Video/20261210/235900(1).AVI",
                                             "Image/20261209/120000(3).JPG"}));
  for (const char* kept : {"Video/notes.txt", "Video/20261210/holiday.mp4", "Video/20261210/120000(1).avi",
                           "Video/backup/080000(1).AVI", "Video/2026121/080000(1).AVI",
                           "Image/20261209/portrait.JPG", "Video/20261211/000100(1).AVI"})
    EXPECT_TRUE(fs::exists(home / kept)) << kept;
}

TEST(DiskPolicy, EmptiedDayFolderGoesAndMissingFoldersAreFine) {
  vigil::test::TempHome home;
  Make(home / "Video" / "20261201" / "0001(1).AVI", 5);
  EXPECT_TRUE(DeleteOldestStationFile(home / "Video", home / "Image", {}).has_value());
  EXPECT_FALSE(fs::exists(home / "Video" / "20261201"));
  EXPECT_FALSE(DeleteOldestStationFile(home / "Video", home / "Image", {}).has_value());
  EXPECT_FALSE(OldestStationFile(home / "missing", home / "missing2", {}).has_value());
}
