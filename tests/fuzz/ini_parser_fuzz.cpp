// Fuzz entry point for the project text parser: any bytes must load (or
// fail with a decoding error) without crashing, and what a load saves must
// load back to the same text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ini/ini_parser.h"

namespace {

std::string SaveText(const zel::TIniStorage& document, bool& ok) {
  zel::TMemoryStream stream;
  ok = zel::IniSaveToStream(document, stream);
  const auto bytes = stream.Bytes();
  return std::string(bytes.begin(), bytes.end());
}

void Exercise(zel::TIniStorage& document) {
  std::vector<zel::TString> names;
  document.SectionNames(names);
  for (const auto& name : names) {
    zel::TIniSection* section = document.FindSection(name);
    if (!section) std::abort();
    for (zel::TIniObject* object = section->FirstObject(); object; object = section->NextObject(object)) {
      (void)object->ReadInteger(u"x", 0);
      zel::TIniFloatPoint point;
      (void)object->ReadRect(u"rect", {}, point);
    }
    (void)section->ReadColor(u"color", 0);
    (void)section->ReadFloat(u"f", 0);
  }
  zel::TString line;
  if (zel::IniToSingleLine(document, line)) {
    zel::TIniStorage back;
    (void)zel::SingleLineToIni(line, back);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zel::TMemoryStream input;
  input.Write(std::span<const uint8_t>(data, size));
  input.SetPosition(0);
  zel::TIniFile file;
  int errors = 0;
  file.SetErrorCallback([&errors](zel::TIniStorage&, int32_t, int32_t, int32_t) { ++errors; });
  try {
    file.LoadFromStream(input);
  } catch (const zel::TCommonException&) {
    return 0;  // invalid UTF-8 and the like end the load
  }
  bool ok = false;
  const std::string first = SaveText(file, ok);
  if (!ok) return 0;  // an unpaired surrogate in UTF-16 input cannot be written as UTF-8
  zel::TIniFile again;
  zel::TMemoryStream saved;
  saved.Write(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(first.data()), first.size()));
  saved.SetPosition(0);
  again.LoadFromStream(saved);
  const std::string second = SaveText(again, ok);
  if (!ok || second != first) std::abort();
  Exercise(again);
  zel::TIniFile copy;
  copy.Assign(file);
  if (SaveText(copy, ok) != first) std::abort();
  return 0;
}
