#include "core/strings.h"

#include <unicode/uchar.h>
#include <unicode/ustring.h>

#include <limits>

namespace zel {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf16(TString& out, char32_t cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Walks a UTF-16 string code point by code point.
template <typename F>
void ForEachCodePoint(TStringView text, F&& f) {
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = kReplacement;
    }
    f(c);
  }
}

}  // namespace

TString Utf8ToString(std::string_view text) {
  TString out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    int extra;
    char32_t cp;
    char32_t minimum;
    if (b0 < 0x80) {
      out.push_back(b0);
      ++i;
      continue;
    } else if ((b0 & 0xE0) == 0xC0) {
      extra = 1, cp = b0 & 0x1F, minimum = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
      extra = 2, cp = b0 & 0x0F, minimum = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
      extra = 3, cp = b0 & 0x07, minimum = 0x10000;
    } else {
      AppendUtf16(out, kReplacement);
      ++i;
      continue;
    }
    size_t j = i + 1;
    bool ok = true;
    for (int k = 0; k < extra; ++k, ++j) {
      if (j >= text.size() || (static_cast<unsigned char>(text[j]) & 0xC0) != 0x80) {
        ok = false;
        break;
      }
      cp = (cp << 6) | (static_cast<unsigned char>(text[j]) & 0x3F);
    }
    if (!ok || cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      AppendUtf16(out, kReplacement);
      i = ok ? j : std::max(j, i + 1);
      continue;
    }
    AppendUtf16(out, cp);
    i = j;
  }
  return out;
}

std::string StringToUtf8(TStringView text) {
  std::string out;
  out.reserve(text.size());
  ForEachCodePoint(text, [&](char32_t cp) { AppendUtf8(out, cp); });
  return out;
}

TString AsciiToString(std::string_view text) {
  TString out;
  out.reserve(text.size());
  for (char c : text) out.push_back(static_cast<unsigned char>(c));
  return out;
}

TString LowerCase(TStringView text) {
  TString out;
  out.reserve(text.size());
  ForEachCodePoint(text, [&](char32_t cp) { AppendUtf16(out, static_cast<char32_t>(u_tolower(cp))); });
  return out;
}

TString UpperCase(TStringView text) {
  TString out;
  out.reserve(text.size());
  ForEachCodePoint(text, [&](char32_t cp) { AppendUtf16(out, static_cast<char32_t>(u_toupper(cp))); });
  return out;
}

int CompareTextIgnoreCase(TStringView a, TStringView b) {
  UErrorCode status = U_ZERO_ERROR;
  const int r = u_strCaseCompare(reinterpret_cast<const UChar*>(a.data()), static_cast<int32_t>(a.size()),
                                 reinterpret_cast<const UChar*>(b.data()), static_cast<int32_t>(b.size()),
                                 U_FOLD_CASE_DEFAULT, &status);
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

bool SameText(TStringView a, TStringView b) { return CompareTextIgnoreCase(a, b) == 0; }

TString IntToStr(int64_t value) { return AsciiToString(std::to_string(value)); }

std::optional<int64_t> TryStrToInt(TStringView text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
  size_t end = text.size();
  while (end > i && (text[end - 1] == u' ' || text[end - 1] == u'\t')) --end;
  bool negative = false;
  if (i < end && (text[i] == u'-' || text[i] == u'+')) {
    negative = text[i] == u'-';
    ++i;
  }
  if (i >= end) return std::nullopt;
  // Accumulate as a negative number so that the minimum value fits.
  int64_t value = 0;
  for (; i < end; ++i) {
    const char16_t c = text[i];
    if (c < u'0' || c > u'9') return std::nullopt;
    const int digit = c - u'0';
    if (value < (std::numeric_limits<int64_t>::min() + digit) / 10) return std::nullopt;
    value = value * 10 - digit;
  }
  if (!negative) {
    if (value == std::numeric_limits<int64_t>::min()) return std::nullopt;
    value = -value;
  }
  return value;
}

int64_t StrToIntDef(TStringView text, int64_t defaultValue) {
  return TryStrToInt(text).value_or(defaultValue);
}

}  // namespace zel
