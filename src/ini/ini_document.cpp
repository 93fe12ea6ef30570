#include "ini/ini_document.h"

#include <unicode/uchar.h>

#include <algorithm>
#include <charconv>
#include <string>

namespace zel {

// ---------------------------------------------------------------------------
// Folding and hashing

TString IniFold(TStringView text) {
  TString out(text);
  for (char16_t& c : out) {
    if (c < 128) {
      if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    } else if (c < 0xD800 || c > 0xDFFF) {
      const UChar32 lower = u_tolower(c);
      if (lower >= 0 && lower <= 0xFFFF) c = static_cast<char16_t>(lower);
    }
  }
  return out;
}

uint32_t IniHash(TStringView folded) {
  uint32_t h = 0;
  for (char16_t c : folded) {
    h = (h << 4) + (c & 0xFF);
    const uint32_t top = h & 0xF0000000u;
    if (top != 0) h = (h ^ (top >> 24)) & 0x0FFFFFFFu;
  }
  return h;
}

namespace {

TStringView TrimRight(TStringView s) {
  while (!s.empty() && (s.back() == 9 || s.back() == 32)) s.remove_suffix(1);
  return s;
}

TStringView Tail(const TString& text, int32_t start) {
  if (start < 1 || static_cast<size_t>(start) > text.size()) return {};
  return TStringView(text).substr(static_cast<size_t>(start - 1));
}

}  // namespace

// ---------------------------------------------------------------------------
// TCommonIniItem

TCommonIniItem::~TCommonIniItem() {
  if (fOwner) fOwner->UnlinkChild(this);
}

void TCommonIniItem::LinkChild(TCommonIniItem*) { AssertionFailed(ClassName() + " cannot hold children", __FILE__, __LINE__); }
void TCommonIniItem::UnlinkChild(TCommonIniItem*) {
  AssertionFailed(ClassName() + " cannot hold children", __FILE__, __LINE__);
}

void TCommonIniItem::SetOwner(TIniCollection* owner) {
  if (fOwner) fOwner->UnlinkChild(this);
  if (owner) owner->LinkChild(this);
}

TCommonIniItem* TIniEmptyLine::CloneInto(TIniCollection* target) const {
  auto* clone = new TIniEmptyLine();
  if (target) target->LinkChild(clone);
  return clone;
}

TCommonIniItem* TIniTextLine::CloneInto(TIniCollection* target) const {
  auto* clone = new TIniTextLine(fText);
  if (target) target->LinkChild(clone);
  return clone;
}

TCommonIniItem* TIniComment::CloneInto(TIniCollection* target) const {
  auto* clone = new TIniComment(fText, fCommentPos);
  if (target) target->LinkChild(clone);
  return clone;
}

// ---------------------------------------------------------------------------
// TIniIdent

TIniIdent::~TIniIdent() {
  if (Owner()) Owner()->UnlinkChild(this);
}

TString TIniIdent::Key() const {
  if (fKeyLength <= 0 || fKeyStart < 1 || static_cast<size_t>(fKeyStart) > fText.size()) return {};
  return fText.substr(static_cast<size_t>(fKeyStart - 1), static_cast<size_t>(fKeyLength));
}

TStringView TIniIdent::ValueView() const { return TrimRight(Tail(fText, fValueStart)); }
TString TIniIdent::Value() const { return TString(ValueView()); }

void TIniIdent::SetValue(TStringView text) {
  fText.resize(std::min(fText.size(), static_cast<size_t>(std::max(fValueStart - 1, 0))));
  fText.append(text);
}

TCommonIniItem* TIniIdent::CloneInto(TIniCollection* target) const {
  auto* clone = new TIniIdent(fText, fKeyStart, fKeyLength, fValueStart);
  if (target) target->LinkChild(clone);
  return clone;
}

// ---------------------------------------------------------------------------
// TIniCollection

TIniCollection::~TIniCollection() { TIniCollection::RemoveAll(); }

void TIniCollection::InsertChild(TCommonIniItem* child, TCommonIniItem* after) {
  if (child->fOwner) child->fOwner->UnlinkChild(child);
  child->fOwner = this;
  child->fPrev = after;
  child->fNext = after ? after->fNext : fFirst;
  if (child->fNext)
    child->fNext->fPrev = child;
  else
    fLast = child;
  if (after)
    after->fNext = child;
  else
    fFirst = child;
}

void TIniCollection::InsertChildBefore(TCommonIniItem* child, TCommonIniItem* before) {
  InsertChild(child, before ? before->fPrev : fLast);
}

void TIniCollection::UnlinkChild(TCommonIniItem* child) {
  if (!child || child->fOwner != this) return;
  if (child->fPrev)
    child->fPrev->fNext = child->fNext;
  else
    fFirst = child->fNext;
  if (child->fNext)
    child->fNext->fPrev = child->fPrev;
  else
    fLast = child->fPrev;
  child->fOwner = nullptr;
  child->fPrev = child->fNext = nullptr;
}

void TIniCollection::RemoveAll() {
  while (fLast) delete fLast;
}

void TIniCollection::Assign(const TIniCollection& other) {
  RemoveAll();
  other.CloneChildrenInto(this);
}

void TIniCollection::WriteChildren(TIniLineSink& sink) const {
  for (const TCommonIniItem* item = fFirst; item; item = item->Next()) item->WriteTo(sink);
}

void TIniCollection::CloneChildrenInto(TIniCollection* target) const {
  // Children are copied in order, so a nested object goes at the end: the
  // copy's closing line has not come yet.
  for (const TCommonIniItem* item = fFirst; item; item = item->Next()) {
    if (item->IsObject())
      static_cast<const TIniObject*>(item)->CloneAppendedInto(target);
    else
      item->CloneInto(target);
  }
}

// ---------------------------------------------------------------------------
// TIniIdentList

TIniIdentList::~TIniIdentList() { RemoveAll(); }

void TIniIdentList::IndexKey(TIniIdent* ident) {
  if (ident->fBucket < 0) {
    ident->fFolded = IniFold(TStringView(ident->Text()).substr(
        static_cast<size_t>(std::max(ident->fKeyStart - 1, 0)), static_cast<size_t>(std::max(ident->fKeyLength, 0))));
    ident->fBucket = static_cast<int32_t>(IniHash(ident->fFolded) % kIniKeyBuckets);
  }
  TIniIdentList* holder = IndexHolder();
  auto& buckets = holder->fBuckets;
  if (buckets.size() <= static_cast<size_t>(ident->fBucket)) buckets.resize(static_cast<size_t>(ident->fBucket) + 1);
  ident->fNextInBucket = buckets[static_cast<size_t>(ident->fBucket)];
  buckets[static_cast<size_t>(ident->fBucket)] = ident;
  ident->fIndexedIn = holder;
}

void TIniIdentList::UnindexKey(TIniIdent* ident) {
  TIniIdentList* holder = ident->fIndexedIn;
  if (!holder) return;
  auto& buckets = holder->fBuckets;
  if (static_cast<size_t>(ident->fBucket) < buckets.size()) {
    TIniIdent** link = &buckets[static_cast<size_t>(ident->fBucket)];
    while (*link && *link != ident) link = &(*link)->fNextInBucket;
    if (*link) *link = ident->fNextInBucket;
  }
  ident->fNextInBucket = nullptr;
  ident->fIndexedIn = nullptr;
}

void TIniIdentList::ClearIndex() {
  for (TIniIdent* head : fBuckets) {
    while (head) {
      TIniIdent* next = head->fNextInBucket;
      head->fNextInBucket = nullptr;
      head->fIndexedIn = nullptr;
      head = next;
    }
  }
  fBuckets.clear();
}

void TIniIdentList::IndexOwnKeys() {
  for (TCommonIniItem* item = First(); item; item = item->Next())
    if (item->Kind() == TIniKind::Ident) IndexKey(static_cast<TIniIdent*>(item));
}

void TIniIdentList::InsertChild(TCommonIniItem* child, TCommonIniItem* after) {
  TIniCollection::InsertChild(child, after);
  if (child->Kind() == TIniKind::Ident) IndexKey(static_cast<TIniIdent*>(child));
}

void TIniIdentList::UnlinkChild(TCommonIniItem* child) {
  if (child && child->Owner() == this && child->Kind() == TIniKind::Ident) UnindexKey(static_cast<TIniIdent*>(child));
  TIniCollection::UnlinkChild(child);
}

TIniIdent* TIniIdentList::FindKey(TStringView key) const {
  const TIniIdentList* holder = IndexHolder();
  if (holder->fBuckets.empty()) return nullptr;
  const TString folded = IniFold(key);
  const size_t bucket = IniHash(folded) % kIniKeyBuckets;
  if (bucket >= holder->fBuckets.size()) return nullptr;
  for (TIniIdent* ident = holder->fBuckets[bucket]; ident; ident = ident->fNextInBucket)
    if (ident->fFolded == folded) return ident;
  return nullptr;
}

TIniIdent* TIniIdentList::FindOrCreateKey(TStringView key, int32_t indentation) {
  if (TIniIdent* found = FindKey(key)) return found;
  indentation = std::max(indentation, 0);
  TString text(static_cast<size_t>(indentation), u' ');
  text.append(key);
  text.push_back(u'=');
  const int32_t valueStart = static_cast<int32_t>(text.size()) + 1;
  auto* ident = new TIniIdent(std::move(text), indentation + 1, static_cast<int32_t>(key.size()), valueStart);
  TCommonIniItem* after = Last();
  while (after && after->Kind() != TIniKind::Ident) after = after->Prev();
  InsertChild(ident, after);
  return ident;
}

TIniObject* TIniIdentList::FirstObject() const { return NextObject(nullptr); }

TIniObject* TIniIdentList::NextObject(const TCommonIniItem* after) const {
  for (TCommonIniItem* item = after ? after->Next() : First(); item; item = item->Next())
    if (item->IsObject()) return static_cast<TIniObject*>(item);
  return nullptr;
}

// ---------------------------------------------------------------------------
// Conversions

namespace {

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

}  // namespace

bool IniTextToInt(TStringView s, int32_t& value) {
  size_t i = 0;
  const size_t n = s.size();
  while (i < n && s[i] == u' ') ++i;
  bool negative = false;
  if (i < n && (s[i] == u'+' || s[i] == u'-')) negative = s[i++] == u'-';
  bool hex = false;
  if (i < n && (s[i] == u'$' || s[i] == u'x' || s[i] == u'X')) {
    hex = true;
    ++i;
  } else if (i + 1 < n && s[i] == u'0' && (s[i + 1] == u'x' || s[i + 1] == u'X')) {
    hex = true;
    i += 2;
  }
  if (i >= n) return false;
  uint64_t v = 0;
  const uint64_t limit = hex ? 0xFFFFFFFFull : (negative ? 2147483648ull : 2147483647ull);
  for (; i < n; ++i) {
    const int d = hex ? HexDigit(s[i]) : (s[i] >= u'0' && s[i] <= u'9' ? s[i] - u'0' : -1);
    if (d < 0) return false;
    v = v * (hex ? 16 : 10) + static_cast<uint64_t>(d);
    if (v > limit) return false;
  }
  uint32_t u = static_cast<uint32_t>(v);
  if (negative) u = 0u - u;
  value = static_cast<int32_t>(u);
  return true;
}

bool IniTextToFloat(TStringView s, double& value) {
  const size_t n = s.size();
  if (n == 0 || n > 400) return false;
  std::string ascii;
  ascii.reserve(n);
  size_t i = 0;
  if (s[i] == u'+' || s[i] == u'-') {
    if (s[i] == u'-') ascii.push_back('-');
    ++i;
  }
  size_t digits = 0;
  while (i < n && s[i] >= u'0' && s[i] <= u'9') ascii.push_back(static_cast<char>(s[i++])), ++digits;
  if (i < n && s[i] == u'.') {
    ascii.push_back('.');
    ++i;
    while (i < n && s[i] >= u'0' && s[i] <= u'9') ascii.push_back(static_cast<char>(s[i++])), ++digits;
  }
  if (digits == 0) return false;
  if (i < n && (s[i] == u'e' || s[i] == u'E')) {
    ascii.push_back('e');
    ++i;
    if (i < n && (s[i] == u'+' || s[i] == u'-')) ascii.push_back(static_cast<char>(s[i++]));
    size_t expDigits = 0;
    while (i < n && s[i] >= u'0' && s[i] <= u'9') ascii.push_back(static_cast<char>(s[i++])), ++expDigits;
    if (expDigits == 0) return false;
  }
  if (i != n) return false;
  double d = 0;
  const auto [ptr, ec] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), d);
  if (ec != std::errc() || ptr != ascii.data() + ascii.size()) return false;
  value = d;
  return true;
}

bool IniTextToBool(TStringView s, bool& value) {
  size_t i = 0;
  const size_t n = s.size();
  bool negative = false;
  if (i < n && s[i] == u'-') negative = true, ++i;
  const uint64_t limit = negative ? 2147483648ull : 2147483647ull;
  uint64_t v = 0;
  size_t digits = 0;
  while (i < n && s[i] >= u'0' && s[i] <= u'9') {
    v = v * 10 + static_cast<uint64_t>(s[i] - u'0');
    if (v > limit) return false;
    ++i, ++digits;
  }
  if (digits == 0) return false;
  for (; i < n; ++i)
    if (s[i] >= 32) return false;
  value = v != 0;
  return true;
}

std::vector<TString> IniSplitList(TStringView s) {
  std::vector<TString> items;
  size_t i = 0;
  const size_t n = s.size();
  for (;;) {
    while (i < n && (s[i] == 9 || s[i] == 32)) ++i;
    size_t end = s.find(u',', i);
    if (end == TStringView::npos) {
      items.emplace_back(s.substr(std::min(i, n)));
      break;
    }
    items.emplace_back(s.substr(i, end - i));
    i = end + 1;
  }
  return items;
}

// ---------------------------------------------------------------------------
// Typed reads

TString TIniIdentList::ReadString(TStringView key, TStringView defaultValue) const {
  const TIniIdent* ident = FindKey(key);
  return ident ? ident->Value() : TString(defaultValue);
}

int32_t TIniIdentList::ReadInteger(TStringView key, int32_t defaultValue) const {
  const TIniIdent* ident = FindKey(key);
  int32_t v;
  return ident && IniTextToInt(ident->ValueView(), v) ? v : defaultValue;
}

double TIniIdentList::ReadFloat(TStringView key, double defaultValue) const {
  const TIniIdent* ident = FindKey(key);
  double v;
  return ident && IniTextToFloat(ident->ValueView(), v) ? v : defaultValue;
}

bool TIniIdentList::ReadBool(TStringView key, bool defaultValue) const {
  const TIniIdent* ident = FindKey(key);
  bool v;
  return ident && IniTextToBool(ident->ValueView(), v) ? v : defaultValue;
}

int32_t TIniIdentList::ReadIndex(TStringView key, std::span<const TString> candidates, int32_t defaultValue) const {
  const TIniIdent* ident = FindKey(key);
  if (!ident) return defaultValue;
  const TStringView value = ident->ValueView();
  for (size_t i = 0; i < candidates.size(); ++i)
    if (candidates[i] == value) return static_cast<int32_t>(i);
  return defaultValue;
}

int32_t TIniIdentList::ReadIndexFolded(TStringView key, std::span<const TString> candidates,
                                       int32_t defaultValue) const {
  const TIniIdent* ident = FindKey(key);
  if (!ident) return defaultValue;
  const TString value = IniFold(ident->ValueView());
  for (size_t i = 0; i < candidates.size(); ++i)
    if (IniFold(candidates[i]) == value) return static_cast<int32_t>(i);
  return defaultValue;
}

int32_t TIniIdentList::ReadStrings(TStringView key, std::span<TString> items) const {
  const TIniIdent* ident = FindKey(key);
  if (!ident) return 0;
  std::vector<TString> parts = IniSplitList(ident->ValueView());
  for (size_t i = 0; i < parts.size() && i < items.size(); ++i) items[i] = std::move(parts[i]);
  return static_cast<int32_t>(parts.size());
}

int32_t TIniIdentList::ReadIntegers(TStringView key, std::span<int32_t> items) const {
  const TIniIdent* ident = FindKey(key);
  if (!ident) return 0;
  const std::vector<TString> parts = IniSplitList(ident->ValueView());
  for (size_t i = 0; i < parts.size() && i < items.size(); ++i)
    if (!IniTextToInt(parts[i], items[i])) return ~static_cast<int32_t>(i);
  return static_cast<int32_t>(parts.size());
}

int32_t TIniIdentList::ReadFloats(TStringView key, std::span<double> items) const {
  const TIniIdent* ident = FindKey(key);
  if (!ident) return 0;
  const std::vector<TString> parts = IniSplitList(ident->ValueView());
  for (size_t i = 0; i < parts.size() && i < items.size(); ++i)
    if (!IniTextToFloat(parts[i], items[i])) return ~static_cast<int32_t>(i);
  return static_cast<int32_t>(parts.size());
}

namespace {
uint32_t Clamp255(int32_t v) { return static_cast<uint32_t>(std::clamp(v, 0, 255)); }
}  // namespace

uint32_t TIniIdentList::ReadColor(TStringView key, uint32_t defaultValue) const {
  int32_t v[3];
  if (ReadIntegers(key, v) != 3) return defaultValue;
  return Clamp255(v[0]) << 16 | Clamp255(v[1]) << 8 | Clamp255(v[2]);
}

uint32_t TIniIdentList::ReadColorAlpha(TStringView key, uint32_t defaultValue) const {
  int32_t v[4];
  if (ReadIntegers(key, v) != 4) return defaultValue;
  return Clamp255(v[3]) << 24 | Clamp255(v[0]) << 16 | Clamp255(v[1]) << 8 | Clamp255(v[2]);
}

TIniPoint TIniIdentList::ReadPoint(TStringView key, TIniPoint defaultValue) const {
  int32_t v[2];
  if (ReadIntegers(key, v) != 2) return defaultValue;
  return {v[0], v[1]};
}

TIniFloatPoint TIniIdentList::ReadFloatPoint(TStringView key, TIniFloatPoint defaultValue) const {
  double v[2];
  if (ReadFloats(key, v) != 2) return defaultValue;
  return {static_cast<float>(v[0]), static_cast<float>(v[1])};
}

TIniVector TIniIdentList::ReadVector(TStringView key, TIniVector defaultValue) const {
  double v[3];
  if (ReadFloats(key, v) != 3) return defaultValue;
  return {static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2])};
}

TIniRect TIniIdentList::ReadRect(TStringView key, TIniRect defaultValue, TIniFloatPoint& point) const {
  double v[6];
  const int32_t count = ReadFloats(key, v);
  if (count != 4 && count != 6) {
    point = {0, 0};
    return defaultValue;
  }
  point = count == 6 ? TIniFloatPoint{static_cast<float>(v[4]), static_cast<float>(v[5])} : TIniFloatPoint{-1, -1};
  return {static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2]), static_cast<float>(v[3])};
}

// ---------------------------------------------------------------------------
// Sections and objects

TString TCommonIniSection::Name() const {
  if (fNameLength <= 0 || fNameStart < 1 || static_cast<size_t>(fNameStart) > fHead.size()) return {};
  return fHead.substr(static_cast<size_t>(fNameStart - 1), static_cast<size_t>(fNameLength));
}

int32_t TCommonIniSection::ReplaceName(TStringView name) {
  const size_t start = std::min(static_cast<size_t>(std::max(fNameStart - 1, 0)), fHead.size());
  const size_t length = std::min(static_cast<size_t>(std::max(fNameLength, 0)), fHead.size() - start);
  fHead.replace(start, length, name);
  fNameStart = static_cast<int32_t>(start) + 1;
  fNameLength = static_cast<int32_t>(name.size());
  return static_cast<int32_t>(name.size()) - static_cast<int32_t>(length);
}

void TCommonIniSection::Rename(TStringView name) {
  if (name != Name()) ReplaceName(name);
}

void TCommonIniSection::WriteTo(TIniLineSink& sink) const {
  sink.AddLine(fHead);
  WriteChildren(sink);
}

namespace {
int32_t LeadingBelow33(const TString& text) {
  int32_t n = 0;
  while (static_cast<size_t>(n) < text.size() && text[static_cast<size_t>(n)] < 33) ++n;
  return n;
}
}  // namespace

TIniObject::TIniObject(TString head, int32_t nameStart, int32_t nameLength, int32_t typeStart)
    : TIniObject(TIniKind::Object, std::move(head), nameStart, nameLength, typeStart) {}

TIniObject::TIniObject(TIniKind kind, TString head, int32_t nameStart, int32_t nameLength, int32_t typeStart)
    : TCommonIniSection(kind, std::move(head), nameStart, nameLength), fTypeStart(typeStart) {
  fIndentation = LeadingBelow33(fHead);
}

TIniObject::~TIniObject() { RemoveAll(); }

TString TIniObject::Type() const { return TString(TrimRight(Tail(fHead, fTypeStart))); }

void TIniObject::SetType(TStringView type) {
  if (fTypeStart < 1 || static_cast<size_t>(fTypeStart) > fHead.size()) {
    if (fHead.find(u':') == TString::npos) fHead.push_back(u':');
    fTypeStart = static_cast<int32_t>(fHead.size()) + 1;
    fHead.append(type);
  } else {
    fHead.resize(static_cast<size_t>(fTypeStart - 1));
    fHead.append(type);
  }
}

void TIniObject::Rename(TStringView name) {
  if (name == Name()) return;
  if (fHead.find(u':') == TString::npos) {
    // No name part yet: insert "name:" in front of the type.
    TString part(name);
    part.push_back(u':');
    const size_t at = std::min(static_cast<size_t>(std::max(fNameStart - 1, 0)), fHead.size());
    fHead.insert(at, part);
    fNameStart = static_cast<int32_t>(at) + 1;
    fNameLength = static_cast<int32_t>(name.size());
    if (fTypeStart >= fNameStart) fTypeStart += static_cast<int32_t>(part.size());
    return;
  }
  const int32_t oldStart = fNameStart;
  const int32_t delta = ReplaceName(name);
  if (fTypeStart > oldStart) fTypeStart += delta;
}

TIniObject* TIniObject::CloneHead(TIniCollection* target, TIniObject* clone, bool beforeEnd) const {
  if (target) {
    TCommonIniItem* last = target->Last();
    if (beforeEnd && target->IsObject() && last && last->Kind() == TIniKind::Text)
      target->InsertChildBefore(clone, last);
    else
      target->LinkChild(clone);
  }
  CloneChildrenInto(clone);
  return clone;
}

TCommonIniItem* TIniObject::CloneInto(TIniCollection* target) const { return CloneObject(target, true); }

TIniObject* TIniObject::CloneObject(TIniCollection* target, bool beforeEnd) const {
  return CloneHead(target, new TIniObject(fHead, fNameStart, fNameLength, fTypeStart), beforeEnd);
}

TIniObject* TIniExtraObject::CloneObject(TIniCollection* target, bool beforeEnd) const {
  return CloneHead(target, new TIniExtraObject(fWord, fHead, NameStart(), NameLength(), TypeStart()), beforeEnd);
}

TIniSection::~TIniSection() {
  RemoveAll();
  if (Owner()) Owner()->UnlinkChild(this);
}

TIniIdentList* TIniSection::IndexHolder() {
  TIniSection* first = this;
  while (first->fPrevSame) first = first->fPrevSame;
  return first;
}

void TIniSection::Rename(TStringView name) {
  if (name == Name()) return;
  ReplaceName(name);
  if (Owner() && Owner()->Kind() == TIniKind::Storage) {
    auto* storage = static_cast<TIniStorage*>(Owner());
    storage->UnindexSection(this);
    fBucket = -1;
    storage->IndexSection(this);
  } else {
    fBucket = -1;
  }
}

TCommonIniItem* TIniSection::CloneInto(TIniCollection* target) const {
  auto* clone = new TIniSection(fHead, fNameStart, fNameLength);
  if (target) target->LinkChild(clone);
  CloneChildrenInto(clone);
  return clone;
}

// ---------------------------------------------------------------------------
// TIniStorage

TIniStorage::~TIniStorage() { RemoveAll(); }

void TIniStorage::RemoveAll() {
  // Children go from the last to the first, so a later same-name section
  // never outlives the first one whose index holds its keys: no rebuild.
  fBulkRemoval = true;
  TIniCollection::RemoveAll();
  fBulkRemoval = false;
}

TCommonIniItem* TIniStorage::CloneInto(TIniCollection*) const {
  AssertionFailed("Method not applicable", __FILE__, __LINE__);
}

void TIniStorage::InsertChild(TCommonIniItem* child, TCommonIniItem* after) {
  TIniIdentList::InsertChild(child, after);
  if (child->Kind() == TIniKind::Section) IndexSection(static_cast<TIniSection*>(child));
}

void TIniStorage::UnlinkChild(TCommonIniItem* child) {
  if (child && child->Owner() == this && child->Kind() == TIniKind::Section)
    UnindexSection(static_cast<TIniSection*>(child));
  TIniIdentList::UnlinkChild(child);
}

void TIniStorage::IndexSection(TIniSection* section) {
  if (section->fBucket < 0) {
    section->fFolded = IniFold(section->Name());
    section->fBucket = static_cast<int32_t>(IniHash(section->fFolded) % kIniSectionBuckets);
  }
  const size_t bucket = static_cast<size_t>(section->fBucket);
  if (fSectionBuckets.size() <= bucket) fSectionBuckets.resize(bucket + 1);
  TIniSection* latest = nullptr;
  for (TIniSection* s = fSectionBuckets[bucket]; s; s = s->fNextInBucket) {
    if (s->fFolded == section->fFolded) {
      latest = s;
      break;
    }
  }
  if (latest) {
    while (latest->fNextSame) latest = latest->fNextSame;
    latest->fNextSame = section;
    section->fPrevSame = latest;
    if (section->First()) {
      section->ClearIndex();
      section->IndexOwnKeys();  // into the first of the name
    }
  }
  section->fNextInBucket = fSectionBuckets[bucket];
  fSectionBuckets[bucket] = section;
}

void TIniStorage::UnindexSection(TIniSection* section) {
  const size_t bucket = static_cast<size_t>(section->fBucket);
  if (section->fBucket >= 0 && bucket < fSectionBuckets.size()) {
    TIniSection** link = &fSectionBuckets[bucket];
    while (*link && *link != section) link = &(*link)->fNextInBucket;
    if (*link) *link = section->fNextInBucket;
  }
  section->fNextInBucket = nullptr;
  TIniSection* prev = section->fPrevSame;
  TIniSection* next = section->fNextSame;
  if (!prev && !next) return;
  if (prev) prev->fNextSame = next;
  if (next) next->fPrevSame = prev;
  section->fPrevSame = section->fNextSame = nullptr;
  if (fBulkRemoval && !next) return;  // the chain's index stays valid
  section->ClearIndex();
  RebuildChain(prev ? prev : next);
  section->IndexOwnKeys();
}

void TIniStorage::RebuildChain(TIniSection* anyMember) {
  TIniSection* first = anyMember;
  while (first->fPrevSame) first = first->fPrevSame;
  for (TIniSection* s = first; s; s = s->fNextSame) s->ClearIndex();
  for (TIniSection* s = first; s; s = s->fNextSame) s->IndexOwnKeys();
}

TIniSection* TIniStorage::FindSection(TStringView name) const {
  if (fSectionBuckets.empty()) return nullptr;
  const TString folded = IniFold(name);
  const size_t bucket = IniHash(folded) % kIniSectionBuckets;
  if (bucket >= fSectionBuckets.size()) return nullptr;
  for (TIniSection* s = fSectionBuckets[bucket]; s; s = s->fNextInBucket)
    if (s->fFolded == folded) return s;
  return nullptr;
}

TIniSection* TIniStorage::FindOrCreateSection(TStringView name) {
  if (TIniSection* found = FindSection(name)) return found;
  if (Last() && (Last()->Kind() == TIniKind::Section || Last()->IsObject())) LinkChild(new TIniEmptyLine());
  TString head = u"[";
  head.append(name);
  head.push_back(u']');
  auto* section = new TIniSection(std::move(head), 2, static_cast<int32_t>(name.size()));
  LinkChild(section);
  return section;
}

void TIniStorage::SectionNames(std::vector<TString>& names) const {
  for (const TCommonIniItem* item = First(); item; item = item->Next())
    if (item->Kind() == TIniKind::Section) names.push_back(static_cast<const TIniSection*>(item)->Name());
}

TString TIniStorage::ReadString(TStringView section, TStringView key, TStringView defaultValue) const {
  const TIniSection* s = FindSection(section);
  return s ? s->ReadString(key, defaultValue) : TString(defaultValue);
}

int32_t TIniStorage::ReadInteger(TStringView section, TStringView key, int32_t defaultValue) const {
  const TIniSection* s = FindSection(section);
  return s ? s->ReadInteger(key, defaultValue) : defaultValue;
}

double TIniStorage::ReadFloat(TStringView section, TStringView key, double defaultValue) const {
  const TIniSection* s = FindSection(section);
  return s ? s->ReadFloat(key, defaultValue) : defaultValue;
}

bool TIniStorage::ReadBool(TStringView section, TStringView key, bool defaultValue) const {
  const TIniSection* s = FindSection(section);
  return s ? s->ReadBool(key, defaultValue) : defaultValue;
}

void TIniStorage::WriteString(TStringView section, TStringView key, TStringView text) {
  FindOrCreateSection(section)->FindOrCreateKey(key, 0)->SetValue(text);
}

void TIniStorage::WriteInteger(TStringView section, TStringView key, int64_t value) {
  WriteString(section, key, IntToStr(value));
}

}  // namespace zel
