#include <gtest/gtest.h>

#include "player/program_entry.h"

namespace zel {
namespace {

TEST(ColorDepth, SixteenBitsPassAndFifteenDoNot) {
  EXPECT_TRUE(ColorDepthSupported(32));
  EXPECT_TRUE(ColorDepthSupported(24));
  EXPECT_TRUE(ColorDepthSupported(16));
  EXPECT_FALSE(ColorDepthSupported(15));
  EXPECT_FALSE(ColorDepthSupported(8));
}

TEST(ColorDepth, TheMessageIsTheShowsOwnText) {
  EXPECT_STREQ(kColorDepthMessage,
               "Currently you have 256 or 16 colors display mode.\rSet True color or High color display mode.");
  EXPECT_STREQ(kErrorCaption, "Slideshow Error");
}

TEST(PlayerMain, VersionAndHelpNeedNoDisplay) {
  const char* version[] = {"zelplayer", "--version"};
  testing::internal::CaptureStdout();
  EXPECT_EQ(PlayerMain(2, version), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), std::string("zelplayer ") + kPlayerVersion + "\n");

  const char* help[] = {"zelplayer", "-log", "--help"};
  testing::internal::CaptureStdout();
  EXPECT_EQ(PlayerMain(3, help), 0);
  const std::string text = testing::internal::GetCapturedStdout();
  EXPECT_EQ(text, PlayerUsage());
  for (const char* word : {"-filename", "-exename", "-slide", "-time", "-display", "-filelog", "-log", "/s"}) {
    EXPECT_NE(text.find(word), std::string::npos) << word;
  }
}

}  // namespace
}  // namespace zel
