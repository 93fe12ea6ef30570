#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "package/name_translation.h"

namespace zel {
namespace {

namespace fs = std::filesystem;

class StylesFolders : public testing::Test {
 protected:
  void SetUp() override {
    base = fs::temp_directory_path() / ("zel_styles_" + std::to_string(getpid()));
    fs::create_directories(base / "player" / "All" / "Themes" / "Glass");
    std::ofstream(base / "player" / "All" / "Themes" / "Glass" / "button.png") << "x";
    setenv("XDG_DATA_HOME", (base / "data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (base / "config").c_str(), 1);
    SetStylesBaseFolder(Utf8ToString((base / "player").string()));
  }
  void TearDown() override {
    SetStylesBaseFolder(u"");
    fs::remove_all(base);
  }
  TString Base() const { return Utf8ToString(base.string()); }
  fs::path base;
};

TEST_F(StylesFolders, StylesResolveBesideThePlayerWhenTheFileIsThere) {
  EXPECT_EQ(TranslateName(u"%styles%\\Glass\\button.png"), Base() + u"/player/All\\Themes\\Glass\\button.png");
  EXPECT_EQ(TranslateName(u"%STYLES%\\Glass\\button.png"), Base() + u"/player/All\\Themes\\Glass\\button.png");
}

TEST_F(StylesFolders, OtherwiseInTheUsersOwnStylesFolder) {
  EXPECT_EQ(TranslateName(u"%styles%\\Glass\\missing.png"), Base() + u"/data/Orvane\\Styles\\Glass\\missing.png");
}

TEST_F(StylesFolders, EnvironmentTokensAreExactAndAbsorbOneSeparator) {
  EXPECT_EQ(ExpandEnvironmentFolders(u"%APPDATA%\\Show\\a.txt"), Base() + u"/config/Show\\a.txt");
  EXPECT_EQ(ExpandEnvironmentFolders(u"%LOCALAPPDATA%x"), Base() + u"/data/x");
  EXPECT_EQ(ExpandEnvironmentFolders(u"%PROGRAMDATA%\\Shared"), u"/var/lib/Shared");
  EXPECT_EQ(ExpandEnvironmentFolders(u"%appdata%\\a"), u"%appdata%\\a");  // exact upper case only
  EXPECT_EQ(ExpandEnvironmentFolders(u"50% off %APPDATA%a"), u"50% off " + Base() + u"/config/a");
  EXPECT_EQ(ExpandEnvironmentFolders(u"no tokens at all"), u"no tokens at all");
  EXPECT_EQ(ExpandEnvironmentFolders(u"%unfinished"), u"%unfinished");
}

TEST_F(StylesFolders, OtherTokensStay) {
  EXPECT_EQ(TranslateName(u"%other%\\x.png"), u"%other%\\x.png");
  EXPECT_EQ(TranslateName(u"plain.png"), u"plain.png");
}

}  // namespace
}  // namespace zel
