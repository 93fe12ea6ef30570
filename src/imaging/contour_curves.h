// Contour curves: a mapping of 0..255 onto 0..255 given by points joined by
// smooth cubic segments, with the ten built-in contour presets that shape the
// falloff of a shadow.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "core/obj.h"
#include "core/streams.h"
#include "core/strings.h"

namespace zel {

struct TCurvePoint {
  int32_t Input = 0;
  int32_t Output = 0;
  bool operator==(const TCurvePoint&) const = default;
};

// Curve stream: all numbers 16-bit big-endian unsigned; the point count n
// (2 <= n < 256), then n (input, output) pairs, the first and the last being
// the end points. Preset record: a 32-bit little-endian name length
// (0..999,999), the name's bytes, then a curve stream.
class TCurvesData : public TObj {
 public:
  static constexpr int kPresetCount = 10;

  TCurvesData();

  // The identity: (0, 0), (255, 255), no preset.
  void Reset();
  // A count out of range, a coordinate above 255 or data that ends early
  // gives the identity. Either way the curve is no preset afterwards.
  void LoadFromBytes(std::span<const uint8_t> bytes);
  void LoadFromStream(TStream& stream);
  // One preset record: the name becomes PresetName, the curve is loaded as
  // above. False (and the identity) when the record is cut short or its name
  // length is out of range.
  bool LoadPresetRecord(TStream& stream);
  // Presets 0..9; any other number leaves the curve as it is, with preset -1.
  void SelectPreset(int number);
  // Replaces the points (at least two: the first and the last are the ends;
  // coordinates are limited to 0..255).
  void SetPoints(std::span<const TCurvePoint> points);

  uint8_t Lookup(int value) const { return fTable[static_cast<size_t>(value < 0 ? 0 : value > 255 ? 255 : value)]; }
  const std::array<uint8_t, 256>& Table() const { return fTable; }
  // All points, the ends included.
  std::vector<TCurvePoint> Points() const;
  const TCurvePoint& First() const { return fFirst; }
  const TCurvePoint& Last() const { return fLast; }
  const std::vector<TCurvePoint>& InnerPoints() const { return fInner; }
  int PresetNumber() const { return fPresetNumber; }
  const TString& PresetName() const { return fPresetName; }
  bool IsIdentity() const;

  // The built-in presets' names and points.
  static TString BuiltInPresetName(int number);
  static std::vector<TCurvePoint> BuiltInPresetPoints(int number);
  // A curve stream holding the points.
  static std::vector<uint8_t> EncodeCurveStream(std::span<const TCurvePoint> points);

 private:
  void SetIdentity();
  void BuildTable();

  TCurvePoint fFirst;
  std::vector<TCurvePoint> fInner;
  TCurvePoint fLast;
  std::array<uint8_t, 256> fTable{};
  int fPresetNumber = -1;
  TString fPresetName;
};

}  // namespace zel
