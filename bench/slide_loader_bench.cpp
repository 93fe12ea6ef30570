// How long the player takes to have its first window of slides ready: a
// generated show of 100 slides, each a 24-megapixel JPEG photo, opened from
// its project text and laid out for a 1920 x 1080 frame; the slide loader
// builds the three slides of the first window, then every picture is decoded
// at the level its object chose, as the drawer asks for it. Held against
// djpeg decoding the same three files at the same scales one after another,
// the floor for this work on one core, and against a memory budget.
//
// Usage: slide_loader_bench [RUNS]   (default 5; the median is reported)
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

#include "core/strings.h"
#include "imaging/bitmap_store.h"
#include "imaging/picture_loading.h"
#include "package/show_locator.h"
#include "player/slide_loader.h"
#include "show/picture_object.h"
#include "show/zel_source.h"
#include "synthetic_photo.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using TClock = std::chrono::steady_clock;

constexpr int kSlideCount = 100;
constexpr int kDistinctPhotos = 3;  // the first window's three slides
constexpr int kFrameWidth = 1920;
constexpr int kFrameHeight = 1080;
constexpr int kSlideLengthMs = 5000;
constexpr double kRatioGoal = 1.5;
constexpr double kPeakGoalMb = 500;
constexpr char kDjpeg[] = "/usr/bin/djpeg";

double MsSince(TClock::time_point start) {
  return std::chrono::duration<double, std::milli>(TClock::now() - start).count();
}

std::string PhotoName(int slide) {
  char name[32];
  std::snprintf(name, sizeof name, "photo_%03d.jpg", slide + 1);
  return name;
}

// A show folder in the temporary directory, removed with the object: three
// distinct photos for slides 1 to 3, the later slides' files hard links to
// them in turn (generating stays quick; the window never reads them), and
// the project text.
class TShowFolder {
 public:
  TShowFolder() : fDir(fs::temp_directory_path() / ("zel_slide_loader_bench_" + std::to_string(getpid()))) {
    fs::remove_all(fDir);
    fs::create_directories(fDir);
    for (int i = 0; i < kDistinctPhotos; ++i) WritePhoto(i);
    for (int i = kDistinctPhotos; i < kSlideCount; ++i)
      fs::create_hard_link(fDir / PhotoName(i % kDistinctPhotos), fDir / PhotoName(i));
    WriteProject();
  }
  ~TShowFolder() {
    std::error_code ignored;
    fs::remove_all(fDir, ignored);
  }
  TShowFolder(const TShowFolder&) = delete;
  TShowFolder& operator=(const TShowFolder&) = delete;

  std::string ProjectFile() const { return (fDir / "Project.zel").string(); }
  std::string PhotoFile(int slide) const { return (fDir / PhotoName(slide)).string(); }
  uintmax_t PhotoBytes(int slide) const { return fs::file_size(fDir / PhotoName(slide)); }

 private:
  void WritePhoto(int slide) const {
    const std::vector<uint8_t> photo =
        zel::bench::MakeSyntheticPhoto(zel::bench::kGrainy, 12345u + 7919u * static_cast<uint32_t>(slide));
    std::ofstream(fDir / PhotoName(slide), std::ios::binary)
        .write(reinterpret_cast<const char*>(photo.data()), static_cast<std::streamsize>(photo.size()));
  }
  void WriteProject() const {
    std::ofstream out(fDir / "Project.zel");
    out << "[Main]\nopt_slidescount=" << kSlideCount << "\nopt_scr_width=" << kFrameWidth
        << "\nopt_scr_height=" << kFrameHeight << "\nopt_scr_full=1\n";
    for (int i = 1; i <= kSlideCount; ++i) out << "opt_synchpos" << i << "=" << i * kSlideLengthMs << "\n";
    for (int i = 0; i < kSlideCount; ++i)
      out << "[Slide" << i + 1 << "]\nobject P: Image\n  ImageName=" << PhotoName(i) << "\nend\n";
  }

  fs::path fDir;
};

// What one build of the first window gave.
struct TWindowRun {
  double openMs = 0;      // the project read and the show set up
  double buildMs = 0;     // the loader's steps until the window is complete
  double decodeMs = 0;    // every picture at its level
  double showTimeMs = 0;  // where the window stands
  std::vector<int64_t> slideNumbers;
  std::vector<int> levels;  // one per picture object, window order
  std::vector<std::string> pictureSizes;
  double TotalMs() const { return openMs + buildMs + decodeMs; }
};

void CollectPictures(zel::TZelObject& object, std::vector<zel::TZelImage*>& pictures) {
  if (auto* image = dynamic_cast<zel::TZelImage*>(&object)) pictures.push_back(image);
  for (zel::TZelObject* child : object.Children()) CollectPictures(*child, pictures);
}

// Decodes each picture at its object's level, as the drawer does before it
// first draws the slide.
void DecodePictures(const std::vector<zel::TZelImage*>& pictures, TWindowRun& run) {
  for (zel::TZelImage* image : pictures) {
    zel::TImage* picture = image->Picture();
    if (!picture) throw std::runtime_error("a slide's picture did not load");
    const zel::TBitmap* bitmap = picture->GetMipLevel(image->Level());
    if (!bitmap) throw std::runtime_error("a picture did not decode");
    run.levels.push_back(image->Level());
    run.pictureSizes.push_back(std::to_string(bitmap->Width()) + "x" + std::to_string(bitmap->Height()));
  }
}

// One build from nothing: a new locator, source and loader, so that the
// picture cache starts empty and every picture is read and decoded again.
TWindowRun BuildFirstWindow(const std::string& projectFile) {
  TWindowRun run;
  auto start = TClock::now();
  std::unique_ptr<zel::TZelShowLocator> locator = zel::OpenProjectFile(zel::Utf8ToString(projectFile));
  if (!locator || !locator->Project()) throw std::runtime_error("the project did not open: " + projectFile);
  // The locator keeps its accessor and document; it outlives the source.
  zel::TZelSource source(&locator->Accessor(), false, locator->Project(), false, u"slide_loader_bench");
  {
    // At time 0 the window still holds the blank that leads into slide 1;
    // once that transition is over it is slides 1 to 3, all photos.
    auto timing = zel::MakeRef<zel::TTiming>();
    run.showTimeMs = source.SlideTimes(-1).outEnd + 1;
    timing->SetCurrentTime(run.showTimeMs);
    zel::TZelSlideLoader loader(&source, 3, false, timing, nullptr, {kFrameWidth, kFrameHeight});
    loader.SetFrameSize(kFrameWidth, kFrameHeight);
    run.openMs = MsSince(start);

    start = TClock::now();
    while (!loader.WindowComplete()) loader.Step();
    run.buildMs = MsSince(start);

    start = TClock::now();
    std::vector<zel::TZelImage*> pictures;
    for (const auto& container : loader.Cache().Containers()) {
      run.slideNumbers.push_back(container->Number());
      if (container->Slide()) CollectPictures(*container->Slide(), pictures);
    }
    DecodePictures(pictures, run);
    run.decodeMs = MsSince(start);
  }
  return run;
}

// djpeg on the files one after another, each at 1/2^level, output thrown
// away; process start included, as it is part of that floor.
double RunDjpeg(const std::vector<std::string>& files, const std::vector<int>& levels) {
  const auto start = TClock::now();
  for (size_t i = 0; i < files.size(); ++i) {
    std::string scale = "1/" + std::to_string(1 << levels[i]);
    std::string file = files[i];
    std::string program = kDjpeg, scaleFlag = "-scale", outFlag = "-outfile", devNull = "/dev/null";
    char* argv[] = {program.data(), scaleFlag.data(), scale.data(), outFlag.data(), devNull.data(), file.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, kDjpeg, nullptr, nullptr, argv, environ) != 0) throw std::runtime_error("djpeg did not start");
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
      throw std::runtime_error("djpeg failed on " + files[i]);
  }
  return MsSince(start);
}

// The process's peak resident set (children not counted).
double PeakResidentMb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // KiB on Linux
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

template <typename T>
std::string JoinWords(const std::vector<T>& values) {
  std::string text;
  for (const T& value : values) {
    if (!text.empty()) text += " ";
    if constexpr (std::is_same_v<T, std::string>) text += value;
    else text += std::to_string(value);
  }
  return text;
}

struct TMeasurements {
  std::vector<double> total, open, build, decode, djpeg;
  TWindowRun first;
};

// Ours and djpeg take turns, so that a noisy neighbour weighs on both alike.
// One build and one djpeg round before the timed runs warm the file cache
// and the decoders' one-time set-up.
TMeasurements Measure(const TShowFolder& show, int runs) {
  TMeasurements m;
  m.first = BuildFirstWindow(show.ProjectFile());
  if (m.first.levels.size() != static_cast<size_t>(kDistinctPhotos))
    throw std::runtime_error("the first window (slides " + JoinWords(m.first.slideNumbers) + ") holds " +
                             std::to_string(m.first.levels.size()) + " pictures, not 3");
  std::vector<std::string> files;
  for (int i = 0; i < kDistinctPhotos; ++i) files.push_back(show.PhotoFile(i));
  RunDjpeg(files, m.first.levels);
  for (int r = 0; r < runs; ++r) {
    const TWindowRun run = BuildFirstWindow(show.ProjectFile());
    m.total.push_back(run.TotalMs());
    m.open.push_back(run.openMs);
    m.build.push_back(run.buildMs);
    m.decode.push_back(run.decodeMs);
    m.djpeg.push_back(RunDjpeg(files, m.first.levels));
  }
  return m;
}

void Report(const TShowFolder& show, const TMeasurements& m, int runs, double peakBeforeMb) {
  const double ours = Median(m.total), djpeg = Median(m.djpeg), peak = PeakResidentMb();
  std::printf("show: %d slides, photos %dx%d (%.1f, %.1f, %.1f MB), frame %dx%d\n", kSlideCount,
              zel::bench::kPhotoWidth, zel::bench::kPhotoHeight, show.PhotoBytes(0) / 1e6, show.PhotoBytes(1) / 1e6,
              show.PhotoBytes(2) / 1e6, kFrameWidth, kFrameHeight);
  std::printf("window slides: %s (at show time %.0f ms)\n", JoinWords(m.first.slideNumbers).c_str(),
              m.first.showTimeMs);
  std::printf("levels chosen: %s (decoded %s)\n", JoinWords(m.first.levels).c_str(),
              JoinWords(m.first.pictureSizes).c_str());
  std::printf("first window ready (median of %d): %.1f ms\n", runs, ours);
  std::printf("  of which open show %.1f ms, window build %.1f ms, decode at levels %.1f ms\n", Median(m.open),
              Median(m.build), Median(m.decode));
  std::printf("djpeg, same 3 files at the same scales, one after another (median of %d): %.1f ms\n", runs, djpeg);
  std::printf("ratio ours / djpeg %.2f (goal <= %.1f) %s\n", ours / djpeg, kRatioGoal,
              ours / djpeg <= kRatioGoal ? "met" : "MISSED");
  std::printf("peak %.0f MB (goal < %.0f MB) %s; before the first build %.0f MB\n", peak, kPeakGoalMb,
              peak < kPeakGoalMb ? "met" : "MISSED", peakBeforeMb);
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  if (access(kDjpeg, X_OK) != 0) {
    std::fprintf(stderr, "%s is missing (Debian package libjpeg-turbo-progs)\n", kDjpeg);
    return 1;
  }
  try {
    zel::InstallPictureLoading();
    const TShowFolder show;
    const double peakBeforeMb = PeakResidentMb();
    const TMeasurements m = Measure(show, runs);
    Report(show, m, runs, peakBeforeMb);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "slide_loader_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
