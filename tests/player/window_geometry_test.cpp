// Where the show's window goes: the project's request, fitted into the
// monitor or the desktop with the window's frame, and centred.
#include <gtest/gtest.h>

#include "ini/ini_document.h"
#include "player/window_geometry.h"
#include "show/show_project_support.h"

namespace zel {
namespace {

constexpr int32_t kFrameWidth = 16, kFrameHeight = 39;

TEST(WindowGeometry, ABorderedShowIsCentredAroundItsExactClientSize) {
  const TWindowRequest request{1024, 768, TWindowStyle::Bordered};
  const TWindowGeometry g = WindowGeometryFor(request, {0, 0, 1280, 1024}, kFrameWidth, kFrameHeight, false);
  EXPECT_TRUE(g.bordered);
  EXPECT_FALSE(g.sizeable);
  EXPECT_EQ(g.clientWidth, 1024);
  EXPECT_EQ(g.clientHeight, 768);
  EXPECT_EQ(g.window, TRect::FromSize((1280 - 1040) / 2, (1024 - 807) / 2, 1040, 807));
  EXPECT_TRUE(WindowGeometryFor(request, {0, 0, 1280, 1024}, kFrameWidth, kFrameHeight, true).sizeable);
}

TEST(WindowGeometry, ASmallMonitorScalesTheShowDownUniformly) {
  const TWindowRequest request{1024, 768, TWindowStyle::Bordered};
  const TWindowGeometry g = WindowGeometryFor(request, {1280, 0, 2080, 600}, kFrameWidth, kFrameHeight, false);
  // f = min((600 - 39) / 768, (800 - 16) / 1024) = 0.73046875.
  EXPECT_EQ(g.clientHeight, 561);
  EXPECT_EQ(g.clientWidth, 748);
  EXPECT_LE(g.window.Width(), 800);
  EXPECT_LE(g.window.Height(), 600);
  EXPECT_EQ(g.window.Left, 1280 + (800 - 764) / 2);
  EXPECT_EQ(g.window.Top, 0);
}

TEST(WindowGeometry, FullScreenCoversItsAreaAndBorderlessHasNoFrame) {
  const TWindowGeometry full =
      WindowGeometryFor({640, 480, TWindowStyle::FullScreen}, {-1920, 0, 1280, 1080}, kFrameWidth, kFrameHeight, true);
  EXPECT_TRUE(full.fullScreen);
  EXPECT_FALSE(full.bordered);
  EXPECT_EQ(full.window, (TRect{-1920, 0, 1280, 1080}));
  const TWindowGeometry plain =
      WindowGeometryFor({640, 480, TWindowStyle::Borderless}, {0, 0, 800, 600}, kFrameWidth, kFrameHeight, true);
  EXPECT_FALSE(plain.sizeable);
  EXPECT_EQ(plain.window, TRect::FromSize(80, 60, 640, 480));
}

TEST(WindowGeometry, TheProjectsRequest) {
  auto project = show_testing::ParseProject("[Main]\nopt_scr_full=0\nopt_scr_width=1024\nopt_scr_height=768\n");
  TWindowRequest r = WindowRequestFrom(*project->FindSection(u"Main"), 1920, 1080);
  EXPECT_EQ(r.style, TWindowStyle::Borderless);
  EXPECT_EQ(r.width, 1024);
  project = show_testing::ParseProject("[Main]\nopt_scr_full=0\nopt_withoutborder=0\n");
  r = WindowRequestFrom(*project->FindSection(u"Main"), 1920, 1080);
  EXPECT_EQ(r.style, TWindowStyle::Bordered);
  EXPECT_EQ(r.width, 640);
  EXPECT_EQ(r.height, 480);
  project = show_testing::ParseProject("[Main]\n");
  r = WindowRequestFrom(*project->FindSection(u"Main"), 1920, 1080);
  EXPECT_EQ(r.style, TWindowStyle::FullScreen);
  EXPECT_EQ(r.width, 1920);
}

}  // namespace
}  // namespace zel
