// 1,000 distinct text pictures of 20 to 80 characters at 48 px, through our
// layout and scan converter, beside FreeType's own rasteriser rendering the
// same glyphs one by one. The ratio of the two is the figure to watch; it
// is printed last (FreeType's rate over ours, from CPU times).
#include <benchmark/benchmark.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "textout/ft_font_library.h"
#include "textout/simple_vector_text.h"
#include "textout/text_producer.h"

namespace {

const char* const kFontFile = "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf";
constexpr int kPictures = 1000;
constexpr int kPixelSize = 48;

const std::vector<zel::TString>& Texts() {
  static const std::vector<zel::TString> texts = [] {
    const char16_t* words[] = {u"slide", u"show", u"holiday", u"beach", u"Summer", u"mountains", u"river",
                               u"family", u"Autumn", u"light", u"evening", u"garden", u"2026", u"friends"};
    std::vector<zel::TString> out;
    uint32_t x = 12345;
    for (int i = 0; i < kPictures; ++i) {
      x = x * 1103515245u + 12345u;
      const size_t length = 20 + (x >> 16) % 61;
      zel::TString text = zel::IntToStr(i) + u" ";
      while (text.size() < length) {
        x = x * 1103515245u + 12345u;
        text += words[(x >> 16) % std::size(words)];
        text += u' ';
      }
      text.resize(length);
      out.push_back(text);
    }
    return out;
  }();
  return texts;
}

void OurTextPictures(benchmark::State& state) {
  zel::TFtFontLibrary::Instance().AddFontFile(kFontFile);
  zel::SetScreenResolution(96);
  zel::TFontParams font;
  font.FontName = u"Liberation Sans";
  // The vector text's design size is 72 points at 96 dpi: 96 pixels an em.
  const float scale = static_cast<float>(kPixelSize) / 96.0f;
  for (auto _ : state) {
    for (const auto& text : Texts()) {
      zel::TTextProducer producer;
      producer.SetVectorText(std::make_unique<zel::TSimpleVectorText>(font, std::vector<zel::TString>{text}));
      auto picture = producer.Produce(zel::MakeColor(255, 255, 255), zel::MakeColor(255, 255, 255, 0), scale);
      benchmark::DoNotOptimize(picture.get());
    }
  }
  state.counters["pictures/s"] =
      benchmark::Counter(kPictures, benchmark::Counter::kIsIterationInvariantRate);
}

void FreeTypeGlyphs(benchmark::State& state) {
  FT_Library library;
  FT_Face face;
  if (FT_Init_FreeType(&library) || FT_New_Face(library, kFontFile, 0, &face)) {
    state.SkipWithError("no FreeType face");
    return;
  }
  FT_Set_Pixel_Sizes(face, 0, kPixelSize);
  for (auto _ : state) {
    for (const auto& text : Texts()) {
      for (char16_t c : text) {
        if (FT_Load_Char(face, c, FT_LOAD_NO_HINTING | FT_LOAD_RENDER) == 0) benchmark::DoNotOptimize(face->glyph->bitmap.buffer);
      }
    }
  }
  state.counters["pictures/s"] =
      benchmark::Counter(kPictures, benchmark::Counter::kIsIterationInvariantRate);
  FT_Done_Face(face);
  FT_Done_FreeType(library);
}

// The console table, keeping each benchmark's CPU time per iteration.
class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  TRatioReporter() : ConsoleReporter(OO_None) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs)
      if (run.run_type == Run::RT_Iteration && !run.error_occurred) Times[run.benchmark_name()] = run.GetAdjustedCPUTime();
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> Times;
};

}  // namespace

BENCHMARK(OurTextPictures)->Unit(benchmark::kMillisecond);
BENCHMARK(FreeTypeGlyphs)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  const auto ours = reporter.Times.find("OurTextPictures"), theirs = reporter.Times.find("FreeTypeGlyphs");
  if (ours != reporter.Times.end() && theirs != reporter.Times.end() && theirs->second > 0)
    std::printf("ratio (FreeType pictures/s / ours): %.2f\n", ours->second / theirs->second);
  return 0;
}
