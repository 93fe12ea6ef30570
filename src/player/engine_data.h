// The payloads of the engine's messages, in both directions.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "core/obj.h"
#include "core/strings.h"

namespace zel {

class TFileAccessor;
class TIniStorage;

// One text.
class TStrValue : public TObj {
 public:
  explicit TStrValue(TString text = {}) : Text(std::move(text)) {}
  TString Text;
};

// From the engine to the interface thread: a code, integers and maybe a
// text.
class TZelEventData : public TObj {
 public:
  TZelEventData(uint32_t code, std::vector<int32_t> values, std::unique_ptr<TStrValue> text = nullptr)
      : Code(code), Values(std::move(values)), Text(std::move(text)) {}
  uint32_t Code;
  std::vector<int32_t> Values;
  std::unique_ptr<TStrValue> Text;
};

// An open (with a show) or a seek (without one).
class TOpenParams : public TObj {
 public:
  TOpenParams();
  ~TOpenParams() override;
  bool Paused = false;  // the pause state once the request is carried out
  int32_t OpenNumber = 0;
  std::unique_ptr<TFileAccessor> Accessor;
  std::unique_ptr<TIniStorage> Project;
  int64_t StartTime = 0;  // ms
  bool IsOpen() const noexcept { return Project != nullptr; }
};

class TModeData : public TObj {
 public:
  explicit TModeData(bool paused) : Paused(paused) {}
  bool Paused;
};

// A mouse event: its buttons, its position in the drawing area, and the
// action the input mapping gave it, if any.
class TMouseData : public TObj {
 public:
  enum class TKind : uint8_t { Move = 0, Press = 1, Release = 2 };
  TKind Kind = TKind::Move;
  // The button that went down or up (1 left, 4 right, 5 middle; 0 none)
  // and the buttons held (the modifier bits 16, 32, 64).
  uint8_t Button = 0;
  uint32_t Buttons = 0;
  int32_t X = 0, Y = 0;
  std::optional<TString> MappedAction;
};

}  // namespace zel
