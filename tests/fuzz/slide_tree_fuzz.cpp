// Fuzz entry point for building a slide: any project text, read as a slide
// and its object tree, must build, animate, place, hit-test, re-read and
// free without crashing, whatever numbers and nesting it holds.
#include <cstddef>
#include <cstdint>
#include <limits>

#include "core/exceptions.h"
#include "core/streams.h"
#include "ini/ini_parser.h"
#include "show/zel_slide.h"
#include "show/zel_slide_host.h"

namespace {

void Walk(zel::TZelObject& object) {
  (void)object.Corners(2);
  (void)object.Drawable();
  for (zel::TZelObject* child : object.Children()) Walk(*child);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zel::TIniFile project;
  zel::TMemoryStream stream;
  stream.Write(std::span<const uint8_t>(data, size));
  stream.SetPosition(0);
  try {
    if (!project.LoadFromStream(stream)) return 0;
  } catch (const zel::TCommonException&) {
    return 0;  // text that does not decode is the reader's refusal, not a slide
  }
  zel::TIniSection* section = project.FindSection(u"Slide1");
  if (!section) return 0;
  zel::TIniSection* main = project.FindSection(u"Main");
  zel::TIniSection empty(u"[Main]", 1, 4);

  zel::TZelSlideHost host;
  host.SetViewBounds(800, 600);
  zel::TZelSlide slide(&host, 0);
  slide.SetLayout({800, 600}, 100, 100, {400, 300, 0});
  zel::TSlideInfo times;
  times.inEffect = 500;
  times.outEffect = 500;
  slide.Load(main ? *main : empty, *section, false, times);
  for (const double t : {-1.0, 0.0, 250.0, 1000.0, 3999.5, 1e9, std::numeric_limits<double>::quiet_NaN()}) {
    slide.SetTimeAndUpdate(t);
    Walk(slide);
    (void)slide.HitTest(400, 300);
    (void)slide.HitTest(-1e6f, 5);
  }
  slide.ReadFromProject(*section);
  slide.SetTimes(100, 50, 1e300, -5);
  slide.SetTimeAndUpdate(75);
  Walk(slide);
  return 0;
}
