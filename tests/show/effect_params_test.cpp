// Transition parameters: variant characters, colours, the global settings
// and a slide's own settings over them.
#include <gtest/gtest.h>

#include "show/effect_params.h"
#include "show/show_project_support.h"

namespace zel {
namespace {

using show_testing::ParseProject;

TEST(EffectVariantCharacters, DigitsAndLettersMapToSixteenVariants) {
  for (char16_t c = u'1'; c <= u'8'; ++c) EXPECT_EQ(EffectVariantOfChar(c), c - u'0');
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(EffectVariantOfChar(static_cast<char16_t>(u'A' + i)), 9 + i);
    EXPECT_EQ(EffectVariantOfChar(static_cast<char16_t>(u'a' + i)), 9 + i);
  }
  for (const char16_t c : {u'0', u'9', u'I', u'i', u' ', u',', u'\u00e9'}) EXPECT_EQ(EffectVariantOfChar(c), 1);
}

TEST(EffectColours, RedInTheLowByte) {
  EXPECT_EQ(RgbFromInteger(0x00332211), (TRgbColor{0x11, 0x22, 0x33}));
  EXPECT_EQ(RgbFromInteger(255), (TRgbColor{255, 0, 0}));
  EXPECT_EQ(RgbFromInteger(static_cast<int32_t>(0xFF00FF00u)), (TRgbColor{0, 255, 0}));
  EXPECT_EQ(RgbToInteger({0x11, 0x22, 0x33}), 0x00332211);
}

TEST(GlobalEffectParams, DefaultsForAProjectThatNamesNone) {
  const auto doc = ParseProject("[main]\n");
  const TEffectParams p = ReadGlobalEffectParams(*doc->FindSection(u"main"), true);
  EXPECT_FLOAT_EQ(p.smoothLine, 0);
  EXPECT_TRUE(p.rollVariants);
  EXPECT_FALSE(p.rollUseBackColor);
  EXPECT_FALSE(p.roll3D);
  EXPECT_FLOAT_EQ(p.rollCurving, 0.125f);
  EXPECT_FLOAT_EQ(p.flipCurving, 0.5f);
  EXPECT_FALSE(p.flipCenter);
  EXPECT_TRUE(p.flipSmooth);
  EXPECT_FLOAT_EQ(p.swapDepth, 4);
  EXPECT_FLOAT_EQ(p.swapWidth, 1);
  EXPECT_FLOAT_EQ(p.swapMaxAngle, 60);
  EXPECT_EQ(p.mosaicDX, 1);
  EXPECT_EQ(p.mosaicDY, 1);
  EXPECT_EQ(p.mosaicSC, 0);
  EXPECT_EQ(p.centerX, 50);
  EXPECT_EQ(p.centerY, 50);
  EXPECT_TRUE(p.customEffects.empty());
}

TEST(GlobalEffectParams, ScalesAndSwitches) {
  const auto doc = ParseProject(
      "[main]\nopt_fx_smoothline=250\nopt_fx_broomoffset=30\nopt_fx_rolldiameter=500\n"
      "opt_fx_rollvariants=0\nopt_fx_rollusebackcolor=1\nopt_fx_rollbackcolor=16711680\nopt_fx_roll3d=1\n"
      "opt_fx_rollcurving=0.3\nopt_fx_flipcenter=1\nopt_fx_flipsmooth=0\nopt_fx_flipcurving=0.75\n"
      "opt_fx_swapdepth=2.5\nopt_fx_swapwidth=3\nopt_fx_swapmaxangle=45\nopt_fx_mosaic_dx=4\n"
      "opt_fx_mosaic_dy=5\nopt_fx_mosaic_sc=6\nopt_fx_center_x=10\nopt_fx_center_y=90\n");
  const TEffectParams p = ReadGlobalEffectParams(*doc->FindSection(u"main"), true);
  EXPECT_FLOAT_EQ(p.smoothLine, 0.25f);
  EXPECT_FLOAT_EQ(p.broomOffset, 0.3f);
  EXPECT_FLOAT_EQ(p.rollDiameter, 0.5f);
  EXPECT_FALSE(p.rollVariants);
  EXPECT_TRUE(p.rollUseBackColor);
  EXPECT_EQ(p.rollBackColor, (TRgbColor{0, 0, 255}));
  EXPECT_TRUE(p.roll3D);
  EXPECT_FLOAT_EQ(p.rollCurving, 0.3f);
  EXPECT_TRUE(p.flipCenter);
  EXPECT_FALSE(p.flipSmooth);
  EXPECT_FLOAT_EQ(p.flipCurving, 0.75f);
  EXPECT_FLOAT_EQ(p.swapDepth, 2.5f);
  EXPECT_FLOAT_EQ(p.swapWidth, 3);
  EXPECT_FLOAT_EQ(p.swapMaxAngle, 45);
  EXPECT_EQ(p.mosaicDX, 4);
  EXPECT_EQ(p.mosaicDY, 5);
  EXPECT_EQ(p.mosaicSC, 6);
  EXPECT_EQ(p.centerX, 10);
  EXPECT_EQ(p.centerY, 90);
}

TEST(GlobalEffectParams, SwitchesAreOnOnlyAsTheTextOne) {
  const auto doc = ParseProject("[main]\nopt_fx_roll3d=2\nopt_fx_rollvariants=3\nopt_fx_flipcenter=true\n");
  const TEffectParams p = ReadGlobalEffectParams(*doc->FindSection(u"main"), true);
  EXPECT_FALSE(p.roll3D);
  EXPECT_FALSE(p.rollVariants);
  EXPECT_FALSE(p.flipCenter);
}

TEST(GlobalEffectParams, BackColourOnlyWhenTheRollUsesIt) {
  const auto doc = ParseProject("[main]\nopt_fx_rollbackcolor=255\n");
  EXPECT_EQ(ReadGlobalEffectParams(*doc->FindSection(u"main"), true).rollBackColor, TRgbColor{});
}

TEST(GlobalEffectParams, WithGlobalTransitionsOffOnlyTheSmoothLineIsRead) {
  const auto doc = ParseProject("[main]\nopt_fx_smoothline=100\nopt_fx_swapdepth=9\nopt_fx_center_x=5\n");
  const TEffectParams p = ReadGlobalEffectParams(*doc->FindSection(u"main"), false);
  EXPECT_FLOAT_EQ(p.smoothLine, 0.1f);
  EXPECT_FLOAT_EQ(p.swapDepth, 4);
  EXPECT_EQ(p.centerX, 50);
}

TEST(SlideEffectParams, SlideKeysOverTheGlobalValues) {
  const auto doc = ParseProject(
      "[main]\nopt_fx_broomoffset=40\nopt_fx_swapdepth=8\nopt_fx_rolldiameter=700\nopt_fx_center_y=20\n"
      "[Slide1]\nEffectSwapWidth=6\nEffectRoll3D=1\nEffectMosaicSC=3\nEffectCenterX=70\n");
  TEffectParams p = ReadGlobalEffectParams(*doc->FindSection(u"main"), true);
  ApplySlideEffectParams(*doc->FindSection(u"Slide1"), p);
  EXPECT_FLOAT_EQ(p.swapWidth, 6);
  EXPECT_TRUE(p.roll3D);
  EXPECT_EQ(p.mosaicSC, 3);
  EXPECT_EQ(p.centerX, 70);
  // Missing slide keys keep the global values...
  EXPECT_FLOAT_EQ(p.swapDepth, 8);
  EXPECT_FLOAT_EQ(p.broomOffset, 0.4f);
  EXPECT_EQ(p.centerY, 20);
  // ...except the roll diameter (0) and the roll variants ("1" only).
  EXPECT_FLOAT_EQ(p.rollDiameter, 0);
  EXPECT_FALSE(p.rollVariants);
}

TEST(SlideEffectParams, ScaledSlideValues) {
  const auto doc = ParseProject(
      "[main]\n[Slide1]\nEffectRollVariants=1\nEffectRollDiameter=250\nEffectBroomOffset=15\n"
      "EffectSmoothline=40\n");
  TEffectParams p;
  ApplySlideEffectParams(*doc->FindSection(u"Slide1"), p);
  EXPECT_TRUE(p.rollVariants);
  EXPECT_FLOAT_EQ(p.rollDiameter, 0.25f);
  EXPECT_FLOAT_EQ(p.broomOffset, 0.15f);
  EXPECT_FLOAT_EQ(p.smoothLine, 0);
  ApplySlideSmoothLine(*doc->FindSection(u"Slide1"), p);
  EXPECT_FLOAT_EQ(p.smoothLine, 0.04f);
}

TEST(SlideEffectParams, BackColourOnlyWhenTheSlideUsesIt) {
  const auto doc = ParseProject(
      "[main]\n[Slide1]\nEffectRollBackColor=65280\n[Slide2]\nEffectRollUseBackColor=1\n"
      "EffectRollBackColor=65280\n");
  TEffectParams withoutUse;
  ApplySlideEffectParams(*doc->FindSection(u"Slide1"), withoutUse);
  EXPECT_EQ(withoutUse.rollBackColor, TRgbColor{});
  TEffectParams withUse;
  ApplySlideEffectParams(*doc->FindSection(u"Slide2"), withUse);
  EXPECT_TRUE(withUse.rollUseBackColor);
  EXPECT_EQ(withUse.rollBackColor, (TRgbColor{0, 255, 0}));
}

}  // namespace
}  // namespace zel
