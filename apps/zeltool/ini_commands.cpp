// The subcommands that check a project text: load and save it, list its
// grammar errors and sections, read a value the way the player reads it and
// write one value.
//
// A path names a section and then objects inside it by name, separated by
// "/" ("Slide3/Title"); "-" stands for the document level.
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "ini/ini_parser.h"
#include "tool.h"

namespace zel::tool {

namespace {

int Usage(std::string_view name) { return UsageError(name); }

void PrintLine(const std::string& text) { std::printf("%s\n", text.c_str()); }

bool Load(TIniFile& file, const std::string& name, std::string_view command) {
  if (file.LoadFromFile(name)) return true;
  Fail(command, "cannot load '" + name + "' (missing, unreadable or invalid text)");
  return false;
}

bool Save(const TIniFile& file, const std::string& name, std::string_view command) {
  if (file.SaveToFile(name)) return true;
  Fail(command, "cannot write '" + name + "'");
  return false;
}

std::vector<TString> SplitPath(const std::string& path) {
  std::vector<TString> parts;
  const TString text = Utf8ToString(path);
  size_t start = 0;
  for (;;) {
    const size_t slash = text.find(u'/', start);
    parts.push_back(text.substr(start, slash == TString::npos ? TString::npos : slash - start));
    if (slash == TString::npos) break;
    start = slash + 1;
  }
  return parts;
}

TIniObject* FindObject(const TIniIdentList* list, const TString& name) {
  const TString folded = IniFold(name);
  for (TIniObject* object = list->FirstObject(); object; object = list->NextObject(object))
    if (IniFold(object->Name()) == folded) return object;
  return nullptr;
}

// The collection a path names; nullptr when a part is missing. With create
// set, a missing section is created (objects never are).
TIniIdentList* Resolve(TIniStorage& document, const std::string& path, bool create, std::string* missing) {
  const std::vector<TString> parts = SplitPath(path);
  TIniIdentList* list = nullptr;
  if (parts[0] == u"-") {
    list = &document;
  } else {
    list = create ? document.FindOrCreateSection(parts[0]) : document.FindSection(parts[0]);
  }
  if (!list) {
    if (missing) *missing = "section '" + StringToUtf8(parts[0]) + "'";
    return nullptr;
  }
  for (size_t i = 1; i < parts.size(); ++i) {
    list = FindObject(list, parts[i]);
    if (!list) {
      if (missing) *missing = "object '" + StringToUtf8(parts[i]) + "'";
      return nullptr;
    }
  }
  return list;
}

std::string FloatText(double value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::string FloatText(float value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::string ColorText(uint32_t value, bool alpha) {
  std::string text = std::to_string((value >> 16) & 0xFF) + "," + std::to_string((value >> 8) & 0xFF) + "," +
                     std::to_string(value & 0xFF);
  if (alpha) text += "," + std::to_string(value >> 24);
  return text;
}

std::string RectText(const TIniRect& r, const TIniFloatPoint& p) {
  return FloatText(r.left) + "," + FloatText(r.top) + "," + FloatText(r.right) + "," + FloatText(r.bottom) + ";" +
         FloatText(p.x) + "," + FloatText(p.y);
}

// The list reads: the count returned, ":", the items read, joined by "|".
std::string ListText(const TIniIdentList& list, TStringView key, std::string_view type) {
  const int32_t found = list.ReadStrings(key, {});
  const size_t capacity = static_cast<size_t>(std::max(found, 0));
  std::string items;
  int32_t count = 0;
  auto join = [&items](size_t i, const std::string& text) {
    if (i > 0) items += "|";
    items += text;
  };
  if (type == "strings") {
    std::vector<TString> values(capacity);
    count = list.ReadStrings(key, values);
    for (size_t i = 0; i < values.size(); ++i) join(i, StringToUtf8(values[i]));
  } else if (type == "integers") {
    std::vector<int32_t> values(capacity);
    count = list.ReadIntegers(key, values);
    const size_t valid = count < 0 ? static_cast<size_t>(~count) : values.size();
    for (size_t i = 0; i < valid; ++i) join(i, std::to_string(values[i]));
  } else {
    std::vector<double> values(capacity);
    count = list.ReadFloats(key, values);
    const size_t valid = count < 0 ? static_cast<size_t>(~count) : values.size();
    for (size_t i = 0; i < valid; ++i) join(i, FloatText(values[i]));
  }
  return std::to_string(count) + ":" + items;
}

const std::vector<std::string_view> kTypes = {"string", "integer",   "float",  "boolean", "color",
                                              "color-alpha", "point", "float-point", "vector", "rectangle",
                                              "strings", "integers", "floats"};

// Reads key from list (nullptr: missing section) as the type; the default
// comes from `defaults`, a collection that holds the default text under the
// same key (nullptr: zero values).
std::string ReadAs(const TIniIdentList* list, TStringView key, std::string_view type, const TIniIdentList* defaults) {
  const bool present = list && list->FindKey(key);
  if (type == "strings" || type == "integers" || type == "floats") {
    if (present) return ListText(*list, key, type);
    return defaults ? ListText(*defaults, key, type) : "0:";
  }
  // For the single values, the default is read first (falling back to zero
  // values), then the value itself with that default.
  const TIniIdentList* source = present ? list : defaults;
  if (type == "string") return source ? StringToUtf8(source->ReadString(key, u"")) : "";
  if (type == "integer") {
    const int32_t d = defaults ? defaults->ReadInteger(key, 0) : 0;
    return std::to_string(present ? list->ReadInteger(key, d) : d);
  }
  if (type == "float") {
    const double d = defaults ? defaults->ReadFloat(key, 0) : 0;
    return FloatText(present ? list->ReadFloat(key, d) : d);
  }
  if (type == "boolean") {
    const bool d = defaults ? defaults->ReadBool(key, false) : false;
    return (present ? list->ReadBool(key, d) : d) ? "1" : "0";
  }
  if (type == "color" || type == "color-alpha") {
    const bool alpha = type == "color-alpha";
    auto read = [alpha, key](const TIniIdentList* l, uint32_t d) {
      return alpha ? l->ReadColorAlpha(key, d) : l->ReadColor(key, d);
    };
    const uint32_t d = defaults ? read(defaults, 0) : 0;
    return ColorText(present ? read(list, d) : d, alpha);
  }
  if (type == "point") {
    const TIniPoint d = defaults ? defaults->ReadPoint(key, {}) : TIniPoint{};
    const TIniPoint p = present ? list->ReadPoint(key, d) : d;
    return std::to_string(p.x) + "," + std::to_string(p.y);
  }
  if (type == "float-point") {
    const TIniFloatPoint d = defaults ? defaults->ReadFloatPoint(key, {}) : TIniFloatPoint{};
    const TIniFloatPoint p = present ? list->ReadFloatPoint(key, d) : d;
    return FloatText(p.x) + "," + FloatText(p.y);
  }
  if (type == "vector") {
    const TIniVector d = defaults ? defaults->ReadVector(key, {}) : TIniVector{};
    const TIniVector v = present ? list->ReadVector(key, d) : d;
    return FloatText(v.x) + "," + FloatText(v.y) + "," + FloatText(v.z);
  }
  // rectangle: the default rectangle comes with the point (0, 0).
  TIniFloatPoint ignored;
  const TIniRect d = defaults ? defaults->ReadRect(key, {}, ignored) : TIniRect{};
  TIniFloatPoint point;
  const TIniRect r = present ? list->ReadRect(key, d, point) : d;
  if (!present) point = {0, 0};
  return RectText(r, point);
}

}  // namespace

int RunIniRoundtrip(TArguments arguments) {
  if (arguments.size() != 2) return Usage("ini-roundtrip");
  TIniFile file;
  if (!Load(file, arguments[0], "ini-roundtrip")) return 1;
  return Save(file, arguments[1], "ini-roundtrip") ? 0 : 1;
}

int RunIniErrors(TArguments arguments) {
  if (arguments.size() != 1) return Usage("ini-errors");
  TIniFile file;
  std::vector<std::string> lines;
  file.SetErrorCallback([&lines](TIniStorage&, int32_t code, int32_t column, int32_t line) {
    lines.push_back(std::to_string(code) + " " + std::to_string(column) + " " + std::to_string(line));
  });
  if (!Load(file, arguments[0], "ini-errors")) return 1;
  for (const auto& line : lines) PrintLine(line);
  return 0;
}

int RunIniSections(TArguments arguments) {
  if (arguments.size() != 1) return Usage("ini-sections");
  TIniFile file;
  if (!Load(file, arguments[0], "ini-sections")) return 1;
  std::vector<TString> names;
  file.SectionNames(names);
  for (const auto& name : names) PrintLine(StringToUtf8(name));
  return 0;
}

int RunIniGet(TArguments arguments) {
  if (arguments.size() < 3) return Usage("ini-get");
  std::string type = "string";
  std::optional<std::string> defaultText;
  for (size_t i = 3; i < arguments.size(); ++i) {
    if (arguments[i] == "--as" && i + 1 < arguments.size()) {
      type = arguments[++i];
    } else if (arguments[i] == "--default" && i + 1 < arguments.size()) {
      defaultText = arguments[++i];
    } else {
      return Usage("ini-get");
    }
  }
  if (std::find(kTypes.begin(), kTypes.end(), type) == kTypes.end())
    return Fail("ini-get", "unknown type '" + type + "'");
  TIniFile file;
  if (!Load(file, arguments[0], "ini-get")) return 1;
  const TString key = Utf8ToString(arguments[2]);
  const TIniIdentList* list = Resolve(file, arguments[1], false, nullptr);
  // The default is read from a scratch line holding its text, so that it
  // follows the same rules as the value.
  TIniStorage scratch;
  const TIniIdentList* defaults = nullptr;
  if (defaultText) {
    std::string rest = *defaultText;
    if (type == "rectangle") rest = rest.substr(0, rest.find(';'));
    scratch.FindOrCreateKey(key, 0)->SetValue(Utf8ToString(rest));
    defaults = &scratch;
  }
  PrintLine(ReadAs(list, key, type, defaults));
  return 0;
}

int RunIniSet(TArguments arguments) {
  if (arguments.size() != 5) return Usage("ini-set");
  TIniFile file;
  if (!Load(file, arguments[0], "ini-set")) return 1;
  std::string missing;
  TIniIdentList* list = Resolve(file, arguments[2], true, &missing);
  if (!list) return Fail("ini-set", "no " + missing + " in '" + arguments[2] + "'");
  list->FindOrCreateKey(Utf8ToString(arguments[3]))->SetValue(Utf8ToString(arguments[4]));
  return Save(file, arguments[1], "ini-set") ? 0 : 1;
}

}  // namespace zel::tool
