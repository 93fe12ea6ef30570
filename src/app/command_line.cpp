#include "app/command_line.h"

#include <algorithm>

namespace zel {

TString CleanCommandToken(TStringView token) {
  if (!token.empty() && token.front() == u'"') token.remove_prefix(1);
  if (!token.empty() && token.back() == u'"') token.remove_suffix(1);
  TString out;
  out.reserve(token.size());
  for (char16_t c : token) {
    if (c != u'"') out.push_back(c);
  }
  return out;
}

std::vector<TString> TokenizeCommandLine(TStringView commandLine) {
  std::vector<TString> tokens;
  size_t i = 0;
  while (i < commandLine.size()) {
    while (i < commandLine.size() && commandLine[i] <= 32) ++i;
    if (i >= commandLine.size()) break;
    const size_t start = i;
    bool quoted = false;
    while (i < commandLine.size() && (quoted || commandLine[i] > 32)) {
      if (commandLine[i] == u'"') quoted = !quoted;
      ++i;
    }
    tokens.push_back(CleanCommandToken(commandLine.substr(start, i - start)));
  }
  return tokens;
}

void TCommandsStorage::Fill(std::span<const TString> tokens) {
  Clear();
  fRawTokens.assign(tokens.begin(), tokens.end());
  TCommand* current = nullptr;
  for (const TString& token : tokens) {
    if (!token.empty() && token.front() == u'-') {
      current = FindOrAdd(LowerCase(TStringView(token).substr(1)));
    } else {
      if (!current) current = FindOrAdd(kUnnamed);
      current->Items.emplace_back(token);
    }
  }
}

void TCommandsStorage::FillFromArguments(int argc, const char* const* argv) {
  std::vector<TString> tokens;
  for (int i = 1; i < argc; ++i) tokens.push_back(CleanCommandToken(Utf8ToString(argv[i])));
  Fill(tokens);
}

bool TCommandsStorage::HasRawToken(TStringView token) const {
  return std::find(fRawTokens.begin(), fRawTokens.end(), token) != fRawTokens.end();
}

std::optional<TString> TCommandsStorage::Value(TStringView name, size_t index) {
  TCommand* command = Find(LowerCase(name));
  if (!command || index >= command->Items.size()) return std::nullopt;
  return command->Items[index].Value;
}

TString TCommandsStorage::ValueOr(TStringView name, TStringView defaultValue, size_t index) {
  return Value(name, index).value_or(TString(defaultValue));
}

int64_t TCommandsStorage::IntValue(TStringView name, int64_t defaultValue, size_t index) {
  const auto text = Value(name, index);
  return text ? StrToIntDef(*text, defaultValue) : defaultValue;
}

TStartPosition StartPositionFrom(TCommandsStorage& commands) {
  TStartPosition start;
  const int64_t slide = commands.IntValue(u"slide", 0);
  if (slide > 0 && slide <= INT32_MAX) {
    start.slide = static_cast<int>(slide);
    return start;
  }
  const int64_t time = commands.IntValue(u"time", 0);
  if (time > 0) start.timeMs = static_cast<double>(time - 1);
  return start;
}

std::optional<int64_t> OwnerWindowFrom(TCommandsStorage& commands) {
  const auto& tokens = commands.RawTokens();
  if (!commands.HasCommand(u"ownerwnd") || tokens.size() < 2) return std::nullopt;
  return TryStrToInt(tokens.back());
}

bool IsStartupChild(const TCommandsStorage& commands) { return commands.HasRawToken(u"-startup"); }

bool IsScreenSaverRequest(const TCommandsStorage& commands) {
  return commands.HasRawToken(u"/s") || commands.HasRawToken(u"/S");
}

TString AbsoluteName(TStringView name, TStringView playerFolder) {
  const bool driveLetter = name.size() >= 2 && name[1] == u':' &&
                           ((name[0] >= u'A' && name[0] <= u'Z') || (name[0] >= u'a' && name[0] <= u'z'));
  const bool networkRoot = name.size() >= 2 && name[0] == u'\\' && name[1] == u'\\';
  if ((!name.empty() && name[0] == u'/') || driveLetter || networkRoot) return TString(name);

  TString folder(playerFolder);
  while (folder.size() > 1 && (folder.back() == u'/' || folder.back() == u'\\')) folder.pop_back();
  while (name.size() >= 3 && name[0] == u'.' && name[1] == u'.' && (name[2] == u'\\' || name[2] == u'/')) {
    name.remove_prefix(3);
    const auto slash = folder.find_last_of(u"/\\");
    if (slash == TString::npos) {
      folder.clear();
    } else {
      folder.erase(slash == 0 ? 1 : slash);
    }
  }
  if (folder.empty()) return TString(name);
  if (folder.back() != u'/') folder += u'/';
  return folder + TString(name);
}

TCommandsStorage& CommandLine() {
  static TCommandsStorage store;
  return store;
}

}  // namespace zel
