// The global diagnostic log.
//
// Off unless the command line asks for it: the plain TLog discards every
// line, TStdLog writes to stderr (the debugger output of this platform),
// TFileLog to a UTF-8 text file beside the player.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "core/obj.h"
#include "core/strings.h"
#include "core/sync.h"

namespace zel {

class TStream;

class TLog : public TObj {
 public:
  TLog();

  // Written before every line.
  std::string Prefix;
  // "#" and the thread id in at least 4 hexadecimal digits.
  bool ShowThreadId = false;
  // "[" the milliseconds since the time base "]".
  bool ShowTime = false;

  void SetTimeBase(uint64_t tick) { fTimeBase = tick; }
  uint64_t TimeBase() const { return fTimeBase; }

  void Write(std::string_view text) { Emit(text); }
  void Write(TStringView text) { Emit(StringToUtf8(text)); }
  void Write(const char* text) { Emit(text); }
  // Text, a value, then a suffix.
  void WriteInt(std::string_view text, int64_t value, std::string_view suffix = {});
  void WriteFloat(std::string_view text, double value, std::string_view suffix = {});
  void WriteBool(std::string_view text, bool value, std::string_view suffix = {});
  void WriteInts(std::string_view text, std::span<const int64_t> values, std::string_view suffix = {});
  void WriteFloats(std::string_view text, std::span<const double> values, std::string_view suffix = {});
  void WritePoint(std::string_view text, int64_t x, int64_t y, std::string_view suffix = {});
  void WriteRect(std::string_view text, int64_t left, int64_t top, int64_t right, int64_t bottom,
                 std::string_view suffix = {});

  // The system millisecond counter, to hand to WriteElapsed later.
  static uint64_t StartStopwatch();
  void WriteElapsed(std::string_view text, uint64_t stopwatch, std::string_view suffix = {});

  // The frame of a run; both written with the prefixes off.
  void WriteHeader(std::string_view programPath);
  void WriteFooter();

  // The formatted line, as the prefix switches make it.
  std::string FormatLine(std::string_view text) const;

 protected:
  // Formats (unless raw) and writes one line.
  virtual void Emit(std::string_view text, bool raw = false) {
    WriteLine(raw ? std::string(text) : FormatLine(text));
  }
  // Writes one finished line. The plain log discards it.
  virtual void WriteLine(const std::string& line) { (void)line; }

 private:
  uint64_t fTimeBase;
};

class TStdLog : public TLog {
 protected:
  void WriteLine(const std::string& line) override;
};

// Lines from different threads never interleave.
class TExclLog : public TLog {
 protected:
  void Emit(std::string_view text, bool raw = false) override;

 private:
  TCriticalSection fLock;
};

// Lines in UTF-8, each ended by CR LF, after a byte order mark when the
// stream is empty. Without a stream the lines are discarded.
class TStreamLog : public TExclLog {
 public:
  explicit TStreamLog(TStream* stream);  // not owned
  explicit TStreamLog(std::unique_ptr<TStream> stream);
  ~TStreamLog() override;

 protected:
  void WriteLine(const std::string& line) override;
  TStreamLog() = default;
  void SetStream(std::unique_ptr<TStream> stream);

 private:
  std::unique_ptr<TStream> fOwnedStream;
  TStream* fStream = nullptr;
};

class TFileLog : public TStreamLog {
 public:
  // A new file by default; with append the lines go after what is there.
  explicit TFileLog(const std::string& fileName, bool append = false);
  bool IsOpen() const { return fOpen; }

 private:
  bool fOpen = false;
};

// The player's file name with its extension replaced by ".log".
std::string LogFileNameFor(std::string_view programPath);

// "DD.MM.YYYY HH:MM:SS.mmm" in local time.
std::string FormatLogDateTime(std::chrono::system_clock::time_point when);
// Fixed notation with 16 decimals, then trailing zeros and a trailing point removed.
std::string FormatLogFloat(double value);

// The moment the program started: the time base of the log and the start of
// the work time in the footer. Taken when the program loads.
uint64_t ProgramStartTick();
std::chrono::system_clock::time_point ProgramStartTime();

// The global log. Installing one frees the previous; installing none puts a
// plain (discarding) log in place. Replace it only at start and end.
TLog& Log();
void InstallLog(std::unique_ptr<TLog> log);

}  // namespace zel
