#include "ini/ini_parser.h"

#include <memory>

namespace zel {

// ---------------------------------------------------------------------------
// TIniParser

void TIniParser::Error(int32_t code, int32_t column) {
  if (fOnError) fOnError(fDocument, code, column, LineIndex());
}

void TIniParser::Parse() {
  fCurrent = &fDocument;
  fStack.clear();
  for (bool more = FirstLine(); more; more = NextLine()) ParseLine();
  if (!fStack.empty()) Error(ieObjectNotClosed, 1);
}

void TIniParser::ParseLine() {
  const int32_t len = Length();
  const int32_t p = SkipForward(1, len, IsBlank);
  if (p > len) {
    fCurrent->LinkChild(new TIniEmptyLine());
    return;
  }
  const char16_t c = At(p);
  if (c == u';') {
    fCurrent->LinkChild(new TIniComment(fLine, p));
    return;
  }
  if (c == u'=') {
    fCurrent->LinkChild(new TIniTextLine(fLine));
    return;
  }
  if (c == u'[') {
    const int32_t q = SkipForward(p + 1, len, IsBlank);
    const int32_t close = q <= len ? FindCharForward(q + 1, len, u"]") : len + 1;
    if (close > len) {
      fCurrent->LinkChild(new TIniTextLine(fLine));
      return;
    }
    const int32_t e = SkipBackward(close - 1, q, IsBlank);
    auto* section = new TIniSection(fLine, q, e - q + 1);
    fDocument.LinkChild(section);
    fCurrent = section;
    return;
  }
  // A word: up to the next blank or the end of the line.
  const int32_t wordEnd = FindForward(p, len, IsBlank);  // one past the word
  int32_t eq = FindCharForward(p, wordEnd - 1, u"=");
  bool isKey = eq < wordEnd;
  if (!isKey) {
    const int32_t next = SkipForward(wordEnd, len, IsBlank);
    if (next <= len && At(next) == u'=') isKey = true, eq = next;
  }
  if (isKey) {
    const int32_t keyEnd = SkipBackward(eq - 1, p, IsBlank);
    const int32_t valueStart = SkipForward(eq + 1, len, IsBlank);
    fCurrent->LinkChild(new TIniIdent(fLine, p, keyEnd - p + 1, valueStart));
    return;
  }
  const int32_t wordLength = wordEnd - p;
  TString folded;
  const bool needFold = wordLength == 6 || wordLength == 3 || fRecognizer;
  if (needFold) folded = IniFold(TStringView(fLine).substr(static_cast<size_t>(p - 1), static_cast<size_t>(wordLength)));
  const bool isObject = wordLength == 6 && folded == u"object";
  const bool isExtra = !isObject && fRecognizer && fRecognizer(folded);
  if (isObject || isExtra) {
    const int32_t nameStart = SkipForward(wordEnd, len, IsBlank);
    const int32_t colon = FindCharBackward(len, wordEnd, u":");
    int32_t nameLength = 0, typeStart = nameStart;
    if (colon >= wordEnd) {
      const int32_t nameEnd = SkipBackward(colon - 1, nameStart, IsBlank);
      nameLength = std::max(0, nameEnd - nameStart + 1);
      typeStart = SkipForward(colon + 1, len, IsBlank);
    }
    TIniObject* object = isObject ? new TIniObject(fLine, nameStart, nameLength, typeStart)
                                  : new TIniExtraObject(folded, fLine, nameStart, nameLength, typeStart);
    fCurrent->LinkChild(object);
    fStack.push_back(fCurrent);
    fCurrent = object;
    return;
  }
  if (wordLength == 3 && folded == u"end") {
    if (fCurrent->IsObject() && !fStack.empty()) {
      fCurrent->LinkChild(new TIniTextLine(fLine));
      fCurrent = fStack.back();
      fStack.pop_back();
    } else {
      Error(ieEndWithoutObject, p);
    }
    return;
  }
  Error(ieBadLine, p);
}

void IniParseStream(TIniStorage& document, TStream& stream, const TIniErrorCallback& onError,
                    const TIniKeywordRecognizer& recognizer) {
  document.RemoveAll();
  TIniParser parser(document);
  parser.SetErrorCallback(onError);
  parser.SetKeywordRecognizer(recognizer);
  parser.AttachStream(&stream, false);
  parser.Parse();
}

// ---------------------------------------------------------------------------
// Saving

bool IniSaveToStream(const TIniStorage& document, TStream& stream) {
  try {
    TIniSaver saver(stream);
    document.WriteTo(saver);
    saver.Flush();
    return true;
  } catch (...) {
    return false;
  }
}

// ---------------------------------------------------------------------------
// TIni2Str

void TIni2Str::Append(char16_t c) {
  if (fBuffer.size() == fBuffer.capacity()) fBuffer.reserve(fBuffer.capacity() * 2);
  fBuffer.push_back(c);
}

void TIni2Str::AddLine(TStringView line) {
  for (char16_t c : line) {
    Append(c);
    if (c == u'/') Append(u'/');
  }
  AddEmptyLine();
}

void TIni2Str::AddEmptyLine() {
  Append(u'/');
  Append(u'n');
}

bool IniToSingleLine(const TIniStorage& document, TString& text) {
  try {
    TIni2Str sink;
    document.WriteTo(sink);
    text = sink.Text();
    return true;
  } catch (...) {
    return false;
  }
}

bool SingleLineToIni(TStringView text, TIniStorage& document) {
  std::vector<uint8_t> bytes;
  bytes.reserve(text.size() * 2 + 2);
  auto put = [&bytes](char16_t c) {
    bytes.push_back(static_cast<uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  };
  put(0xFEFF);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != u'/') {
      put(text[i]);
      continue;
    }
    if (i + 1 >= text.size()) return false;
    const char16_t next = text[++i];
    if (next == u'/') {
      put(u'/');
    } else if (next == u'n') {
      put(13), put(10);
    } else {
      return false;
    }
  }
  try {
    TMemoryStream stream;
    stream.Write(std::span<const uint8_t>(bytes));
    stream.SetPosition(0);
    IniParseStream(document, stream);
    return true;
  } catch (...) {
    return false;
  }
}

// ---------------------------------------------------------------------------
// TIniFile

bool TIniFile::LoadFromStream(TStream& stream) {
  fLoaded = false;
  fFileName.clear();
  IniParseStream(*this, stream, fOnError, fRecognizer);
  fLoaded = true;
  return true;
}

bool TIniFile::LoadFromFile(const std::string& fileName) {
  fLoaded = false;
  RemoveAll();
  fFileName.clear();
  try {
    std::unique_ptr<TFileStream> stream = TFileStream::OpenRead(fileName);
    LoadFromStream(*stream);
  } catch (...) {
    fLoaded = false;
    return false;
  }
  fFileName = fileName;
  return true;
}

bool TIniFile::SaveToStream(TStream& stream) const { return IniSaveToStream(*this, stream); }

bool TIniFile::SaveToFile(const std::string& fileName) const {
  try {
    TFileStream stream(fileName, TFileCreation::OpenAlways, fsRead, faWrite);
    stream.SetPosition(0);
    if (!IniSaveToStream(*this, stream)) return false;
    stream.SetSize(stream.GetPosition());
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace zel
