#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "core/hash_list.h"
#include "core/strings.h"
#include "platform/instance_lock.h"

namespace zel {
namespace {

class LockFolder : public testing::Test {
 protected:
  void SetUp() override {
    folder = std::filesystem::temp_directory_path() / ("zel_lock_" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
  }
  void TearDown() override { std::filesystem::remove_all(folder); }
  std::filesystem::path folder;
};

TEST(InstanceLockName, HashesThePathTheFolderAndTheName) {
  const std::string name = InstanceLockName("/opt/shows/Holiday.scr");
  const std::string expected = "Instance_ID" + std::to_string(ElfHash(u"/opt/shows/Holiday.scr")) +
                               std::to_string(ElfHash(u"/opt/shows")) + std::to_string(ElfHash(u"Holiday.scr")) +
                               "Holiday.scr";
  EXPECT_EQ(name, expected);
  EXPECT_NE(InstanceLockName("/opt/other/Holiday.scr"), name);
}

TEST_F(LockFolder, ASecondInstanceOfTheSamePlayerSeesTheFirst) {
  TInstanceLock first("/opt/shows/Holiday.scr", folder.string());
  EXPECT_TRUE(first.Owned());
  EXPECT_FALSE(first.AnotherInstanceRunning());
  {
    TInstanceLock second("/opt/shows/Holiday.scr", folder.string());
    EXPECT_FALSE(second.Owned());
    EXPECT_TRUE(second.AnotherInstanceRunning());
    TInstanceLock other("/opt/shows/Other.scr", folder.string());
    EXPECT_TRUE(other.Owned());
  }
}

TEST_F(LockFolder, TheLockIsFreeAgainOnceTheOwnerEnds) {
  { TInstanceLock first("/opt/shows/Holiday.scr", folder.string()); }
  TInstanceLock again("/opt/shows/Holiday.scr", folder.string());
  EXPECT_TRUE(again.Owned());
}

TEST(InstanceLock, AFolderThatCannotHoldTheFileMeansNoOtherInstance) {
  TInstanceLock lock("/opt/shows/Holiday.scr", "/nonexistent/folder");
  EXPECT_FALSE(lock.Owned());
  EXPECT_FALSE(lock.AnotherInstanceRunning());
}

}  // namespace
}  // namespace zel
