// Makes show packages: entries, the index and its tail, either as a plain
// show file or appended to a copy of the player.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/streams.h"
#include "ini/ini_parser.h"
#include "package/zel_unpack.h"

namespace zel {

class TZelPackWriter {
 public:
  // Writes to out from its current position, which must be the end of what
  // it holds (the player's bytes for the appended form, or nothing).
  explicit TZelPackWriter(TStream& out);

  // Adds one entry read from content's position to its end. Stored entries
  // are copied, deflated ones compressed, scrambled ones combined with the
  // entry key by their offset inside the entry.
  void AddEntry(TStringView name, TStream& content, uint8_t method);

  // Writes the index and the tail. With appended, the package length that
  // lets the player find a package behind its own executable.
  void Finish(bool appended, bool allowModify, TStringView zelVersion);

  int EntryCount() const { return fCount; }

 private:
  TStream& fOut;
  TIniFile fIndex;
  int fCount = 0;
};

}  // namespace zel
