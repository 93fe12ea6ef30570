#include "textout/vector_text.h"

#include <algorithm>

#include "textout/ft_vectorizer.h"

namespace zel {

void TLineMetricsBuilder::Add(const TGlyphMetrics& g) {
  const int64_t x = g.X;
  const int64_t extents[] = {x, x + g.A, x + g.A + g.B, x + g.A + g.B + g.C};
  const auto [lo, hi] = std::minmax_element(std::begin(extents), std::end(extents));
  if (!fAny) {
    fPenStart = x;
    fLeft = *lo;
    fRight = *hi;
    fLineAscent = g.Ascent;
    fLineDescent = g.Descent;
    fAny = true;
  } else {
    fLeft = std::min(fLeft, *lo);
    fRight = std::max(fRight, *hi);
    fLineAscent = std::max(fLineAscent, g.Ascent);
    fLineDescent = std::max(fLineDescent, g.Descent);
  }
  fPenEnd = x + g.Advance;
}

TLineMetrics TLineMetricsBuilder::Result() const {
  TLineMetrics m;
  if (!fAny) {
    m.Ascent = fAscent;
    m.Descent = fDescent;
  } else {
    m.LeftBearing = static_cast<int32_t>(fLeft - fPenStart);
    m.InkWidth = static_cast<int32_t>(fRight - fLeft);
    m.RightBearing = static_cast<int32_t>(fPenEnd - fRight);
    m.AdvanceWidth = static_cast<int32_t>(fPenEnd - fPenStart);
    m.Ascent = fLineAscent;
    m.Descent = fLineDescent;
  }
  m.Height = m.Ascent + m.Descent;
  return m;
}

namespace {
TVectorizerFactory& Factory() {
  static TVectorizerFactory factory;
  return factory;
}
}  // namespace

TVectorizerFactory SetVectorizerFactory(TVectorizerFactory factory) {
  return std::exchange(Factory(), std::move(factory));
}

std::unique_ptr<TVectorizer> CreateVectorizer() {
  if (Factory()) return Factory()();
  return std::make_unique<TFtVectorizer>();
}

}  // namespace zel
