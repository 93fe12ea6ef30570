#include "show/slide_order.h"

#include <algorithm>
#include <limits>
#include <map>
#include <numeric>

#include "ini/ini_document.h"
#include "show/show_random.h"

namespace zel {

TSlideRandomList::TSlideRandomList(int32_t count) {
  fNumbers.resize(static_cast<size_t>(std::max(count, 0)));
  std::iota(fNumbers.begin(), fNumbers.end(), 0);
}

TSlideRandomList::TSlideRandomList(int32_t count, bool random, TShowRandom& generator) : TSlideRandomList(count) {
  if (!random) return;
  // Every slide draws a key; the slides play by ascending key, ties in
  // plain order.
  std::vector<std::pair<uint32_t, int32_t>> keyed;
  keyed.reserve(fNumbers.size());
  for (const int32_t n : fNumbers) keyed.emplace_back(generator.Next(1000000), n);
  std::stable_sort(keyed.begin(), keyed.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (size_t i = 0; i < keyed.size(); ++i) fNumbers[i] = keyed[i].second;
}

TRef<TSlideRandomList> TSlideRandomList::ForProject(TStringView path, int32_t count, bool random) {
  // Orders live as long as the process: a project opened again replays in
  // the order it was given the first time.
  static std::mutex registryLock;
  static std::map<TString, TRef<TSlideRandomList>> registry;
  const TString key = LowerCase(path);
  std::lock_guard guard(registryLock);
  TRef<TSlideRandomList>& list = registry[key];
  if (!list) {
    TShowRandom generator;
    list = MakeRef<TSlideRandomList>(count, random, generator);
  }
  return list;
}

TRef<TSlideRandomList> TSlideRandomList::ForMainSection(const TIniIdentList& main) {
  const int32_t count = std::max(main.ReadInteger(u"opt_slidescount", 0), 0);
  const TString path = main.ReadString(u"ProjectFilePath", u"");
  if (path.empty()) return MakeRef<TSlideRandomList>(count);
  return ForProject(path, count, main.ReadBool(u"opt_random", false));
}

int32_t TSlideRandomList::SlideNumber(int64_t position) const {
  if (position < 0) return -1;
  std::lock_guard guard(fLock);
  if (position < static_cast<int64_t>(fNumbers.size())) return fNumbers[static_cast<size_t>(position)];
  return static_cast<int32_t>(std::min<int64_t>(position, std::numeric_limits<int32_t>::max()));
}

int32_t TSlideRandomList::Count() const {
  std::lock_guard guard(fLock);
  return static_cast<int32_t>(fNumbers.size());
}

std::vector<int32_t> TSlideRandomList::Numbers() const {
  std::lock_guard guard(fLock);
  return fNumbers;
}

}  // namespace zel
