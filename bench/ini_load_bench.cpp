// Loading a large project text and looking up every key once: load speed in
// bytes per second, and lookups per second at two document sizes (the
// lookups should not slow down as the document grows).
#include <benchmark/benchmark.h>

#include <string>
#include <utility>
#include <vector>

#include "ini/ini_parser.h"

namespace {

// About 50 bytes a line; every 50 lines a section with keys and two objects.
std::string GenerateProject(int lines) {
  std::string text = "\xEF\xBB\xBF; generated project\r\n";
  int line = 1, section = 0;
  while (line < lines) {
    text += "[Slide" + std::to_string(section++) + "]\r\n";
    ++line;
    for (int k = 0; k < 15 && line < lines; ++k, ++line)
      text += "opt_key_" + std::to_string(k) + " = " + std::to_string(line * 7919 % 100000) + ",12,34,flag,some longer text here\r\n";
    for (int o = 0; o < 2 && line < lines; ++o) {
      text += "  object Title" + std::to_string(o) + ": Text\r\n";
      ++line;
      for (int k = 0; k < 14 && line < lines; ++k, ++line)
        text += "    Property_" + std::to_string(k) + "=" + std::to_string(line) + ",255,128,0.5,0.25,1.75,Arial Bold\r\n";
      if (line < lines) text += "  end\r\n", ++line;
    }
    if (line < lines) text += "\r\n", ++line;
  }
  return text;
}

void LoadInto(zel::TIniFile& file, const std::string& text) {
  zel::TMemoryStream stream;
  stream.Write(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
  stream.SetPosition(0);
  file.LoadFromStream(stream);
}

void BM_IniLoad(benchmark::State& state) {
  const std::string text = GenerateProject(static_cast<int>(state.range(0)));
  zel::TMemoryStream stream;
  stream.Write(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
  zel::TIniFile file;
  for (auto _ : state) {
    stream.SetPosition(0);
    file.LoadFromStream(stream);
    benchmark::DoNotOptimize(file.First());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
  state.counters["bytes"] = static_cast<double>(text.size());
}

void BM_IniLookupEveryKey(benchmark::State& state) {
  const std::string text = GenerateProject(static_cast<int>(state.range(0)));
  zel::TIniFile file;
  LoadInto(file, text);
  // Every key, reached the way the player reaches it: section by name,
  // then the key in the section or object.
  std::vector<std::pair<zel::TString, std::pair<int, zel::TString>>> keys;
  std::vector<zel::TString> names;
  file.SectionNames(names);
  for (const auto& name : names) {
    zel::TIniSection* s = file.FindSection(name);
    auto collect = [&](const zel::TIniIdentList* list, int object) {
      for (auto* item = list->First(); item; item = item->Next())
        if (item->Kind() == zel::TIniKind::Ident)
          keys.push_back({name, {object, static_cast<const zel::TIniIdent*>(item)->Key()}});
    };
    collect(s, -1);
    int index = 0;
    for (auto* o = s->FirstObject(); o; o = s->NextObject(o)) collect(o, index++);
  }
  for (auto _ : state) {
    int64_t found = 0;
    for (const auto& [section, where] : keys) {
      const zel::TIniSection* s = file.FindSection(section);
      const zel::TIniIdentList* list = s;
      if (where.first >= 0) {
        const zel::TIniObject* o = s->FirstObject();
        for (int i = 0; i < where.first; ++i) o = s->NextObject(o);
        list = o;
      }
      found += list->FindKey(where.second) != nullptr;
    }
    benchmark::DoNotOptimize(found);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(keys.size()));
  state.counters["keys"] = static_cast<double>(keys.size());
}

BENCHMARK(BM_IniLoad)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IniLookupEveryKey)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
