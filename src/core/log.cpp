#include "core/log.h"

#include <cmath>
#include <cstdio>
#include <ctime>

#include "core/streams.h"
#include "core/tick_count.h"

namespace zel {

namespace {

struct TProgramStart {
  uint64_t tick = TickCount();
  std::chrono::system_clock::time_point wall = std::chrono::system_clock::now();
};

const TProgramStart& ProgramStart() {
  static const TProgramStart start;
  return start;
}

// Taken while the program loads, before main runs.
[[maybe_unused]] const TProgramStart& gTakeStartEarly = ProgramStart();

std::unique_ptr<TLog>& GlobalLog() {
  static std::unique_ptr<TLog> log = std::make_unique<TLog>();
  return log;
}

template <typename T, typename F>
std::string JoinValues(std::span<const T> values, F&& format) {
  std::string out;
  for (size_t i = 0; i < values.size(); ++i) {
    if (i) out += ", ";
    out += format(values[i]);
  }
  return out;
}

std::string Concat(std::string_view a, std::string_view b, std::string_view c) {
  std::string out;
  out.reserve(a.size() + b.size() + c.size());
  out += a;
  out += b;
  out += c;
  return out;
}

}  // namespace

uint64_t ProgramStartTick() { return ProgramStart().tick; }
std::chrono::system_clock::time_point ProgramStartTime() { return ProgramStart().wall; }

TLog& Log() { return *GlobalLog(); }

void InstallLog(std::unique_ptr<TLog> log) {
  GlobalLog() = log ? std::move(log) : std::make_unique<TLog>();
}

// ---------------------------------------------------------------------------

std::string FormatLogDateTime(std::chrono::system_clock::time_point when) {
  using namespace std::chrono;
  const auto sinceEpoch = when.time_since_epoch();
  const std::time_t seconds = static_cast<std::time_t>(duration_cast<std::chrono::seconds>(sinceEpoch).count());
  const auto millis = static_cast<int>(duration_cast<milliseconds>(sinceEpoch).count() % 1000);
  std::tm local{};
  localtime_r(&seconds, &local);
  char text[96];
  std::snprintf(text, sizeof text, "%02d.%02d.%04d %02d:%02d:%02d.%03d", local.tm_mday, local.tm_mon + 1,
                local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec, millis < 0 ? 0 : millis);
  return text;
}

std::string FormatLogFloat(double value) {
  if (!std::isfinite(value)) return std::isnan(value) ? "NAN" : (value > 0 ? "INF" : "-INF");
  char text[400];
  std::snprintf(text, sizeof text, "%.16f", value);
  std::string out = text;
  while (!out.empty() && out.back() == '0') out.pop_back();
  if (!out.empty() && out.back() == '.') out.pop_back();
  if (out == "-0") out = "0";
  return out;
}

std::string LogFileNameFor(std::string_view programPath) {
  const auto slash = programPath.find_last_of('/');
  const auto dot = programPath.find_last_of('.');
  std::string name(programPath);
  if (dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash)) name.erase(dot);
  return name + ".log";
}

// ---------------------------------------------------------------------------

TLog::TLog() : fTimeBase(ProgramStartTick()) {}

std::string TLog::FormatLine(std::string_view text) const {
  std::string line = Prefix;
  if (ShowThreadId) {
    char id[16];
    std::snprintf(id, sizeof id, "#%04X ", CurrentThreadId());
    line += id;
  }
  if (ShowTime) {
    line += "[";
    line += std::to_string(TickCount() - fTimeBase);
    line += "] ";
  }
  line += text;
  return line;
}

void TLog::WriteInt(std::string_view text, int64_t value, std::string_view suffix) {
  Emit(Concat(text, std::to_string(value), suffix));
}

void TLog::WriteFloat(std::string_view text, double value, std::string_view suffix) {
  Emit(Concat(text, FormatLogFloat(value), suffix));
}

void TLog::WriteBool(std::string_view text, bool value, std::string_view suffix) {
  Emit(Concat(text, value ? "True" : "False", suffix));
}

void TLog::WriteInts(std::string_view text, std::span<const int64_t> values, std::string_view suffix) {
  Emit(Concat(text, JoinValues(values, [](int64_t v) { return std::to_string(v); }), suffix));
}

void TLog::WriteFloats(std::string_view text, std::span<const double> values, std::string_view suffix) {
  Emit(Concat(text, JoinValues(values, FormatLogFloat), suffix));
}

void TLog::WritePoint(std::string_view text, int64_t x, int64_t y, std::string_view suffix) {
  const int64_t values[] = {x, y};
  WriteInts(text, values, suffix);
}

void TLog::WriteRect(std::string_view text, int64_t left, int64_t top, int64_t right, int64_t bottom,
                     std::string_view suffix) {
  const int64_t values[] = {left, top, right, bottom};
  WriteInts(text, values, suffix);
}

uint64_t TLog::StartStopwatch() { return TickCount(); }

void TLog::WriteElapsed(std::string_view text, uint64_t stopwatch, std::string_view suffix) {
  Emit(Concat(text, std::to_string(TickCount() - stopwatch), suffix));
}

void TLog::WriteHeader(std::string_view programPath) {
  const std::string rule(64, '=');
  Emit("", true);
  Emit(rule, true);
  Emit(Concat("Program : ", programPath, ""), true);
  Emit(Concat("started : ", FormatLogDateTime(ProgramStartTime()), ""), true);
  Emit(rule, true);
}

void TLog::WriteFooter() {
  const std::string rule(64, '-');
  Emit("", true);
  Emit(rule, true);
  Emit("Program stoped : " + FormatLogDateTime(std::chrono::system_clock::now()) + " (work time : " +
          std::to_string(TickCount() - ProgramStartTick()) + " ms)",
       true);
  Emit(rule, true);
}

// ---------------------------------------------------------------------------

void TStdLog::WriteLine(const std::string& line) {
  std::string withEnd = line;
  withEnd += '\n';
  std::fputs(withEnd.c_str(), stderr);
}

void TExclLog::Emit(std::string_view text, bool raw) {
  std::lock_guard lock(fLock);
  TLog::Emit(text, raw);
}

TStreamLog::TStreamLog(TStream* stream) : fStream(stream) {}

TStreamLog::TStreamLog(std::unique_ptr<TStream> stream) { SetStream(std::move(stream)); }

TStreamLog::~TStreamLog() = default;

void TStreamLog::SetStream(std::unique_ptr<TStream> stream) {
  fOwnedStream = std::move(stream);
  fStream = fOwnedStream.get();
}

void TStreamLog::WriteLine(const std::string& line) {
  if (!fStream) return;
  try {
    if (fStream->GetSize() == 0) {
      static constexpr uint8_t kBom[] = {0xEF, 0xBB, 0xBF};
      fStream->Write(kBom);
    }
    std::string withEnd = line;
    withEnd += "\r\n";
    fStream->WriteAnsiString(withEnd);
  } catch (const std::exception&) {
    // A log that cannot write must not take the player down with it.
  }
}

TFileLog::TFileLog(const std::string& fileName, bool append) {
  try {
    auto file = std::make_unique<TFileStream>(fileName, append ? TFileCreation::OpenAlways : TFileCreation::CreateAlways,
                                              fsRead, faReadWrite);
    if (append) file->SetPosition(file->GetSize());
    SetStream(std::move(file));
    fOpen = true;
  } catch (const std::exception&) {
    fOpen = false;
  }
}

}  // namespace zel
