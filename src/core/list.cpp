#include "core/list.h"

#include <algorithm>
#include <stdexcept>

namespace zel {

int TList::Add(TObj* item) {
  fItems.push_back(item);
  return Count() - 1;
}

void TList::Insert(int index, TObj* item) {
  if (index < 0 || index > Count()) throw std::out_of_range("TList.Insert: index out of range");
  fItems.insert(fItems.begin() + index, item);
}

void TList::Delete(int index) {
  if (index < 0 || index >= Count()) throw std::out_of_range("TList.Delete: index out of range");
  fItems.erase(fItems.begin() + index);
}

int TList::Remove(TObj* item) {
  const int index = IndexOf(item);
  if (index >= 0) Delete(index);
  return index;
}

int TList::IndexOf(const TObj* item) const {
  const auto it = std::find(fItems.begin(), fItems.end(), item);
  return it == fItems.end() ? -1 : static_cast<int>(it - fItems.begin());
}

void TList::SetCount(int count) {
  if (count < 0 || count > kMaxCount) return;
  fItems.resize(static_cast<size_t>(count), nullptr);
}

void TList::ClearAndFree() {
  // Take the items first, so that an item's destructor that looks at this
  // list finds it already empty.
  std::vector<TObj*> items;
  items.swap(fItems);
  for (TObj* item : items) {
    if (!item) continue;
    if (auto* shared = dynamic_cast<TRefObj*>(item)) {
      shared->_Release();
    } else {
      delete item;
    }
  }
}

// ---------------------------------------------------------------------------

int TStringList::Compare(TStringView a, TStringView b) const {
  if (fCaseInsensitive) return CompareTextIgnoreCase(a, b);
  return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
}

int TStringList::LowerBound(TStringView text) const {
  const auto it = std::lower_bound(fItems.begin(), fItems.end(), text,
                                   [&](const TItem& item, TStringView t) { return Compare(item.text, t) < 0; });
  return static_cast<int>(it - fItems.begin());
}

int TStringList::Add(TStringView text, TObj* object) {
  const int index = fSorted ? LowerBound(text) : Count();
  fItems.insert(fItems.begin() + index, TItem{TString(text), object});
  return index;
}

void TStringList::Insert(int index, TStringView text, TObj* object) {
  if (index < 0 || index > Count()) throw std::out_of_range("TStringList.Insert: index out of range");
  fItems.insert(fItems.begin() + index, TItem{TString(text), object});
}

void TStringList::Delete(int index) {
  if (index < 0 || index >= Count()) throw std::out_of_range("TStringList.Delete: index out of range");
  fItems.erase(fItems.begin() + index);
}

int TStringList::IndexOf(TStringView text) const {
  if (fSorted) {
    const int index = LowerBound(text);
    return index < Count() && Compare(fItems[static_cast<size_t>(index)].text, text) == 0 ? index : -1;
  }
  for (int i = 0; i < Count(); ++i) {
    if (Compare(fItems[static_cast<size_t>(i)].text, text) == 0) return i;
  }
  return -1;
}

int TStringList::IndexOfObject(const TObj* object) const {
  for (int i = 0; i < Count(); ++i) {
    if (fItems[static_cast<size_t>(i)].object == object) return i;
  }
  return -1;
}

void TStringList::SetCaseInsensitive(bool value) {
  if (fCaseInsensitive == value) return;
  fCaseInsensitive = value;
  if (fSorted) Sort();
}

void TStringList::SetSorted(bool value) {
  if (value && !fSorted) {
    fSorted = true;
    Sort();
  } else {
    fSorted = value;
  }
}

void TStringList::Sort() {
  std::stable_sort(fItems.begin(), fItems.end(),
                   [&](const TItem& a, const TItem& b) { return Compare(a.text, b.text) < 0; });
}

}  // namespace zel
