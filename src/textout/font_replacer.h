// Font substitution: splits a text into runs, each shown by the requested
// font where it has the characters and otherwise by the first candidate font
// (of the same pitch class, in list order) that has them, sized so that its
// ascent just exceeds the requested font's.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

#include "core/obj.h"
#include "core/strings.h"
#include "textout/text_params.h"

namespace zel {

struct TFtFace;

// A run offered to the caller: its font (name, style and, for a substitute,
// the matched size), its characters and whether the font covers them. The
// caller may refuse a covered run, which then counts as not covered.
using TRunCallback = std::function<bool(const TFontParams& font, int first, int count, bool covered)>;

class TFontItem : public TObj {
 public:
  TFontParams Font;
  bool FixedPitch = false;
  // The face per style combination (none, bold, italic, both); null when the
  // font is not installed in that style.
  TFtFace* Face(uint8_t style);
  bool Covers(uint8_t style, char32_t c);

  // The last size match: the requested ascent and style, and the size found.
  int MatchAscent = -1;
  uint8_t MatchStyle = 0;
  float MatchSize = 0;

 private:
  bool fResolved[4] = {};
  TFtFace* fFaces[4] = {};
  friend class TFontReplacer;
  bool fFallback = false;  // the requested font falls back on the default face
};

class TFontReplacer {
 public:
  static TFontReplacer& Instance();

  // The candidate names in list order; tests and the player may replace
  // them (font items already made are kept).
  std::vector<TString> CandidateNames();
  void SetCandidates(const std::vector<TString>& names);

  // Splits text[first, first + count) and calls the callback for each run in
  // logical order.
  void SplitText(TStringView text, int first, int count, const TFontParams& font, const TRunCallback& callback);

  // The key of the font items: canonical decomposition, then case folding.
  static TString NormalizedName(TStringView name);

 private:
  TFontReplacer();
  TFontItem* Item(const TFontParams& font, bool fallback);
  float MatchedSize(TFontItem& substitute, TFontItem& requested, const TFontParams& font);
  void Split(size_t p, size_t e, TFontItem* item);
  TFontItem* NextCandidate(TFontItem* item);
  size_t ClusterEnd(size_t p) const;
  bool ClusterCovered(TFontItem* item, size_t p, size_t end) const;

  std::recursive_mutex fLock;
  std::unordered_map<TString, std::unique_ptr<TFontItem>> fItems;
  std::vector<TFontItem*> fCandidates;

  // The state of one SplitText call.
  TStringView fText;
  TFontItem* fRequested = nullptr;
  TFontParams fRequestedFont;
  const TRunCallback* fCallback = nullptr;
};

}  // namespace zel
