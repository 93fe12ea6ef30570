// The show viewer between a window that is only pretended and an engine
// that draws nothing: where the window goes, the requests it hands to the
// engine, and what it makes of the engine's messages.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "draw/null_drawer.h"
#include "ini/ini_document.h"
#include "log_capture.h"
#include "package/file_accessor.h"
#include "player/engine_data.h"
#include "player/engine_messages.h"
#include "player/show_viewer.h"
#include "show/show_project_support.h"

namespace zel {
namespace {

using show_testing::ParseProject;
using testing_support::TLogCapture;

constexpr int32_t kFrameWidth = 8, kFrameHeight = 30;

// A main window that exists only in memory. The engine's thread reaches it
// too (first frame, window geometry), hence the lock.
class TFakeHost : public TShowWindowHost {
 public:
  explicit TFakeHost(std::vector<TRect> monitors) : fMonitors(std::move(monitors)) {}

  SDL_Window* NativeWindow() override { return nullptr; }
  bool WindowVisible() override {
    std::lock_guard guard(fLock);
    ++fVisibilityQueries;
    return fVisible;
  }
  void ShowWindow() override {
    std::lock_guard guard(fLock);
    ++fShown;
    fVisible = true;
  }
  void FrameExtents(int32_t& width, int32_t& height) override {
    width = kFrameWidth;
    height = kFrameHeight;
  }
  std::vector<TRect> Monitors() override {
    std::lock_guard guard(fLock);
    return fMonitors;
  }
  void PlaceWindow(const TWindowGeometry& geometry) override {
    if (onPlace) onPlace();
    std::lock_guard guard(fLock);
    fPlaced.push_back(geometry);
  }

  void SetVisible(bool visible) {
    std::lock_guard guard(fLock);
    fVisible = visible;
  }
  int Shown() {
    std::lock_guard guard(fLock);
    return fShown;
  }
  bool Visible() {
    std::lock_guard guard(fLock);
    return fVisible;
  }
  int VisibilityQueries() {
    std::lock_guard guard(fLock);
    return fVisibilityQueries;
  }
  std::vector<TWindowGeometry> Placed() {
    std::lock_guard guard(fLock);
    return fPlaced;
  }
  TWindowGeometry LastPlaced() {
    std::lock_guard guard(fLock);
    EXPECT_FALSE(fPlaced.empty());
    return fPlaced.empty() ? TWindowGeometry{} : fPlaced.back();
  }

  // Called on each placement, outside the lock.
  std::function<void()> onPlace;

 private:
  std::mutex fLock;
  std::vector<TRect> fMonitors;
  bool fVisible = false;
  int fShown = 0;
  int fVisibilityQueries = 0;
  std::vector<TWindowGeometry> fPlaced;
};

TZelShowViewer::TSettings NullDrawerSettings() {
  TZelShowViewer::TSettings settings;
  settings.drawerFactory = [] { return std::make_unique<TNullDrawer>(); };
  return settings;
}

// A show of three slides of 5 s with the given window lines.
std::string Show(const std::string& windowLines) {
  std::string text = "[Main]\nopt_slidescount=3\n" + windowLines;
  for (int i = 1; i <= 3; ++i) text += "opt_synchpos" + std::to_string(i) + "=" + std::to_string(i * 5000) + "\n";
  text += "opt_pausewheninactive=0\n";
  for (int i = 1; i <= 3; ++i) text += "[Slide" + std::to_string(i) + "]\n";
  return text;
}

const std::string kBordered1024 = "opt_scr_full=0\nopt_scr_width=1024\nopt_scr_height=768\nopt_withoutborder=0\n";

// Waits (a bounded while) for the condition; true when it came.
bool WaitUntil(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

TZelEventData Message(TViewerMessage code, std::vector<int32_t> values, const char16_t* text = nullptr) {
  return TZelEventData(static_cast<uint32_t>(code), std::move(values),
                       text ? std::make_unique<TStrValue>(text) : nullptr);
}

// A viewer over a fake host that loads the show's text.
class ViewerLoad : public ::testing::Test {
 protected:
  void Load(std::vector<TRect> monitors, const std::string& project,
            TZelShowViewer::TSettings settings = NullDrawerSettings(), double start = 0,
            TZelShowViewer::TCallbacks callbacks = {}) {
    fViewer.reset();
    fEngineRanAtFirstPlacement = -1;
    fHost = std::make_unique<TFakeHost>(std::move(monitors));
    fViewer = std::make_unique<TZelShowViewer>(*fHost, std::move(settings));
    fViewer->SetCallbacks(std::move(callbacks));
    fHost->onPlace = [this] {
      if (fEngineRanAtFirstPlacement < 0) fEngineRanAtFirstPlacement = fViewer->EngineRunning() ? 1 : 0;
    };
    fProject = ParseProject(project);
    fViewer->LoadShow(DefaultAccessor(), *fProject, start);
  }
  void TearDown() override {
    // The engine's thread goes before the host, the log and the reports it
    // reaches.
    fViewer.reset();
    fLog.reset();
  }
  // The callbacks that keep the positions reported.
  TZelShowViewer::TCallbacks KeepingReports() {
    return {[this](int32_t position, bool) {
              std::lock_guard guard(fReportLock);
              fReports.push_back(position);
            },
            nullptr, nullptr};
  }
  std::vector<int32_t> Reports() {
    std::lock_guard guard(fReportLock);
    return fReports;
  }

  std::unique_ptr<TLogCapture> fLog;
  std::mutex fReportLock;
  std::vector<int32_t> fReports;
  std::unique_ptr<TFakeHost> fHost;
  std::unique_ptr<TZelShowViewer> fViewer;
  std::unique_ptr<TIniFile> fProject;
  int fEngineRanAtFirstPlacement = -1;
};

// ---------------------------------------------------------------------------
// Window placement

TEST_F(ViewerLoad, ABorderedWindowKeepsItsClientSizeAndIsCentredBeforeTheEngineRuns) {
  Load({{0, 0, 1280, 1024}}, Show(kBordered1024));
  ASSERT_TRUE(fViewer->EngineRunning());
  EXPECT_EQ(fEngineRanAtFirstPlacement, 0);
  const auto placed = fHost->Placed();
  ASSERT_FALSE(placed.empty());
  for (const TWindowGeometry& g : placed) {
    EXPECT_TRUE(g.bordered);
    EXPECT_FALSE(g.fullScreen);
    EXPECT_FALSE(g.sizeable);
    EXPECT_EQ(g.clientWidth, 1024);
    EXPECT_EQ(g.clientHeight, 768);
    EXPECT_EQ(g.window, TRect::FromSize((1280 - 1032) / 2, (1024 - 798) / 2, 1032, 798));
  }
}

TEST_F(ViewerLoad, ASmallMonitorScalesWindowAndFrameDownUniformly) {
  TZelShowViewer::TSettings settings = NullDrawerSettings();
  settings.resize = true;
  Load({{0, 0, 800, 600}}, Show(kBordered1024), settings);
  const TWindowGeometry g = fHost->LastPlaced();
  // f = min((600 - 30) / 768, (800 - 8) / 1024) = 0.7421875.
  EXPECT_EQ(g.clientWidth, 760);
  EXPECT_EQ(g.clientHeight, 570);
  EXPECT_EQ(g.clientWidth * 768, g.clientHeight * 1024);
  EXPECT_TRUE(g.sizeable);
  EXPECT_EQ(g.window, TRect::FromSize((800 - 768) / 2, 0, 768, 600));
}

TEST_F(ViewerLoad, FullScreenOnTheWholeDesktopCoversBothMonitors) {
  TZelShowViewer::TSettings settings = NullDrawerSettings();
  settings.desktopAlign = true;
  Load({{0, 0, 1920, 1080}, {1920, 0, 3200, 1024}}, Show("opt_scr_full=1\nopt_scr_width=1024\nopt_scr_height=768\n"), settings);
  const auto placed = fHost->Placed();
  ASSERT_FALSE(placed.empty());
  for (const TWindowGeometry& g : placed) {
    EXPECT_TRUE(g.fullScreen);
    EXPECT_FALSE(g.bordered);
    EXPECT_EQ(g.window, (TRect{0, 0, 3200, 1080}));
    EXPECT_EQ(g.clientWidth, 3200);
    EXPECT_EQ(g.clientHeight, 1080);
  }
}

TEST_F(ViewerLoad, FullScreenWithoutDesktopAlignCoversThePrimaryMonitorOnly) {
  Load({{0, 0, 1920, 1080}, {1920, 0, 3200, 1024}}, Show("opt_scr_full=1\nopt_scr_width=1024\nopt_scr_height=768\n"));
  const TWindowGeometry g = fHost->LastPlaced();
  EXPECT_TRUE(g.fullScreen);
  EXPECT_EQ(g.window, (TRect{0, 0, 1920, 1080}));
}

TEST_F(ViewerLoad, DisplayTwoPicksTheSecondMonitor) {
  TZelShowViewer::TSettings settings = NullDrawerSettings();
  settings.display = 2;
  Load({{0, 0, 1920, 1080}, {1920, 0, 3200, 1024}}, Show(kBordered1024), settings);
  const TWindowGeometry g = fHost->LastPlaced();
  EXPECT_EQ(g.clientWidth, 1024);
  EXPECT_EQ(g.window, TRect::FromSize(1920 + (1280 - 1032) / 2, (1024 - 798) / 2, 1032, 798));
}

TEST_F(ViewerLoad, AnUnknownDisplayFallsBackToThePrimaryMonitor) {
  for (int32_t display : {3, -1}) {
    TZelShowViewer::TSettings settings = NullDrawerSettings();
    settings.display = display;
    Load({{0, 0, 1920, 1080}, {1920, 0, 3200, 1024}}, Show(kBordered1024), settings);
    const TWindowGeometry g = fHost->LastPlaced();
    EXPECT_EQ(g.window, TRect::FromSize((1920 - 1032) / 2, (1080 - 798) / 2, 1032, 798)) << display;
  }
}

TEST_F(ViewerLoad, AWindowGeometryMessagePlacesTheWindowAgain) {
  Load({{0, 0, 1280, 1024}}, Show(kBordered1024));
  const size_t before = fHost->Placed().size();
  fViewer->HandleEngineMessage(
      Message(TViewerMessage::WindowGeometry, {640, 480, static_cast<int32_t>(TWindowStyle::Borderless)}));
  ASSERT_EQ(fHost->Placed().size(), before + 1);
  TWindowGeometry g = fHost->LastPlaced();
  EXPECT_FALSE(g.bordered);
  EXPECT_EQ(g.window, TRect::FromSize((1280 - 640) / 2, (1024 - 480) / 2, 640, 480));

  fViewer->HandleEngineMessage(
      Message(TViewerMessage::WindowGeometry, {800, 600, static_cast<int32_t>(TWindowStyle::Bordered)}));
  g = fHost->LastPlaced();
  EXPECT_TRUE(g.bordered);
  EXPECT_EQ(g.clientWidth, 800);
  EXPECT_EQ(g.window, TRect::FromSize((1280 - 808) / 2, (1024 - 630) / 2, 808, 630));
}

// ---------------------------------------------------------------------------
// Requests to the engine

TEST_F(ViewerLoad, PausingTwiceInARowPostsOneMessage) {
  fLog = std::make_unique<TLogCapture>();
  TLogCapture& log = *fLog;
  const auto PauseEvents = [&] { return log.Containing("TZelEngine: SetPauseEvent"); };
  const auto SeekEvents = [&] { return log.Containing("TZelEngine: SetPosition Async"); };
  Load({{0, 0, 1280, 1024}}, Show(kBordered1024));
  ASSERT_TRUE(fViewer->EngineRunning());
  EXPECT_TRUE(fViewer->Paused());

  fViewer->SetPaused(false);
  fViewer->SetPaused(false);
  EXPECT_FALSE(fViewer->Paused());
  // The engine takes its messages in order: once the seek behind them has
  // been taken, so have they.
  fViewer->Seek(1000);
  ASSERT_TRUE(WaitUntil([&] { return SeekEvents() >= 1; }));
  EXPECT_EQ(PauseEvents(), 1);

  fViewer->SetPaused(true);
  fViewer->SetPaused(true);
  EXPECT_TRUE(fViewer->Paused());
  fViewer->Seek(2000);
  ASSERT_TRUE(WaitUntil([&] { return SeekEvents() >= 2; }));
  EXPECT_EQ(PauseEvents(), 2);
  std::vector<std::string> pauses;
  for (const std::string& line : log.Lines())
    if (line.find("TZelEngine: SetPauseEvent") != std::string::npos) pauses.push_back(line);
  ASSERT_EQ(pauses.size(), 2u);
  EXPECT_NE(pauses[0].find("False"), std::string::npos) << pauses[0];
  EXPECT_NE(pauses[1].find("True"), std::string::npos) << pauses[1];
}

TEST_F(ViewerLoad, ANegativeSeekIsIgnoredAndASeekIsRememberedAsThePosition) {
  fLog = std::make_unique<TLogCapture>();
  Load({{0, 0, 1280, 1024}}, Show(kBordered1024), NullDrawerSettings(), 1500, KeepingReports());
  const auto reports = [this] { return Reports(); };
  // The paused show reports where it stands once.
  ASSERT_TRUE(WaitUntil([&] { return !reports().empty(); }));
  EXPECT_EQ(reports().front(), 1500);
  EXPECT_EQ(fViewer->Position(), 1500);

  fViewer->Seek(-1);
  EXPECT_EQ(fViewer->Position(), 1500);
  fViewer->Seek(2000);
  EXPECT_EQ(fViewer->Position(), 2000);
  // The engine reports the new place; the ignored seek never reached it.
  ASSERT_TRUE(WaitUntil([&] { return reports().back() == 2000; }));
  EXPECT_EQ(fLog->Containing("TZelEngine: SetPosition Async"), 1);
  EXPECT_EQ(fViewer->Position(), 2000);
  EXPECT_EQ(fViewer->Length(), 15000);
  // A report sent before the engine took a later seek does not put the old
  // place back.
  fViewer->Seek(5000);
  fViewer->HandleEngineMessage(Message(TViewerMessage::Position, {0, 2100, 15000, 0}));
  EXPECT_EQ(fViewer->Position(), 5000);
}

TEST_F(ViewerLoad, TheEnginesFirstFrameShowsTheWindowOnce) {
  Load({{0, 0, 1280, 1024}}, Show(kBordered1024));
  ASSERT_TRUE(WaitUntil([&] { return fHost->Shown() > 0; }));
  EXPECT_TRUE(fHost->Visible());
  EXPECT_EQ(fHost->VisibilityQueries(), 1);
  // The show loaded again into the running engine: its first frame finds
  // the window shown.
  fViewer->LoadShow(DefaultAccessor(), *fProject, 5000);
  ASSERT_TRUE(WaitUntil([&] { return fHost->VisibilityQueries() >= 2; }));
  EXPECT_EQ(fHost->Shown(), 1);
}

// ---------------------------------------------------------------------------
// The engine's messages

class ViewerMessages : public ::testing::Test {
 protected:
  ViewerMessages() : fHost({{0, 0, 1280, 1024}}), fViewer(fHost, NullDrawerSettings()) {}

  TFakeHost fHost;
  TZelShowViewer fViewer;
};

TEST_F(ViewerMessages, TheFirstFrameShowsAHiddenWindowOnly) {
  fViewer.HandleEngineMessage(Message(TViewerMessage::FirstFrame, {0, 0, 800, 600}));
  EXPECT_EQ(fHost.Shown(), 1);
  EXPECT_TRUE(fHost.Visible());
  fViewer.HandleEngineMessage(Message(TViewerMessage::FirstFrame, {0, 0, 800, 600}));
  EXPECT_EQ(fHost.Shown(), 1);
  EXPECT_TRUE(fHost.Placed().empty());
}

TEST_F(ViewerMessages, APositionUpdatesPositionAndLengthAndReachesTheCallback) {
  std::vector<std::pair<int32_t, bool>> calls;
  fViewer.SetCallbacks({[&](int32_t position, bool ended) { calls.emplace_back(position, ended); }, nullptr, nullptr});
  fViewer.HandleEngineMessage(Message(TViewerMessage::Position, {1, 1234, 25000, 0}));
  EXPECT_EQ(fViewer.Position(), 1234);
  EXPECT_EQ(fViewer.Length(), 25000);
  fViewer.HandleEngineMessage(Message(TViewerMessage::Position, {1, 25000, 25000, 1}));
  EXPECT_EQ(fViewer.Position(), 25000);
  const std::vector<std::pair<int32_t, bool>> expected = {{1234, false}, {25000, true}};
  EXPECT_EQ(calls, expected);
}

TEST_F(ViewerMessages, AShortPositionMessageCountsAsNotEnded) {
  std::vector<std::pair<int32_t, bool>> calls;
  fViewer.SetCallbacks({[&](int32_t position, bool ended) { calls.emplace_back(position, ended); }, nullptr, nullptr});
  fViewer.HandleEngineMessage(Message(TViewerMessage::Position, {1, 700}));
  EXPECT_EQ(fViewer.Position(), 700);
  EXPECT_EQ(fViewer.Length(), 0);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_FALSE(calls[0].second);
}

TEST_F(ViewerMessages, AnActionReachesTheCallbackParsed) {
  std::vector<TZelActionInfo> actions;
  fViewer.SetCallbacks({nullptr, [&](const TZelActionInfo& action) { actions.push_back(action); }, nullptr});
  fViewer.HandleEngineMessage(Message(TViewerMessage::Action, {}, u"gotoslide(3)"));
  fViewer.HandleEngineMessage(Message(TViewerMessage::Action, {}, u"NextSlide"));
  // Without a text there is nothing to do.
  fViewer.HandleEngineMessage(Message(TViewerMessage::Action, {}));
  ASSERT_EQ(actions.size(), 2u);
  EXPECT_EQ(actions[0].kind, TActionKind::GoToSlide);
  EXPECT_EQ(actions[0].number, 3);
  EXPECT_EQ(actions[1].kind, TActionKind::NextSlide);
}

TEST_F(ViewerMessages, AGrabbedFrameCallsPrintAndMessagesWithoutCallbacksAreHarmless) {
  int prints = 0;
  fViewer.HandleEngineMessage(Message(TViewerMessage::GrabbedFrame, {}));
  fViewer.HandleEngineMessage(Message(TViewerMessage::Position, {1, 10, 20, 1}));
  fViewer.HandleEngineMessage(Message(TViewerMessage::Action, {}, u"gotoslide(3)"));
  EXPECT_EQ(fViewer.Position(), 10);
  fViewer.SetCallbacks({nullptr, nullptr, [&] { ++prints; }});
  fViewer.HandleEngineMessage(Message(TViewerMessage::GrabbedFrame, {}));
  EXPECT_EQ(prints, 1);
}

TEST_F(ViewerMessages, AnUnknownMessageIsLogged) {
  TLogCapture log;
  fViewer.HandleEngineMessage(TZelEventData(99, {}));
  EXPECT_EQ(log.Containing("unknown engine message 99"), 1);
  EXPECT_TRUE(fHost.Placed().empty());
  EXPECT_EQ(fHost.Shown(), 0);
}

// ---------------------------------------------------------------------------
// Before any show

TEST_F(ViewerMessages, RequestsBeforeALoadAreIgnored) {
  EXPECT_EQ(fViewer.Engine(), nullptr);
  EXPECT_FALSE(fViewer.EngineRunning());
  fViewer.Seek(3000);
  EXPECT_EQ(fViewer.Position(), 0);
  fViewer.SeekAndSetPaused(4000, true);
  EXPECT_EQ(fViewer.Position(), 0);
  // The pause state is kept for the show to come.
  fViewer.SetPaused(false);
  EXPECT_FALSE(fViewer.Paused());
  fViewer.Help();
  fViewer.CloseDialog();
  fViewer.Print();
  fViewer.Mouse(TMouseData::TKind::Press, 1, 10, 10);
  fViewer.MouseWithAction(TMouseData::TKind::Release, 1, 10, 10, {TActionKind::NextSlide, 0, {}});
  fViewer.SetActionsEnabled(false);
  fViewer.SetWindowActive(false);
  fViewer.StopEngine();
  EXPECT_EQ(fViewer.Engine(), nullptr);
  EXPECT_TRUE(fHost.Placed().empty());
  EXPECT_EQ(fHost.Shown(), 0);
}

TEST_F(ViewerMessages, AProjectWithoutAMainSectionLoadsNothing) {
  TLogCapture log;
  auto project = ParseProject("[Slide1]\n");
  fViewer.LoadShow(DefaultAccessor(), *project, 0);
  EXPECT_EQ(fViewer.Engine(), nullptr);
  EXPECT_TRUE(fHost.Placed().empty());
  EXPECT_EQ(log.Containing("the project has no main section"), 1);
}

}  // namespace
}  // namespace zel
