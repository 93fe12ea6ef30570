#include "textout/coverage_cache.h"

#include <cstring>

namespace zel {

namespace {

// Limits for one picture: enough for every distinct glyph of a long text.
constexpr size_t kMaxEntries = 2048;
constexpr size_t kMaxStored = size_t{8} << 20;

uint64_t Mix(uint64_t hash, uint64_t value) {
  hash ^= value + 0x9E3779B97F4A7C15ull + (hash << 6) + (hash >> 2);
  return hash;
}

bool SameEdge(const TOutlineEdge& stored, const TOutlineEdge& e, int32_t dx, int32_t dy) {
  return stored.X0 == e.X0 - dx && stored.Top == e.Top - dy && stored.Height == e.Height &&
         stored.Direction == e.Direction && stored.Slope == e.Slope;
}

}  // namespace

void TCoverageCache::Clear() {
  fIndex.clear();
  fEntries.clear();
  fStored = 0;
}

bool TCoverageCache::Inside(const TOutline& outline, int width, int height) {
  return outline.Left() >= 0 && outline.Top() >= 0 && int64_t{outline.Right()} <= int64_t{width} * 16 &&
         int64_t{outline.Bottom()} <= int64_t{height} * 16;
}

void TCoverageCache::Origin(const TOutline& outline, int& x, int& y) {
  x = outline.Left() >> 4;
  y = outline.Top() >> 4;
}

uint64_t TCoverageCache::Key(const std::vector<TOutlineEdge>& edges, int originX, int originY, bool evenOdd) {
  uint64_t hash = Mix(edges.size(), evenOdd);
  for (const TOutlineEdge& e : edges) {
    uint64_t slope = 0;
    std::memcpy(&slope, &e.Slope, sizeof slope);
    hash = Mix(hash, static_cast<uint32_t>(e.X0 - originX * 16) | uint64_t{static_cast<uint32_t>(e.Top - originY * 16)} << 32);
    hash = Mix(hash, static_cast<uint32_t>(e.Height) | uint64_t{static_cast<uint32_t>(e.Direction)} << 32);
    hash = Mix(hash, slope);
  }
  return hash;
}

const TCoverageCache::TEntry* TCoverageCache::Find(TOutline& outline, int originX, int originY) {
  const std::vector<TOutlineEdge>& edges = outline.Edges();
  fLastKey = Key(edges, originX, originY, outline.EvenOdd());
  const auto found = fIndex.find(fLastKey);
  if (found == fIndex.end()) return nullptr;
  const TEntry& entry = *fEntries[found->second];
  if (entry.EvenOdd != outline.EvenOdd() || entry.Edges.size() != edges.size()) return nullptr;
  for (size_t i = 0; i < edges.size(); ++i)
    if (!SameEdge(entry.Edges[i], edges[i], originX * 16, originY * 16)) return nullptr;
  return &entry;
}

TCoverageCache::TEntry* TCoverageCache::Add(TOutline& outline, int originX, int originY) {
  if (fEntries.size() >= kMaxEntries || fStored >= kMaxStored) return nullptr;
  // A different outline with the same key keeps its place.
  if (!fIndex.emplace(fLastKey, fEntries.size()).second) return nullptr;
  auto entry = std::make_unique<TEntry>();
  entry->EvenOdd = outline.EvenOdd();
  entry->Edges = outline.Edges();
  for (TOutlineEdge& e : entry->Edges) {
    e.X0 -= originX * 16;
    e.Top -= originY * 16;
  }
  fEntries.push_back(std::move(entry));
  return fEntries.back().get();
}

void TCoverageCache::AddRow(TEntry& entry, int row, const uint16_t* coverage, int lo, int hi) {
  entry.Rows.push_back({row, lo, hi, static_cast<uint32_t>(entry.Coverage.size())});
  entry.Coverage.insert(entry.Coverage.end(), coverage, coverage + (hi - lo + 1));
  fStored += static_cast<size_t>(hi - lo + 1);
}

}  // namespace zel
