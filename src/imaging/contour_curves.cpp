#include "imaging/contour_curves.h"

#include <algorithm>
#include <cmath>

namespace zel {

namespace {

struct TPreset {
  const char16_t* Name;
  std::vector<TCurvePoint> Points;
};

const std::array<TPreset, TCurvesData::kPresetCount>& Presets() {
  static const std::array<TPreset, TCurvesData::kPresetCount> presets = {{
      {u"Linear", {{0, 0}, {255, 255}}},
      {u"Cone", {{0, 0}, {128, 255}, {255, 0}}},
      {u"Cone - Inverted", {{0, 255}, {128, 0}, {255, 255}}},
      {u"Cove - Deep", {{1, 63}, {148, 110}, {192, 255}}},
      {u"Cove - Shallow", {{0, 127}, {83, 174}, {128, 255}}},
      {u"Gaussian", {{0, 0}, {63, 11}, {113, 63}, {146, 194}, {191, 241}, {255, 255}}},
      {u"Half Round", {{0, 0}, {27, 84}, {81, 178}, {173, 236}, {255, 255}}},
      {u"Ring", {{0, 0}, {86, 255}, {172, 0}, {255, 255}}},
      {u"Ring - Double", {{0, 0}, {48, 255}, {105, 0}, {158, 253}, {214, 1}, {255, 255}}},
      {u"Tooth", {{0, 0}, {64, 127}, {128, 1}, {193, 127}, {255, 0}}},
  }};
  return presets;
}

uint16_t LoadU16BE(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

// The interpolating cubic (Catmull-Rom) of the segment p1..p2 at t.
double CatmullRom(double p0, double p1, double p2, double p3, double t) {
  return 0.5 * (2.0 * p1 + (p2 - p0) * t + (2.0 * p0 - 5.0 * p1 + 4.0 * p2 - p3) * t * t +
                (3.0 * p1 - p0 - 3.0 * p2 + p3) * t * t * t);
}

int ClampByte(double v) { return std::clamp(static_cast<int>(std::lround(v)), 0, 255); }

// Entries no sample reached lie between two that were: joined by a line.
void FillGaps(std::array<int, 256>& table) {
  int previous = -1;
  for (int i = 0; i < 256; ++i) {
    if (table[static_cast<size_t>(i)] < 0) continue;
    if (previous >= 0 && i - previous > 1) {
      const int a = table[static_cast<size_t>(previous)], b = table[static_cast<size_t>(i)];
      for (int g = previous + 1; g < i; ++g)
        table[static_cast<size_t>(g)] = a + (b - a) * (g - previous) / (i - previous);
    }
    previous = i;
  }
  for (int& entry : table)
    if (entry < 0) entry = 0;
}

}  // namespace

TCurvesData::TCurvesData() { Reset(); }

void TCurvesData::SetIdentity() {
  fFirst = {0, 0};
  fInner.clear();
  fLast = {255, 255};
  BuildTable();
}

void TCurvesData::Reset() {
  SetIdentity();
  fPresetNumber = -1;
  fPresetName.clear();
}

void TCurvesData::SetPoints(std::span<const TCurvePoint> points) {
  ZEL_ASSERT(points.size() >= 2, "TCurvesData.SetPoints - two points at least");
  auto inRange = [](TCurvePoint p) { return TCurvePoint{std::clamp(p.Input, 0, 255), std::clamp(p.Output, 0, 255)}; };
  fFirst = inRange(points.front());
  fLast = inRange(points.back());
  fInner.clear();
  for (size_t i = 1; i + 1 < points.size(); ++i) fInner.push_back(inRange(points[i]));
  BuildTable();
}

void TCurvesData::LoadFromBytes(std::span<const uint8_t> bytes) {
  fPresetNumber = -1;
  fPresetName.clear();
  if (bytes.size() < 2) return SetIdentity();
  const size_t count = LoadU16BE(bytes.data());
  if (count < 2 || count >= 256 || bytes.size() < 2 + 4 * count) return SetIdentity();
  std::vector<TCurvePoint> points(count);
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* p = bytes.data() + 2 + 4 * i;
    points[i] = {LoadU16BE(p), LoadU16BE(p + 2)};
    if (points[i].Input > 255 || points[i].Output > 255) return SetIdentity();
  }
  SetPoints(points);
}

// Reads no further than the curve: the count, then the points it announces.
void TCurvesData::LoadFromStream(TStream& stream) {
  std::vector<uint8_t> bytes(2);
  if (stream.Read(bytes, 2) < 2) return LoadFromBytes({});
  const size_t count = LoadU16BE(bytes.data());
  if (count >= 2 && count < 256) {
    bytes.resize(2 + 4 * count);
    const int32_t wanted = static_cast<int32_t>(4 * count);
    const int32_t got = stream.Read(bytes, wanted, 2);
    bytes.resize(2 + static_cast<size_t>(std::max(got, 0)));
  }
  LoadFromBytes(bytes);
}

bool TCurvesData::LoadPresetRecord(TStream& stream) {
  std::vector<uint8_t> header(4);
  const bool haveLength = stream.Read(header, 4) == 4;
  const uint32_t length = haveLength ? (header[0] | (header[1] << 8) | (header[2] << 16) |
                                        (static_cast<uint32_t>(header[3]) << 24))
                                     : 0;
  std::string name(length <= 999'999 ? length : 0, '\0');
  const bool nameRead =
      haveLength && length <= 999'999 &&
      stream.Read(std::span<uint8_t>(reinterpret_cast<uint8_t*>(name.data()), name.size()),
                  static_cast<int32_t>(name.size())) == static_cast<int32_t>(name.size());
  if (!nameRead) {
    Reset();
    return false;
  }
  LoadFromStream(stream);
  fPresetName = Utf8ToString(name);
  return true;
}

void TCurvesData::SelectPreset(int number) {
  if (number < 0 || number >= kPresetCount) {
    fPresetNumber = -1;
    return;
  }
  const TPreset& preset = Presets()[static_cast<size_t>(number)];
  SetPoints(preset.Points);
  fPresetNumber = number;
  fPresetName = preset.Name;
}

std::vector<TCurvePoint> TCurvesData::Points() const {
  std::vector<TCurvePoint> points;
  points.reserve(fInner.size() + 2);
  points.push_back(fFirst);
  points.insert(points.end(), fInner.begin(), fInner.end());
  points.push_back(fLast);
  return points;
}

bool TCurvesData::IsIdentity() const {
  for (int i = 0; i < 256; ++i)
    if (fTable[static_cast<size_t>(i)] != i) return false;
  return true;
}

// Segment j runs from point j to point j + 1 and is shaped by its outer
// neighbours (the ends stand in for the missing ones); it is sampled finely
// enough that every integer input between its ends is reached.
void TCurvesData::BuildTable() {
  std::vector<TCurvePoint> points{fFirst};
  for (const TCurvePoint& p : fInner)
    if (!(p == points.back())) points.push_back(p);
  points.push_back(fLast);
  std::array<int, 256> table;
  table.fill(-1);
  const size_t n = points.size();
  for (size_t j = 0; j + 1 < n; ++j) {
    const TCurvePoint& p0 = points[j == 0 ? 0 : j - 1];
    const TCurvePoint& p1 = points[j];
    const TCurvePoint& p2 = points[j + 1];
    const TCurvePoint& p3 = points[std::min(j + 2, n - 1)];
    for (int step = 0; step <= 1000; ++step) {
      const double t = step * 0.001;
      const int x = ClampByte(CatmullRom(p0.Input, p1.Input, p2.Input, p3.Input, t));
      table[static_cast<size_t>(x)] = ClampByte(CatmullRom(p0.Output, p1.Output, p2.Output, p3.Output, t));
    }
  }
  for (int x = 0; x < fFirst.Input; ++x) table[static_cast<size_t>(x)] = fFirst.Output;
  for (int x = fLast.Input + 1; x < 256; ++x) table[static_cast<size_t>(x)] = fLast.Output;
  for (const TCurvePoint& p : points) table[static_cast<size_t>(p.Input)] = p.Output;
  FillGaps(table);
  for (size_t i = 0; i < 256; ++i) fTable[i] = static_cast<uint8_t>(table[i]);
}

TString TCurvesData::BuiltInPresetName(int number) {
  if (number < 0 || number >= kPresetCount) return {};
  return Presets()[static_cast<size_t>(number)].Name;
}

std::vector<TCurvePoint> TCurvesData::BuiltInPresetPoints(int number) {
  if (number < 0 || number >= kPresetCount) return {};
  return Presets()[static_cast<size_t>(number)].Points;
}

std::vector<uint8_t> TCurvesData::EncodeCurveStream(std::span<const TCurvePoint> points) {
  std::vector<uint8_t> bytes;
  auto put = [&bytes](int32_t v) {
    bytes.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
    bytes.push_back(static_cast<uint8_t>(v & 0xFF));
  };
  put(static_cast<int32_t>(points.size()));
  for (const TCurvePoint& p : points) put(p.Input), put(p.Output);
  return bytes;
}

}  // namespace zel
