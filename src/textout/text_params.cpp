#include "textout/text_params.h"

#include <charconv>
#include <cmath>
#include <optional>
#include <string>

namespace zel {

namespace {

constexpr const char16_t* kStyleWords[] = {u"Bold", u"Italic", u"Underline", u"StrikeOut"};

bool IsSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// Whether lower-casing changes the character. Surrogate halves are taken as
// caseless: their pairs never reach the case tables one unit at a time.
bool ChangesWhenLowered(char16_t c) {
  if (c < 128) return c >= 'A' && c <= 'Z';
  if (IsSurrogate(c)) return false;
  const TString one(1, c);
  return LowerCase(one) != one;
}

TString Trimmed(TStringView text) {
  size_t begin = 0, end = text.size();
  while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
  while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
  return TString(text.substr(begin, end - begin));
}

std::optional<double> ParseDouble(TStringView field) {
  const TString trimmed = Trimmed(field);
  if (trimmed.empty() || trimmed.size() > 64) return std::nullopt;
  std::string ascii;
  for (char16_t c : trimmed) {
    if (c >= 128) return std::nullopt;
    ascii.push_back(static_cast<char>(c));
  }
  double value = 0;
  const char* first = ascii.data();
  if (*first == '+') ++first;
  const auto [ptr, ec] = std::from_chars(first, ascii.data() + ascii.size(), value);
  if (ec != std::errc() || ptr != ascii.data() + ascii.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

}  // namespace

TString StyleWords(uint8_t style) {
  TString result;
  for (int bit = 0; bit < 4; ++bit) {
    if (!(style & (1 << bit))) continue;
    if (!result.empty()) result += u',';
    result += kStyleWords[bit];
  }
  return result;
}

uint8_t ParseStyleWords(TStringView words) {
  uint8_t style = 0;
  size_t pos = 0;
  for (int word = 0; word < 4 && pos <= words.size(); ++word) {
    while (pos < words.size() && (words[pos] == ' ' || words[pos] == '\t')) ++pos;
    size_t end = words.find(u',', pos);
    if (end == TStringView::npos) end = words.size();
    const TStringView item = words.substr(pos, end - pos);
    for (int bit = 0; bit < 4; ++bit)
      if (item == kStyleWords[bit]) style |= static_cast<uint8_t>(1 << bit);
    pos = end + 1;
  }
  return style;
}

TString FontKey(TStringView fontName, uint8_t style) {
  return TString(fontName) + u':' + StyleWords(style);
}

TString FormatDecimal(double value, int decimals) {
  if (!std::isfinite(value)) value = 0;
  char buffer[400];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  std::string text = ec == std::errc() ? std::string(buffer, end) : std::string("0");
  if (text.find('.') != std::string::npos) {
    while (!text.empty() && text.back() == '0') text.pop_back();
    if (!text.empty() && text.back() == '.') text.pop_back();
  }
  // A value that rounds to zero is written without its sign.
  if (text == "-0") text = "0";
  return AsciiToString(text);
}

TString EscapeTextLine(TStringView line) {
  TString out;
  out.reserve(line.size() + 8);
  bool inRun = false;
  for (char16_t c : line) {
    if (ChangesWhenLowered(c)) {
      if (!inRun) out += u'<', inRun = true;
      out += c;
      continue;
    }
    if (inRun) out += u'>', inRun = false;
    out += c;
    if (c == u'<' || c == u'>') out += c;
  }
  if (inRun) out += u'>';
  return out;
}

TString UnescapeText(TStringView text) {
  TString out;
  out.reserve(text.size());
  bool inRun = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    const bool doubled = i + 1 < text.size() && text[i + 1] == c;
    if (inRun) {
      // A run holds only case-changing characters, so a bracket ends it.
      if (c == u'>') inRun = false;
      else if (c == u'<' && doubled) out += c, ++i;
      else if (c != u'<') out += c;
      continue;
    }
    if (c == u'<') {
      if (doubled) out += c, ++i;
      else inRun = true;
    } else if (c == u'>') {
      out += c;
      if (doubled) ++i;
    } else {
      out += c;
    }
  }
  return out;
}

TString BuildLinesField(const std::vector<TString>& lines) {
  TString field = u"\"";
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i) field += u"^&";
    field += EscapeTextLine(lines[i]);
  }
  field += u'"';
  return field;
}

std::vector<TString> ParseLinesField(TStringView field) {
  TString value(field);
  if (value.size() > 1) {
    if (value.front() == u'"') value.erase(0, 1);
    if (!value.empty() && value.back() == u'"') value.pop_back();
  }
  if (value.empty()) value = u" ";
  std::vector<TString> lines(1);
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] == u'^' && i + 1 < value.size() && value[i + 1] == u'&') {
      lines.emplace_back();
      ++i;
    } else {
      lines.back() += value[i];
    }
  }
  return lines;
}

TString BuildTextPictureName(const TTextParams& params, const std::vector<TString>& lines) {
  TString name = kTextPrefix;
  name += params.FontName;
  name += u':' + FormatDecimal(params.Size, 6);
  name += u':' + FormatDecimal(params.ShiftX, 6);
  name += u':' + FormatDecimal(params.ShiftY, 6);
  name += u':' + StyleWords(params.Style);
  name += u':' + IntToStr(params.Alignment);
  name += u':' + FormatDecimal(params.LineSpacing, 2);
  for (int shift = 0; shift < 32; shift += 8) name += u':' + IntToStr((params.Colour >> shift) & 0xFF);
  name += u':' + BuildLinesField(lines);
  return name;
}

std::vector<TString> SplitTextNameFields(TStringView name) {
  std::vector<TString> fields(12);
  constexpr size_t kStart = 6;
  if (name.size() <= kStart) return fields;
  size_t pos = kStart;
  for (int field = 0; field < 11; ++field) {
    const size_t colon = name.find(u':', pos);
    if (colon == TStringView::npos) {
      fields[static_cast<size_t>(field)] = TString(name.substr(pos));
      return fields;
    }
    fields[static_cast<size_t>(field)] = TString(name.substr(pos, colon - pos));
    pos = colon + 1;
  }
  fields[11] = TString(name.substr(pos));
  return fields;
}

TString CachedVectorTextKey(TStringView escapedName) {
  const std::vector<TString> fields = SplitTextNameFields(escapedName);
  return u"VectTxt2: " + fields[0] + u':' + fields[4] + u':' + fields[11];
}

TParsedTextName ParseTextPictureName(TStringView name) {
  TParsedTextName result;
  TTextParams& p = result.Params;
  const TString plain = UnescapeText(name);
  const std::vector<TString> f = SplitTextNameFields(plain);
  p.FontName = f[0];
  if (auto v = ParseDouble(f[1])) p.Size = *v;
  if (auto v = ParseDouble(f[2])) p.ShiftX = static_cast<float>(*v);
  if (auto v = ParseDouble(f[3])) p.ShiftY = static_cast<float>(*v);
  p.Style = ParseStyleWords(f[4]);
  if (auto v = TryStrToInt(f[5])) p.Alignment = static_cast<uint8_t>(*v);
  // The spacing is written with decimals but kept as an integer.
  if (auto v = ParseDouble(f[6]); v && std::fabs(*v) < 2147483647.0)
    p.LineSpacing = static_cast<int32_t>(std::nearbyint(*v));
  for (int i = 0; i < 4; ++i) {
    if (auto v = TryStrToInt(f[7 + static_cast<size_t>(i)])) {
      const uint32_t shift = static_cast<uint32_t>(i) * 8;
      p.Colour = (p.Colour & ~(0xFFu << shift)) | ((static_cast<uint32_t>(*v) & 0xFFu) << shift);
    }
  }
  result.Lines = ParseLinesField(f[11]);
  return result;
}

}  // namespace zel
