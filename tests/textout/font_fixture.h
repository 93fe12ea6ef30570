// Fonts for the text tests, loaded by path so that the answers do not depend
// on what else fontconfig knows.
#pragma once

#include <string>

#include <gtest/gtest.h>

#include "textout/font_replacer.h"
#include "textout/ft_font_library.h"

namespace zel::testing {

inline const std::string kLiberation = "/usr/share/fonts/truetype/liberation2/";
inline const std::string kDejaVu = "/usr/share/fonts/truetype/dejavu/";

inline void RegisterTestFonts() {
  static const bool done = [] {
    for (const char* f : {"LiberationSans-Regular.ttf", "LiberationSans-Bold.ttf", "LiberationSans-Italic.ttf",
                          "LiberationSans-BoldItalic.ttf", "LiberationSerif-Regular.ttf", "LiberationMono-Regular.ttf"})
      EXPECT_TRUE(TFtFontLibrary::Instance().AddFontFile(kLiberation + f)) << f;
    for (const char* f : {"DejaVuSans.ttf", "DejaVuSansMono.ttf"})
      EXPECT_TRUE(TFtFontLibrary::Instance().AddFontFile(kDejaVu + f)) << f;
    SetScreenResolution(96);
    return true;
  }();
  (void)done;
}

}  // namespace zel::testing
