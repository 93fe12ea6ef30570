// The order in which a show's slides play.
//
// One order is kept per project and process, found by the project's own
// path ("ProjectFilePath"), so that every reader of the same project (the
// engine, the slide loader, a re-opened show) sees the same random order.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "core/obj.h"
#include "core/strings.h"

namespace zel {

class TIniIdentList;
class TShowRandom;

class TSlideRandomList : public TRefObj {
 public:
  // The plain order 0, 1, 2, ... or, with random, a random permutation of
  // the count slides.
  TSlideRandomList(int32_t count, bool random, TShowRandom& generator);
  explicit TSlideRandomList(int32_t count);

  // The order shared by every reader of the project at path (compared
  // without regard to case); made on first request from count and random.
  static TRef<TSlideRandomList> ForProject(TStringView path, int32_t count, bool random);
  // The order for a main section: "ProjectFilePath", "opt_slidescount" and
  // "opt_random"; a project without a path gets a plain order of its own.
  static TRef<TSlideRandomList> ForMainSection(const TIniIdentList& main);

  // The slide number played at position k; -1 for a negative position.
  // Positions past the list play the slide of their own number, as if the
  // list went on in plain order.
  int32_t SlideNumber(int64_t position) const;
  int32_t Count() const;
  std::vector<int32_t> Numbers() const;

 private:
  mutable std::mutex fLock;
  std::vector<int32_t> fNumbers;
};

}  // namespace zel
