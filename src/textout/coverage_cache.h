// Coverage of the outlines already filled into the current picture, so that
// a repeated glyph is scan-converted once.
//
// Scan conversion is exactly invariant under whole-pixel moves: every
// crossing moves by the same multiple of 16 sub-columns. An outline whose
// edges equal a stored outline's, moved by whole pixels, therefore has the
// stored coverage, moved likewise. Only outlines wholly inside the painted
// area are stored or matched, as clipping at its borders would break this.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "textout/outline.h"

namespace zel {

class TCoverageCache {
 public:
  // A pixel row of coverage, columns Lo ... Hi, all relative to the origin.
  struct TRow {
    int32_t Row, Lo, Hi;
    uint32_t Offset;  // of column Lo in Coverage
  };
  struct TEntry {
    std::vector<TOutlineEdge> Edges;  // relative to the origin
    bool EvenOdd = false;
    std::vector<TRow> Rows;
    std::vector<uint16_t> Coverage;
  };

  void Clear();
  // Whether a closed outline lies within width x height pixels.
  static bool Inside(const TOutline& outline, int width, int height);
  // The whole-pixel origin that the outline is stored relative to: the
  // pixel holding its top-left corner.
  static void Origin(const TOutline& outline, int& x, int& y);
  // The stored coverage of a closed outline with that origin, or null.
  // The key found is kept for an Add of the same outline.
  const TEntry* Find(TOutline& outline, int originX, int originY);
  // A new entry for the outline last looked for, to be given its rows;
  // null when full.
  TEntry* Add(TOutline& outline, int originX, int originY);
  // Appends coverage columns lo ... hi (relative) of a relative row.
  void AddRow(TEntry& entry, int row, const uint16_t* coverage, int lo, int hi);

 private:
  static uint64_t Key(const std::vector<TOutlineEdge>& edges, int originX, int originY, bool evenOdd);

  std::unordered_map<uint64_t, size_t> fIndex;
  std::vector<std::unique_ptr<TEntry>> fEntries;
  size_t fStored = 0;  // coverage values in all entries
  uint64_t fLastKey = 0;
};

}  // namespace zel
