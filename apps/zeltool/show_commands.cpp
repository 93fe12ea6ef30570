// The subcommands that look at a show the way the player sees it: its time
// table, the transition chosen for every slide, and a slide's object tree
// at a moment of the show.
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "imaging/picture_loading.h"
#include "package/file_source.h"
#include "package/show_locator.h"
#include "package/zel_unpack.h"
#include "ini/ini_document.h"
#include "show/zel_slide.h"
#include "show/zel_slide_host.h"
#include "show/zel_source.h"
#include "tool.h"

namespace zel::tool {

namespace {

// The name the source is made with when the show does not live in a player
// of its own; it never ends in ".scr".
constexpr char16_t kToolName[] = u"zeltool";

// A project text opens with a byte-order mark, or its first non-blank
// character begins a section or a comment. Anything else that is no
// package is neither.
bool LooksLikeProjectText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  char head[4096];
  in.read(head, sizeof head);
  const auto size = static_cast<size_t>(in.gcount());
  const auto byte = [&head](size_t i) { return static_cast<unsigned char>(head[i]); };
  if (size >= 3 && byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF) return true;
  if (size >= 2 && ((byte(0) == 0xFF && byte(1) == 0xFE) || (byte(0) == 0xFE && byte(1) == 0xFF))) return true;
  for (size_t i = 0; i < size; ++i) {
    const char c = head[i];
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
    return c == '[' || c == ';';
  }
  return false;
}

// Whether the package is one appended to a player: only that form ends in
// the package length that lets a player find the show behind its own
// program, so the package stops short of the file's end. The show is then
// played by running that file itself.
bool IsExecutablePackage(const TZelShowLocator& locator) {
  auto* packed = dynamic_cast<TPackedFileSource*>(&locator.Accessor().Source());
  if (!packed) return false;
  std::error_code error;
  const auto size = std::filesystem::file_size(packed->Package().FileName(), error);
  return !error && static_cast<int64_t>(size) > packed->Package().PackageEnd();
}

// Numbers in the shortest fixed-point text that reads back the same value
// (never an exponent, so 1,000,000 ms stays "1000000").
template <typename T>
std::string NumberText(T value) {
  if (value == 0) value = 0;  // no "-0"
  char buffer[400];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
  return std::string(buffer, result.ptr);
}

std::string ColorText(TRgbColor color) {
  return std::to_string(color.red) + "," + std::to_string(color.green) + "," + std::to_string(color.blue);
}

const char* FlagText(bool flag) { return flag ? "1" : "0"; }

// DEPTH TYPE NAME SHOWN OPACITY OX OY OZ XX XY XZ YX YY YZ W H CX CY for the
// object and everything below it, depth first in project order.
void PrintObjectTree(const TZelObject& object, int depth) {
  const T3DVector& o = object.Origin();
  const T3DVector& x = object.XAxis();
  const T3DVector& y = object.YAxis();
  std::printf("%d %s %s %s %s %s %s %s %s %s %s %s %s %s %d %d %s %s\n", depth, WordText(object.TypeName()).c_str(),
              WordText(object.Name()).c_str(), FlagText(object.Drawable()), NumberText(object.Opacity()).c_str(),
              NumberText(o.x).c_str(), NumberText(o.y).c_str(), NumberText(o.z).c_str(), NumberText(x.x).c_str(),
              NumberText(x.y).c_str(), NumberText(x.z).c_str(), NumberText(y.x).c_str(), NumberText(y.y).c_str(),
              NumberText(y.z).c_str(), object.Size().width, object.Size().height,
              NumberText(object.CornerOffset().x).c_str(), NumberText(object.CornerOffset().y).c_str());
  for (const TZelObject* child : object.Children()) PrintObjectTree(*child, depth + 1);
}

bool ParseWholeNumber(const std::string& text, int64_t& value) {
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  return result.ec == std::errc() && result.ptr == text.data() + text.size();
}


// "WxH" with both sides from 1 to 65535.
bool ParseFrame(const std::string& text, int32_t& width, int32_t& height) {
  const size_t x = text.find('x');
  if (x == std::string::npos) return false;
  int64_t w = 0, h = 0;
  if (!ParseWholeNumber(text.substr(0, x), w) || !ParseWholeNumber(text.substr(x + 1), h)) return false;
  if (w < 1 || h < 1 || w > 65535 || h > 65535) return false;
  width = static_cast<int32_t>(w);
  height = static_cast<int32_t>(h);
  return true;
}

}  // namespace

std::string PercentEscaped(TStringView text, bool blanksToo) {
  std::string escapedText;
  for (const char c : StringToUtf8(text)) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || (blanksToo && u == 0x20) || u == 0x7F || c == '%') {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", u);
      escapedText += escaped;
    } else {
      escapedText += c;
    }
  }
  return escapedText;
}

// A text field as one word: "-" when empty; spaces, "%", control
// characters and a lone "-" written as %XX.
std::string WordText(TStringView text) {
  if (text.empty()) return "-";
  if (text == u"-") return "%2D";
  return PercentEscaped(text, true);
}

bool ParseShowTime(const std::string& text, double& value) {
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  return result.ec == std::errc() && result.ptr == text.data() + text.size() && std::isfinite(value);
}

TToolShow::TToolShow() = default;
TToolShow::~TToolShow() = default;
TToolSlide::TToolSlide() = default;
TToolSlide::~TToolSlide() {
  // The objects reach their host while they are freed.
  slide.reset();
  host.reset();
}

int OpenToolShow(const std::string& path, std::string_view command, TToolShow& show) {
  show.source.reset();
  show.locator.reset();
  std::string message;
  show.locator = OpenExecutableShow(Utf8ToString(path), message);
  bool executable = false;
  if (show.locator) {
    executable = IsExecutablePackage(*show.locator);
  } else if (!message.empty()) {
    // Missing, damaged or modified, or a package without a project.
    return Fail(command, message + ": " + path);
  } else if (!LooksLikeProjectText(path)) {
    return Fail(command, "neither a show package nor a project file: " + path);
  } else {
    show.locator = OpenProjectFile(Utf8ToString(path));
    if (!show.locator) return Fail(command, "cannot read the project " + path);
  }
  if (!show.locator->Project()->FindSection(u"main"))
    return Fail(command, "the project has no main section: " + path);
  // A player that carries its show is started as that very file, so the
  // file's name decides the screen-saver overrides ("SHOW.scr") exactly as
  // in the player. A show file or a project file is opened by a player of
  // some other name, which is not known here: it is taken for a plain one.
  const TString playerName = executable ? Utf8ToString(path) : TString(kToolName);
  try {
    // The locator keeps its accessor and document; it outlives the source.
    show.source = std::make_unique<TZelSource>(&show.locator->Accessor(), false, show.locator->Project(), false,
                                               playerName);
  } catch (const std::exception& e) {
    return Fail(command, e.what());  // "Incorrect time" among others
  }
  return 0;
}

int RunTimetable(TArguments arguments) {
  if (arguments.size() != 1) return UsageError("timetable");
  TToolShow show;
  if (const int code = OpenToolShow(arguments[0], "timetable", show)) return code;
  const TSlideInfoList& slides = show.source->SlideInfos();
  for (size_t i = 0; i < slides.size(); ++i) {
    const TSlideInfo& s = slides[i];
    std::printf("%zu %s %s %s %s %s %s\n", i, NumberText(s.start).c_str(), NumberText(s.end).c_str(),
                NumberText(s.inEffect).c_str(), NumberText(s.outEffect).c_str(), NumberText(s.outEnd).c_str(),
                WordText(s.slideId).c_str());
  }
  std::printf("TOTAL %s\n", NumberText(show.source->TotalLength()).c_str());
  return 0;
}

int RunEffects(TArguments arguments) {
  if (arguments.size() != 1) return UsageError("effects");
  TToolShow show;
  if (const int code = OpenToolShow(arguments[0], "effects", show)) return code;
  TZelSource& source = *show.source;
  // Every choice draws from the pool and the generator: one each, in order.
  for (int32_t i = 0; i < source.SlideCount(); ++i) {
    const TSlideEffect e = source.EffectForSlide(i);
    const TEffectParams& p = e.params;
    std::string line = std::to_string(i) + " " + std::to_string(e.effectClass) + " " + std::to_string(e.variant) +
                       " " + NumberText(e.duration);
    const std::string fields[] = {
        NumberText(p.smoothLine),   NumberText(p.broomOffset),  NumberText(p.rollDiameter),
        FlagText(p.rollVariants),   FlagText(p.rollUseBackColor), ColorText(p.rollBackColor),
        FlagText(p.roll3D),         NumberText(p.rollCurving),  FlagText(p.flipCenter),
        NumberText(p.flipCurving),  FlagText(p.flipSmooth),     NumberText(p.swapDepth),
        NumberText(p.swapWidth),    NumberText(p.swapMaxAngle), std::to_string(p.centerX),
        std::to_string(p.centerY),  std::to_string(p.mosaicDX), std::to_string(p.mosaicDY),
        std::to_string(p.mosaicSC), std::to_string(p.seed),     WordText(p.customEffects),
    };
    for (const std::string& field : fields) line += " " + field;
    std::printf("%s\n", line.c_str());
  }
  return 0;
}

int OpenToolSlide(TArguments arguments, std::string_view command, size_t positionals, TToolSlide& slide) {
  std::vector<std::string> given;
  std::string timeText, frameText;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& a = arguments[i];
    if ((a == "--time" || a == "--frame") && i + 1 < arguments.size()) {
      (a == "--time" ? timeText : frameText) = arguments[++i];
    } else if (given.size() < positionals && a.rfind("--", 0) != 0) {
      given.push_back(a);
    } else {
      return UsageError(command);
    }
  }
  int64_t index = 0;
  double time = 0;
  if (given.size() != positionals || !ParseWholeNumber(given[1], index) || !ParseShowTime(timeText, time))
    return UsageError(command);
  slide.positionals = given;
  int32_t width = 0, height = 0;
  if (!frameText.empty() && !ParseFrame(frameText, width, height))
    return Fail(command, "the frame must be WIDTHxHEIGHT, each from 1 to 65535: " + frameText);

  InstallPictureLoading();
  if (const int code = OpenToolShow(given[0], command, slide.show)) return code;
  TZelSource& source = *slide.show.source;
  if (source.SlideCount() <= 0) return Fail(command, "the show has no slides");
  if (index < 0) return Fail(command, "no slide at position " + given[1]);
  // Later rounds of a repeated show play the sections of the first round
  // at their own, later times.
  const TIniSection* section = source.SlideSection(index % source.SlideCount());
  if (!section) return Fail(command, "no slide section for position " + given[1]);
  const TIniSection& main = source.MainSection();
  // Laid out at the show's design size at 100 %, in a view of that size.
  if (frameText.empty()) {
    width = main.ReadInteger(u"opt_scr_width", 640);
    height = main.ReadInteger(u"opt_scr_height", 480);
    if (width < 1 || height < 1) return Fail(command, "the show's design size is empty; give --frame WxH");
  }
  slide.width = width;
  slide.height = height;
  try {
    slide.host = std::make_unique<TZelSlideHost>(&source);
    slide.host->SetViewBounds(width, height);
    slide.slide = std::make_unique<TZelSlide>(slide.host.get(), index);
    slide.slide->SetLayout({width, height}, 100, 100, {width / 2.0, height / 2.0, 0});
    slide.slide->Load(main, *section, true, source.SlideTimes(index));
    slide.slide->SetTimeAndUpdate(time);
  } catch (const std::exception& e) {
    return Fail(command, e.what());
  }
  return 0;
}

int RunSlide(TArguments arguments) {
  TToolSlide slide;
  if (const int code = OpenToolSlide(arguments, "slide", 2, slide)) return code;
  PrintObjectTree(*slide.slide, 0);
  return 0;
}

}  // namespace zel::tool
