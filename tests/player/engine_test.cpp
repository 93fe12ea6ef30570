// The engine stepped on the test's thread with a drawer that draws nothing:
// opening paused, playing, barriers at slides that wait or loop, requests
// and their merging, position reports, the end of the show, a lost device;
// and the clock's interpolator.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "core/clock.h"
#include "draw/null_drawer.h"
#include "ini/ini_document.h"
#include "player/engine.h"
#include "player/slide_loader.h"
#include "show/show_project_support.h"
#include "show/zel_source.h"

namespace zel {
namespace {

using show_testing::ParseProject;

TEST(FrameInterpolator, PassesThroughThenFillsItsRingThenSmooths) {
  TFrameInterpolator interpolator;
  // The first 16 values and the next 32 (the ring filling) pass through.
  for (int i = 0; i < 48; ++i) EXPECT_EQ(interpolator.Next(i * 10.0), i * 10.0) << i;
  // Steady steps of 10: the mean step carries it on exactly.
  EXPECT_DOUBLE_EQ(interpolator.Next(480), 480);
  // A jump is followed a sixth of the way (after the mean step).
  const double y = interpolator.Next(550);
  EXPECT_GT(y, 480);
  EXPECT_LT(y, 550);
  // The ring now holds 31 steps of 10 and one of 70.
  const double mean = (31 * 10 + 70) / 32.0;
  EXPECT_NEAR(y, 480 + mean + (550 - 480 - mean) / 6, 1e-9);
}

TEST(FrameInterpolator, AHeldInterpolatorPassesThroughAndReleasesAfterOneValue) {
  TFrameInterpolator interpolator;
  for (int i = 0; i < 60; ++i) interpolator.Next(i * 10.0);
  interpolator.Hold();
  EXPECT_EQ(interpolator.Next(5000), 5000);
  interpolator.Release();
  EXPECT_TRUE(interpolator.Held());
  EXPECT_EQ(interpolator.Next(7000), 7000);  // the first value after a start
  EXPECT_FALSE(interpolator.Held());
  EXPECT_NE(interpolator.Next(7500), 7500);
}

std::string Show(int count, int length, const std::string& extra = "", const std::string& slideKeys = "") {
  std::string text = "[Main]\nopt_slidescount=" + std::to_string(count) + "\nopt_scr_width=800\nopt_scr_height=600\n";
  for (int i = 1; i <= count; ++i) text += "opt_synchpos" + std::to_string(i) + "=" + std::to_string(i * length) + "\n";
  text += "opt_pausewheninactive=0\n" + extra;
  for (int i = 1; i <= count; ++i) text += "[Slide" + std::to_string(i) + "]\n" + slideKeys;
  return text;
}

// An engine with a null drawer, stepped here, its reports kept.
class EngineSteps : public ::testing::Test {
 protected:
  void Open(const std::string& project, double start = 0, bool paused = false) {
    fEngine = std::make_unique<TZelEngine>(
        std::make_unique<TZelDrawController>(nullptr, std::make_unique<TNullDrawer>()), TZelEngine::TOptions{});
    fEngine->SetCallbacks({[this](const TZelEventData&) { ++fFirstFrames; },
                           [this](const TZelEventData& d) { fPositions.push_back(d.Values); },
                           [this](const TZelEventData& d) { fMessages.push_back(d.Code); }});
    fEngine->EnableStepping();
    auto source = std::make_unique<TZelSource>(nullptr, false, ParseProject(project).release(), true, u"zelplayer");
    fEngine->OpenSource(std::move(source), start, paused);
  }
  // Steps at show time t until a frame is drawn (the window fills first).
  bool StepAt(double t, int tries = 10) {
    fEngine->SetStepperTime(t);
    for (int i = 0; i < tries; ++i) {
      fEngine->RunStep();
      if (fEngine->FrameDrawn()) return true;
    }
    return false;
  }
  TNullDrawer& Drawer() { return dynamic_cast<TNullDrawer&>(fEngine->Controller().Drawer()); }
  int EndedReports() const {
    int ended = 0;
    for (const auto& values : fPositions) ended += values.size() == 4 && values[3] == 1 ? 1 : 0;
    return ended;
  }

  std::unique_ptr<TZelEngine> fEngine;
  int fFirstFrames = 0;
  std::vector<std::vector<int32_t>> fPositions;
  std::vector<uint32_t> fMessages;
};

TEST_F(EngineSteps, OpenedPausedItDrawsThatFrameAndStartsNothing) {
  Open(Show(5, 5000), 10000, true);
  for (int i = 0; i < 6; ++i) fEngine->RunStep();
  EXPECT_FALSE(fEngine->Active());
  EXPECT_EQ(fEngine->CurrentTime(), 10000);
  EXPECT_EQ(fFirstFrames, 1);
  EXPECT_GE(Drawer().Counts().frames, 1);
  // At 10,000 slide 1 ends and slide 2 begins: both are visible.
  ASSERT_EQ(fEngine->Window().size(), 3u);
  EXPECT_EQ(fEngine->Window()[0]->Number(), 1);
  // The window geometry went to the viewer at the open.
  ASSERT_FALSE(fMessages.empty());
  EXPECT_EQ(fMessages[0], static_cast<uint32_t>(TViewerMessage::WindowGeometry));
}

TEST_F(EngineSteps, PlaysOnceTheWindowIsReady) {
  Open(Show(5, 5000), 100);
  // One slide of three is drawable, but the show waits for all three.
  EXPECT_TRUE(StepAt(100, 1));
  EXPECT_FALSE(fEngine->Active());
  EXPECT_EQ(fEngine->Window().size(), 1u);
  for (int i = 0; i < 3; ++i) StepAt(100);
  EXPECT_TRUE(fEngine->Active());
  EXPECT_TRUE(StepAt(7000));
  EXPECT_EQ(fEngine->CurrentTime(), 7000);
}

TEST_F(EngineSteps, AManualShowWaitsAtEachSlideEndAndGoesOnFromThere) {
  Open(Show(5, 5000, "opt_manualshow=1\n"), 100);
  ASSERT_TRUE(StepAt(100));
  EXPECT_EQ(fEngine->Barrier().time, 5000);
  StepAt(5200);
  EXPECT_TRUE(fEngine->Waiting());
  EXPECT_FALSE(fEngine->Active());
  EXPECT_EQ(fEngine->CurrentTime(), 5000);
  // Further steps stand at the slide's end.
  StepAt(6000);
  EXPECT_EQ(fEngine->CurrentTime(), 5000);
  EXPECT_EQ(fEngine->Barrier().time, 10000);
  fEngine->ContinueFromBarrier();
  StepAt(5100);
  EXPECT_TRUE(fEngine->Active());
  EXPECT_EQ(fEngine->CurrentTime(), 5100);
}

TEST_F(EngineSteps, ALoopingSlideStepsBackByItsLoopLength) {
  Open(Show(3, 5000) + "UsePersonal=1\nPers_EndAction=loop\n", 100);
  // The personal keys land in the last slide's section: slide 3, 10,000 to
  // 15,000.
  ASSERT_TRUE(StepAt(100));
  EXPECT_EQ(fEngine->Barrier().time, 15000);
  EXPECT_EQ(fEngine->Barrier().loopLength, 5000);
  StepAt(15200);
  EXPECT_FALSE(fEngine->Waiting());
  EXPECT_EQ(fEngine->CurrentTime(), 10200);
}

TEST_F(EngineSteps, PositionReportsNeedTwentyMillisecondsOfMovement) {
  Open(Show(5, 5000), 100);
  ASSERT_TRUE(StepAt(100));
  const size_t reports = fPositions.size();
  StepAt(110);
  StepAt(120);
  EXPECT_EQ(fPositions.size(), reports);
  StepAt(121);
  ASSERT_EQ(fPositions.size(), reports + 1);
  EXPECT_EQ(fPositions.back()[1], 121);
  EXPECT_EQ(fPositions.back()[2], 25000);
}

TEST_F(EngineSteps, TheEndOfAShowIsReportedOnce) {
  Open(Show(2, 5000, "opt_repeat=stop\n"), 100);
  ASSERT_TRUE(StepAt(100));
  for (double t : {9000.0, 10500.0, 11000.0, 12000.0}) StepAt(t, 3);
  EXPECT_EQ(EndedReports(), 1);
  EXPECT_EQ(fEngine->CurrentTime(), 10000);
  EXPECT_TRUE(fEngine->EndReported());
}

TEST_F(EngineSteps, TwoQuickSeeksGiveOneAndAPauseDuringAnOpenAppliesAfterIt) {
  Open(Show(10, 5000), 100);
  ASSERT_TRUE(StepAt(100));
  for (int64_t time : {20000, 30000}) {
    auto seek = std::make_unique<TOpenParams>();
    seek->OpenNumber = fEngine->NextOpenNumber();
    seek->StartTime = time;
    fEngine->Queue().Post(static_cast<uint32_t>(TEngineMessage::Open), std::move(seek));
  }
  fEngine->Queue().Post(static_cast<uint32_t>(TEngineMessage::Pause), std::make_unique<TModeData>(true));
  fEngine->RunStep();
  EXPECT_EQ(fEngine->CurrentTime(), 30000);
  EXPECT_TRUE(fEngine->Paused());
  EXPECT_FALSE(fEngine->Active());
}

TEST_F(EngineSteps, ALostDeviceStopsPlayAndFramesFollowWhenItIsBack) {
  Open(Show(5, 5000), 100);
  ASSERT_TRUE(StepAt(100));
  fEngine->Controller().MarkLost();
  fEngine->SetStepperTime(200);
  fEngine->RunStep();
  EXPECT_FALSE(fEngine->Active());
  EXPECT_TRUE(StepAt(300));
  EXPECT_TRUE(fEngine->Active());
  EXPECT_EQ(fFirstFrames, 2);
}

TEST_F(EngineSteps, ActionsThatLeaveTheEngineGoToTheViewer) {
  Open(Show(3, 5000), 100);
  ASSERT_TRUE(StepAt(100));
  auto mouse = std::make_unique<TMouseData>();
  mouse->MappedAction = u"nextslide";
  fEngine->Queue().Post(static_cast<uint32_t>(TEngineMessage::Mouse), std::move(mouse));
  fEngine->RunStep();
  ASSERT_FALSE(fMessages.empty());
  EXPECT_EQ(fMessages.back(), static_cast<uint32_t>(TViewerMessage::Action));
}

TEST(EngineThread, PlaysOnItsOwnThreadAndStopsInOrder) {
  // The engine and the slide loader on their own threads: windows are
  // handed over through the engine's queue, the clock is the music
  // player's, and stopping waits for both.
  std::atomic<int> firstFrames{0};
  std::atomic<int32_t> lastPosition{-1};
  {
    TZelEngine engine(std::make_unique<TZelDrawController>(nullptr, std::make_unique<TNullDrawer>()),
                      TZelEngine::TOptions{});
    engine.SetCallbacks({[&](const TZelEventData&) { ++firstFrames; },
                         [&](const TZelEventData& d) { lastPosition = d.Values.at(1); }, nullptr});
    auto source =
        std::make_unique<TZelSource>(nullptr, false, ParseProject(Show(5, 5000)).release(), true, u"zelplayer");
    engine.OpenSource(std::move(source), 100, false);
    ASSERT_TRUE(engine.StartEngine());
    for (int i = 0; i < 500 && lastPosition < 150; ++i) SleepMs(10);
    engine.StopEngine();
    EXPECT_EQ(engine.Loader(), nullptr);
  }
  EXPECT_EQ(firstFrames.load(), 1);
  // The clock ran on from 100.
  EXPECT_GE(lastPosition.load(), 150);
}

}  // namespace
}  // namespace zel
