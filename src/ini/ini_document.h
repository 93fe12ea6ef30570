// The INI document model.
//
// A tree of line items that keeps every line as it was read: the document
// (TIniStorage) holds lines, sections and objects; sections and objects hold
// lines and objects. Keys are found through per-collection hash indexes (251
// buckets), sections through the document's index (9,973 buckets). All
// positions are 1-based character indexes into the item's own line text.
//
// Ownership: a collection owns its children. Deleting an item unlinks it
// from its owner and from the owner's index.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/obj.h"
#include "core/strings.h"

namespace zel {

class TIniCollection;
class TIniIdentList;
class TIniSection;
class TIniObject;
class TIniStorage;

// Lower case: "A"-"Z" below 128, the ICU lower-case mapping above.
TString IniFold(TStringView text);
// ELF hash over the low bytes of the code units.
uint32_t IniHash(TStringView folded);

inline constexpr uint32_t kIniKeyBuckets = 251;
inline constexpr uint32_t kIniSectionBuckets = 9973;

enum class TIniKind : uint8_t { Empty, Text, Comment, Ident, Object, ExtraObject, Section, Storage };

class TIniLineSink {
 public:
  virtual ~TIniLineSink() = default;
  virtual void AddLine(TStringView line) = 0;
  virtual void AddEmptyLine() = 0;
};

class TCommonIniItem : public TObj {
 public:
  TCommonIniItem(const TCommonIniItem&) = delete;
  TCommonIniItem& operator=(const TCommonIniItem&) = delete;
  ~TCommonIniItem() override;

  TIniCollection* Owner() const noexcept { return fOwner; }
  TCommonIniItem* Prev() const noexcept { return fPrev; }
  TCommonIniItem* Next() const noexcept { return fNext; }
  TIniKind Kind() const noexcept { return fKind; }
  bool IsObject() const noexcept { return fKind == TIniKind::Object || fKind == TIniKind::ExtraObject; }
  bool IsCollection() const noexcept { return fKind >= TIniKind::Object; }

  // Line items refuse children (assertion naming the class).
  virtual void LinkChild(TCommonIniItem* child);
  virtual void UnlinkChild(TCommonIniItem* child);
  virtual void WriteTo(TIniLineSink& sink) const = 0;
  // Unlinks from the old owner, then links at the end of the new one.
  virtual void SetOwner(TIniCollection* owner);
  virtual TCommonIniItem* CloneInto(TIniCollection* target) const = 0;

 protected:
  explicit TCommonIniItem(TIniKind kind) : fKind(kind) {}

 private:
  friend class TIniCollection;
  TIniCollection* fOwner = nullptr;
  TCommonIniItem* fPrev = nullptr;
  TCommonIniItem* fNext = nullptr;
  TIniKind fKind;
};

class TIniEmptyLine : public TCommonIniItem {
 public:
  TIniEmptyLine() : TCommonIniItem(TIniKind::Empty) {}
  void WriteTo(TIniLineSink& sink) const override { sink.AddEmptyLine(); }
  TCommonIniItem* CloneInto(TIniCollection* target) const override;

 protected:
  explicit TIniEmptyLine(TIniKind kind) : TCommonIniItem(kind) {}
};

class TIniTextLine : public TIniEmptyLine {
 public:
  explicit TIniTextLine(TString text) : TIniEmptyLine(TIniKind::Text), fText(std::move(text)) {}
  const TString& Text() const noexcept { return fText; }
  void WriteTo(TIniLineSink& sink) const override { sink.AddLine(fText); }
  TCommonIniItem* CloneInto(TIniCollection* target) const override;

 protected:
  TIniTextLine(TIniKind kind, TString text) : TIniEmptyLine(kind), fText(std::move(text)) {}
  TString fText;
};

class TIniComment : public TIniTextLine {
 public:
  TIniComment(TString text, int32_t commentPos) : TIniTextLine(TIniKind::Comment, std::move(text)), fCommentPos(commentPos) {}
  int32_t CommentPos() const noexcept { return fCommentPos; }
  TCommonIniItem* CloneInto(TIniCollection* target) const override;

 private:
  int32_t fCommentPos;
};

class TIniIdent : public TIniTextLine {
 public:
  TIniIdent(TString text, int32_t keyStart, int32_t keyLength, int32_t valueStart)
      : TIniTextLine(TIniKind::Ident, std::move(text)), fKeyStart(keyStart), fKeyLength(keyLength), fValueStart(valueStart) {}
  ~TIniIdent() override;

  TString Key() const;
  // From the value start to the end, trailing TAB and SPACE removed.
  TString Value() const;
  TStringView ValueView() const;
  void SetValue(TStringView text);
  int32_t KeyStart() const noexcept { return fKeyStart; }
  int32_t KeyLength() const noexcept { return fKeyLength; }
  int32_t ValueStart() const noexcept { return fValueStart; }
  const TString& FoldedKey() const noexcept { return fFolded; }
  TCommonIniItem* CloneInto(TIniCollection* target) const override;

 private:
  friend class TIniIdentList;
  int32_t fKeyStart, fKeyLength, fValueStart;
  TString fFolded;
  int32_t fBucket = -1;  // -1 until first linked
  TIniIdent* fNextInBucket = nullptr;
  TIniIdentList* fIndexedIn = nullptr;
};

class TIniCollection : public TCommonIniItem {
 public:
  ~TIniCollection() override;
  TCommonIniItem* First() const noexcept { return fFirst; }
  TCommonIniItem* Last() const noexcept { return fLast; }

  void LinkChild(TCommonIniItem* child) override { InsertChild(child, fLast); }
  void UnlinkChild(TCommonIniItem* child) override;
  // Links the child just after `after` (nullptr: as the first item).
  virtual void InsertChild(TCommonIniItem* child, TCommonIniItem* after);
  void InsertChildBefore(TCommonIniItem* child, TCommonIniItem* before);
  // Frees the children from the last to the first.
  virtual void RemoveAll();
  virtual void Assign(const TIniCollection& other);
  void WriteChildren(TIniLineSink& sink) const;
  void CloneChildrenInto(TIniCollection* target) const;

 protected:
  using TCommonIniItem::TCommonIniItem;

 private:
  TCommonIniItem* fFirst = nullptr;
  TCommonIniItem* fLast = nullptr;
};

// Typed-read results.
struct TIniPoint {
  int32_t x = 0, y = 0;
  bool operator==(const TIniPoint&) const = default;
};
struct TIniFloatPoint {
  float x = 0, y = 0;
  bool operator==(const TIniFloatPoint&) const = default;
};
struct TIniVector {
  float x = 0, y = 0, z = 0;
  bool operator==(const TIniVector&) const = default;
};
struct TIniRect {
  float left = 0, top = 0, right = 0, bottom = 0;
  bool operator==(const TIniRect&) const = default;
};

// Value conversions with their acceptance rules.
bool IniTextToInt(TStringView text, int32_t& value);
bool IniTextToFloat(TStringView text, double& value);
bool IniTextToBool(TStringView text, bool& value);
// Items separated by ","; leading TAB and SPACE of each item skipped.
std::vector<TString> IniSplitList(TStringView text);

class TIniIdentList : public TIniCollection {
 public:
  ~TIniIdentList() override;
  void InsertChild(TCommonIniItem* child, TCommonIniItem* after) override;
  void UnlinkChild(TCommonIniItem* child) override;

  // In this collection only (not in child objects); the one linked last wins.
  TIniIdent* FindKey(TStringView key) const;
  TIniIdent* FindOrCreateKey(TStringView key, int32_t indentation);
  // With the collection's own indentation (0; objects: head indentation + 2).
  TIniIdent* FindOrCreateKey(TStringView key) { return FindOrCreateKey(key, KeyIndentation()); }
  virtual int32_t KeyIndentation() const { return 0; }
  TIniObject* FirstObject() const;
  TIniObject* NextObject(const TCommonIniItem* after) const;

  // Typed reads: a missing key gives the default.
  TString ReadString(TStringView key, TStringView defaultValue) const;
  int32_t ReadInteger(TStringView key, int32_t defaultValue) const;
  double ReadFloat(TStringView key, double defaultValue) const;
  bool ReadBool(TStringView key, bool defaultValue) const;
  int32_t ReadIndex(TStringView key, std::span<const TString> candidates, int32_t defaultValue) const;
  int32_t ReadIndexFolded(TStringView key, std::span<const TString> candidates, int32_t defaultValue) const;
  // The number of items found (also beyond capacity); 0 when missing.
  int32_t ReadStrings(TStringView key, std::span<TString> items) const;
  // The number of items, or ~i when item i (within capacity) fails.
  int32_t ReadIntegers(TStringView key, std::span<int32_t> items) const;
  int32_t ReadFloats(TStringView key, std::span<double> items) const;
  uint32_t ReadColor(TStringView key, uint32_t defaultValue) const;
  uint32_t ReadColorAlpha(TStringView key, uint32_t defaultValue) const;
  TIniPoint ReadPoint(TStringView key, TIniPoint defaultValue) const;
  TIniFloatPoint ReadFloatPoint(TStringView key, TIniFloatPoint defaultValue) const;
  TIniVector ReadVector(TStringView key, TIniVector defaultValue) const;
  TIniRect ReadRect(TStringView key, TIniRect defaultValue, TIniFloatPoint& point) const;

 protected:
  using TIniCollection::TIniCollection;
  // The list whose index holds this list's keys.
  virtual TIniIdentList* IndexHolder() { return this; }
  const TIniIdentList* IndexHolder() const { return const_cast<TIniIdentList*>(this)->IndexHolder(); }
  void IndexKey(TIniIdent* ident);
  static void UnindexKey(TIniIdent* ident);
  void ClearIndex();
  void IndexOwnKeys();

 private:
  std::vector<TIniIdent*> fBuckets;  // grown on first use
};

class TCommonIniSection : public TIniIdentList {
 public:
  const TString& HeadText() const noexcept { return fHead; }
  int32_t NameStart() const noexcept { return fNameStart; }
  int32_t NameLength() const noexcept { return fNameLength; }
  TString Name() const;
  virtual void Rename(TStringView name);
  void WriteTo(TIniLineSink& sink) const override;

 protected:
  TCommonIniSection(TIniKind kind, TString head, int32_t nameStart, int32_t nameLength)
      : TIniIdentList(kind), fHead(std::move(head)), fNameStart(nameStart), fNameLength(nameLength) {}
  // Replaces the name part of the head line; returns the change in length.
  int32_t ReplaceName(TStringView name);

  TString fHead;
  int32_t fNameStart, fNameLength;
};

class TIniObject : public TCommonIniSection {
 public:
  TIniObject(TString head, int32_t nameStart, int32_t nameLength, int32_t typeStart);
  ~TIniObject() override;
  TString Type() const;
  void SetType(TStringView type);
  int32_t TypeStart() const noexcept { return fTypeStart; }
  int32_t Indentation() const noexcept { return fIndentation; }
  int32_t KeyIndentation() const override { return fIndentation + 2; }
  void Rename(TStringView name) override;
  TCommonIniItem* CloneInto(TIniCollection* target) const override;

 protected:
  TIniObject(TIniKind kind, TString head, int32_t nameStart, int32_t nameLength, int32_t typeStart);
  // beforeEnd: into a closed object, just before its closing line (a copy
  // of a whole tree appends instead, as its closing lines come in order).
  TIniObject* CloneHead(TIniCollection* target, TIniObject* clone, bool beforeEnd) const;
  virtual TIniObject* CloneObject(TIniCollection* target, bool beforeEnd) const;

 public:
  // Appends a copy at the end of the target, whatever its last line.
  TIniObject* CloneAppendedInto(TIniCollection* target) const { return CloneObject(target, false); }

 private:
  int32_t fTypeStart;
  int32_t fIndentation;
};

class TIniExtraObject : public TIniObject {
 public:
  TIniExtraObject(TString word, TString head, int32_t nameStart, int32_t nameLength, int32_t typeStart)
      : TIniObject(TIniKind::ExtraObject, std::move(head), nameStart, nameLength, typeStart), fWord(std::move(word)) {}
  const TString& Word() const noexcept { return fWord; }

 protected:
  TIniObject* CloneObject(TIniCollection* target, bool beforeEnd) const override;

 private:
  TString fWord;
};

class TIniSection : public TCommonIniSection {
 public:
  TIniSection(TString head, int32_t nameStart, int32_t nameLength)
      : TCommonIniSection(TIniKind::Section, std::move(head), nameStart, nameLength) {}
  ~TIniSection() override;
  void Rename(TStringView name) override;
  TCommonIniItem* CloneInto(TIniCollection* target) const override;
  const TString& FoldedName() const noexcept { return fFolded; }
  TIniSection* NextSameName() const noexcept { return fNextSame; }
  TIniSection* PrevSameName() const noexcept { return fPrevSame; }

 protected:
  TIniIdentList* IndexHolder() override;

 private:
  friend class TIniStorage;
  TString fFolded;
  int32_t fBucket = -1;
  TIniSection* fNextInBucket = nullptr;
  TIniSection* fNextSame = nullptr;
  TIniSection* fPrevSame = nullptr;
};

class TIniStorage : public TIniIdentList {
 public:
  TIniStorage() : TIniIdentList(TIniKind::Storage) {}
  ~TIniStorage() override;
  void InsertChild(TCommonIniItem* child, TCommonIniItem* after) override;
  void UnlinkChild(TCommonIniItem* child) override;
  void WriteTo(TIniLineSink& sink) const override { WriteChildren(sink); }
  // Not applicable: stops with the assertion "Method not applicable".
  TCommonIniItem* CloneInto(TIniCollection* target) const override;

  TIniSection* FindSection(TStringView name) const;
  TIniSection* FindOrCreateSection(TStringView name);
  bool SectionExists(TStringView name) const { return FindSection(name) != nullptr; }
  void SectionNames(std::vector<TString>& names) const;

  // The document's own keys (lines before the first section).
  using TIniIdentList::ReadBool;
  using TIniIdentList::ReadFloat;
  using TIniIdentList::ReadInteger;
  using TIniIdentList::ReadString;
  // Reads from a section found by name; no section gives the default.
  TString ReadString(TStringView section, TStringView key, TStringView defaultValue) const;
  int32_t ReadInteger(TStringView section, TStringView key, int32_t defaultValue) const;
  double ReadFloat(TStringView section, TStringView key, double defaultValue) const;
  bool ReadBool(TStringView section, TStringView key, bool defaultValue) const;
  void WriteString(TStringView section, TStringView key, TStringView text);
  void WriteInteger(TStringView section, TStringView key, int64_t value);

  // Re-indexes the keys of a chain of same-name sections into its first.
  static void RebuildChain(TIniSection* anyMember);
  void RemoveAll() override;

 private:
  friend class TIniSection;
  void IndexSection(TIniSection* section);
  void UnindexSection(TIniSection* section);

  std::vector<TIniSection*> fSectionBuckets;  // grown on first use
  bool fBulkRemoval = false;
};

}  // namespace zel
