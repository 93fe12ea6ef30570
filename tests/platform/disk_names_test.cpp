#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/disk_names.h"
#include "platform/special_folders.h"
#include "platform/temp_folders.h"

namespace zel {
namespace {

namespace fs = std::filesystem;

class DiskTree : public testing::Test {
 protected:
  void SetUp() override {
    root = fs::temp_directory_path() / ("zel_disk_" + std::to_string(getpid()));
    fs::create_directories(root / "Pictures" / "Summer");
    std::ofstream(root / "Pictures" / "Summer" / "Beach.JPG") << "x";
    std::ofstream(root / "Project.zel") << "x";
  }
  void TearDown() override { fs::remove_all(root); }
  fs::path root;
};

TEST(DiskNames, BackslashesBecomeSlashes) {
  EXPECT_EQ(SlashedName("Pictures\\Summer\\a.jpg"), "Pictures/Summer/a.jpg");
  EXPECT_EQ(SlashedName("/already/fine"), "/already/fine");
}

TEST_F(DiskTree, ExactNamesAreTakenAsTheyAre) {
  const std::string exact = (root / "Pictures" / "Summer" / "Beach.JPG").string();
  EXPECT_EQ(FindDiskName(exact), exact);
}

TEST_F(DiskTree, MissingComponentsAreMatchedWithoutCase) {
  const std::string windowsName = root.string() + "\\PICTURES\\summer\\beach.jpg";
  EXPECT_EQ(FindDiskName(windowsName), (root / "Pictures" / "Summer" / "Beach.JPG").string());
  EXPECT_TRUE(DiskFileExists(Utf8ToString(windowsName)));
  EXPECT_FALSE(DiskFileExists(Utf8ToString(root.string() + "\\pictures")));  // a folder is no file
}

TEST_F(DiskTree, AComponentThatMatchesNothingGivesNothing) {
  EXPECT_FALSE(FindDiskName(root.string() + "/Pictures/Winter/beach.jpg").has_value());
  EXPECT_FALSE(DiskFileExists(Utf8ToString(root.string() + "/Pictures/Summer/Beach.png")));
  // The caller still gets a slashed name to report.
  EXPECT_EQ(DiskNameFor(Utf8ToString(root.string() + "\\none\\x.jpg")), root.string() + "/none/x.jpg");
}

TEST_F(DiskTree, RelativeNamesWorkFromTheCurrentFolder) {
  const auto previous = fs::current_path();
  fs::current_path(root);
  EXPECT_EQ(FindDiskName("pictures\\SUMMER\\Beach.jpg"), "Pictures/Summer/Beach.JPG");
  EXPECT_EQ(FindDiskName("project.ZEL"), "Project.zel");
  fs::current_path(previous);
}

TEST(SpecialFolders, FollowTheXdgVariables) {
  setenv("XDG_CONFIG_HOME", "/srv/config", 1);
  setenv("XDG_DATA_HOME", "relative/ignored", 1);
  setenv("HOME", "/home/viewer", 1);
  EXPECT_EQ(RoamingAppDataFolder(), "/srv/config/");
  EXPECT_EQ(LocalAppDataFolder(), "/home/viewer/.local/share/");
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(RoamingAppDataFolder(), "/home/viewer/.config/");
  EXPECT_EQ(CommonAppDataFolder(), "/var/lib/");
  EXPECT_EQ(PlayerFolder().back(), '/');
}

TEST(TemporaryFolders, AreNamedByAGuidAndRemovedOnRequest) {
  const std::string a = MakeTemporaryFolder();
  const std::string b = MakeTemporaryFolder(false);
  EXPECT_NE(a, b + "/");
  EXPECT_EQ(a.back(), '/');
  EXPECT_EQ(a.rfind(TemporaryRoot(), 0), 0u);
  const std::string name = a.substr(TemporaryRoot().size());
  ASSERT_EQ(name.size(), 2u + 36u + 1u);  // "[" GUID "]" "/"
  EXPECT_EQ(name.front(), '[');
  EXPECT_EQ(name[37], ']');
  EXPECT_TRUE(fs::is_directory(a));
  std::ofstream(a + "inside.txt") << "x";
  fs::create_directories(b + "/deeper/still");
  RemoveTemporaryFolders();
  EXPECT_FALSE(fs::exists(a));
  EXPECT_FALSE(fs::exists(b));
}

TEST(TemporaryFolders, GuidTextHasTheUsualForm) {
  const std::string guid = NewGuidText();
  ASSERT_EQ(guid.size(), 36u);
  for (size_t i : {8u, 13u, 18u, 23u}) EXPECT_EQ(guid[i], '-');
  EXPECT_EQ(guid[14], '4');
  EXPECT_EQ(guid.find_first_not_of("0123456789ABCDEF-"), std::string::npos);
  EXPECT_NE(NewGuidText(), guid);
}

TEST(TemporaryFolders, AreGoneWhenTheProcessIsInterrupted) {
  // A child makes a folder and is interrupted; the folder must not outlive it.
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  const pid_t child = fork();
  if (child == 0) {
    const std::string folder = MakeTemporaryFolder(false);
    [[maybe_unused]] auto n = write(pipeFds[1], folder.c_str(), folder.size());
    close(pipeFds[1]);
    for (;;) pause();
  }
  close(pipeFds[1]);
  char buffer[512];
  const ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
  ASSERT_GT(n, 0);
  const std::string folder(buffer, static_cast<size_t>(n));
  EXPECT_TRUE(fs::is_directory(folder));
  kill(child, SIGTERM);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFSIGNALED(status));
  EXPECT_FALSE(fs::exists(folder));
}

}  // namespace
}  // namespace zel
