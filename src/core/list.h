// The object list and the string list.
#pragma once

#include <cstdint>
#include <vector>

#include "core/obj.h"
#include "core/strings.h"

namespace zel {

// A dynamic array of object references. It does not own its items; only
// ClearAndFree disposes of them.
class TList : public TObj {
 public:
  static constexpr int kMaxCount = 134217726;

  TList() = default;
  TList(const TList&) = delete;
  TList& operator=(const TList&) = delete;

  int Count() const { return static_cast<int>(fItems.size()); }
  TObj* Items(int index) const { return fItems.at(static_cast<size_t>(index)); }
  TObj* operator[](int index) const { return Items(index); }
  TObj* First() const { return fItems.empty() ? nullptr : fItems.front(); }
  TObj* Last() const { return fItems.empty() ? nullptr : fItems.back(); }

  int Add(TObj* item);
  void Insert(int index, TObj* item);
  // Removes the slot without freeing its item.
  void Delete(int index);
  // Removes the first slot holding item; its index, or -1.
  int Remove(TObj* item);
  int IndexOf(const TObj* item) const;
  // Counts above kMaxCount or below 0 are ignored; growing adds null slots.
  void SetCount(int count);

  // Forgets every item, freeing nothing.
  void Clear() { fItems.clear(); }
  // Releases shared items and deletes the others, then forgets them all.
  void ClearAndFree();

 private:
  std::vector<TObj*> fItems;
};

// Strings, each with an optional object (not owned). Optionally kept in
// order; optionally compared without regard to case.
class TStringList : public TObj {
 public:
  int Count() const { return static_cast<int>(fItems.size()); }
  const TString& Strings(int index) const { return fItems.at(static_cast<size_t>(index)).text; }
  TObj* Objects(int index) const { return fItems.at(static_cast<size_t>(index)).object; }
  void SetObject(int index, TObj* object) { fItems.at(static_cast<size_t>(index)).object = object; }

  // In a sorted list the string goes to its place; returns its index.
  int Add(TStringView text, TObj* object = nullptr);
  void Insert(int index, TStringView text, TObj* object = nullptr);
  void Delete(int index);
  void Clear() { fItems.clear(); }
  // -1 when absent. A binary search when sorted, else a scan from the start.
  int IndexOf(TStringView text) const;
  int IndexOfObject(const TObj* object) const;

  bool CaseInsensitive() const { return fCaseInsensitive; }
  void SetCaseInsensitive(bool value);
  bool Sorted() const { return fSorted; }
  // Switching it on sorts the list.
  void SetSorted(bool value);
  void Sort();

  int Compare(TStringView a, TStringView b) const;

 private:
  struct TItem {
    TString text;
    TObj* object;
  };
  // The first index whose string is not below text.
  int LowerBound(TStringView text) const;

  std::vector<TItem> fItems;
  bool fCaseInsensitive = false;
  bool fSorted = false;
};

}  // namespace zel
