#include <gtest/gtest.h>

#include "platform/paths.h"

namespace zel {
namespace {

TEST(Paths, FolderAndNameOfAPath) {
  EXPECT_EQ(ExtractFileDir("/a/b/c.txt"), "/a/b");
  EXPECT_EQ(ExtractFileDir("/c.txt"), "/");
  EXPECT_EQ(ExtractFileDir("c.txt"), "");
  EXPECT_EQ(ExtractFileName("/a/b/c.txt"), "c.txt");
  EXPECT_EQ(ExtractFileName("c.txt"), "c.txt");
  EXPECT_EQ(JoinPath("/a/", "b"), "/a/b");
  EXPECT_EQ(JoinPath("/a", "b"), "/a/b");
}

TEST(Paths, TheRunningExecutableIsAFile) {
  const std::string self = PlayerExecutablePath();
  ASSERT_FALSE(self.empty());
  EXPECT_EQ(self.front(), '/');
  EXPECT_TRUE(FileExists(self));
  EXPECT_EQ(ExtractFileName(self), "platform_tests");
}

}  // namespace
}  // namespace zel
